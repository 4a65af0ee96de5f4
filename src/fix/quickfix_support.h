#pragma once

// What the initiator and the acceptor share, on QuickFIX's types: private to this unit (the
// only place that includes QuickFIX).

#include "fix/market_data.h"

#include <quickfix/DataDictionaryProvider.h>
#include <quickfix/Dictionary.h>
#include <quickfix/Log.h>
#include <quickfix/Message.h>
#include <quickfix/Session.h>

#include <cstdint>
#include <functional>
#include <memory>
#include <string>

namespace vqs {
namespace fix {

extern const char kBeginString[];  // FIX.4.4

// The settings every session of ours shares: always in session, no data dictionary
// validation (Debian ships no FIX44.xml; the groups are known by groupsDictionary()), the
// sequence numbers in storeDir, reset at every logon (quotes are not resent).
FIX::Dictionary commonSessionSettings(const std::string& connectionType,
                                      const std::string& storeDir);

// The TLS settings both sides share: TLS 1.2 or later.
FIX::Dictionary tlsSettings();

// Connects to the server, completes a TLS handshake and checks its certificate: the chain against
// caFile (empty: the system's authorities) and the name or address against `host`. QuickFIX
// checks no name, and its blocking handshake never ends against a certificate it refuses: so
// the initiator asks this first. Throws Error with the reason, also after timeoutMs.
void checkTlsServer(const std::string& host, int port, const std::string& caFile, int timeoutMs);

// A dictionary that knows the repeating groups of the messages we read, without a version:
// it structures their groups when parsing but validates nothing.
FIX::DataDictionaryProvider groupsDictionary();

// Creates a folder with its parents; throws Error with the system's reason.
void makeFolder(const std::string& path);

// The text with the value of every Password (554) field blotted out.
std::string blotPassword(std::string text);

// Session events to a callback (passwords blotted out); the messages themselves are dropped.
class EventLogFactory final : public FIX::LogFactory {
public:
    explicit EventLogFactory(std::function<void(const std::string&)> onEvent)
        : onEvent_(std::move(onEvent)) {}
    FIX::Log* create() override;
    FIX::Log* create(const FIX::SessionID&) override;
    void destroy(FIX::Log* log) override;

private:
    std::function<void(const std::string&)> onEvent_;
};

// MDEntryDate (272) and MDEntryTime (273) of an entry, both UTC.
void setEntryTime(FIX::FieldMap& entry, std::int64_t utcMs);
bool entryTime(const FIX::FieldMap& entry, std::int64_t& utcMs);

// The entry's fields as a group of a snapshot or an incremental refresh has them.
void setEntryValues(FIX::FieldMap& group, const MarketDataEntry& entry);
bool readEntry(const FIX::FieldMap& group, MarketDataEntry& entry);

std::string fieldOr(const FIX::FieldMap& map, int tag, const std::string& fallback = "");
std::string messageType(const FIX::Message& message);

}  // namespace fix
}  // namespace vqs
