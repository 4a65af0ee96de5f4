#pragma once

// The values the FIX unit hands over, in standard types only: the rest of the program (C++20,
// Qt) includes this, the QuickFIX headers stay inside the unit (C++14).

#include <cstdint>
#include <stdexcept>
#include <string>
#include <vector>

namespace vqs {
namespace fix {

// A session that cannot be set up (bad settings, a port in use, a store folder not writable).
class Error : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// MDEntryType (269) as far as a quote needs it.
enum class EntryType : char { kBid = '0', kOffer = '1', kTrade = '2' };

struct MarketDataEntry {
    EntryType type = EntryType::kTrade;
    double price = 0;
    bool hasSize = false;  // indices trade without a size
    double size = 0;
    // MDEntryDate (272) and MDEntryTime (273) together, in ms since the epoch (UTC).
    bool hasTime = false;
    std::int64_t utcMs = 0;
};

// A MarketDataSnapshotFullRefresh (35=W, snapshot true) or MarketDataIncrementalRefresh (35=X)
// of one instrument; an incremental refresh carries the entries that changed.
struct MarketDataEvent {
    std::string reqId;
    std::string symbol;
    std::string exchange;
    bool snapshot = false;
    std::vector<MarketDataEntry> entries;
};

// One instrument of a SecurityList (35=y). `type` is SecurityType (167): the quote service's
// class letter (S share, W warrant, C certificate, F fund, I index, U future, B bond, X other).
struct Security {
    std::string symbol;
    std::string name;  // SecurityDesc (107)
    std::string exchange;
    std::string type;
};

// The criteria of a SecurityListRequest (35=x). A catalogue (the constituents of an index) is
// asked as a trading session: SecurityListRequestType (559) 3 with TradingSessionID (336) the
// catalogue's key. Otherwise 559 is 4 (all securities), narrowed by a search term in Text (58)
// and a class letter in SecurityType (167); both empty: every instrument.
struct SecurityListQuery {
    std::string catalogue;
    std::string term;
    std::string type;
};

}  // namespace fix
}  // namespace vqs
