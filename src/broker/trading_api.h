#pragma once

#include "common/error.h"

#include <QDate>
#include <QDeadlineTimer>
#include <QString>

#include <cstdint>
#include <memory>
#include <optional>
#include <vector>

// The broker's Trading API as the rest of the program sees it: a session object from which
// every other object comes, plain values for requests and results, and listeners for events.
namespace vqs::broker {

// A failure the broker reports (refused login, failed request); message() is its description.
class BrokerError : public VqsError {
public:
    using VqsError::VqsError;
};

// The time of a quote group or history item: its fields and a text form that converts to a
// local date and time ("09:31:02.123", or with a date "10.12.2026 09:31:02.123").
struct TimeObject {
    int hour = 0;
    int minute = 0;
    int second = 0;
    int millisecond = 0;
    QString text;
};

// The time object of a time of day (ms since midnight, local time).
TimeObject timeObjectAt(int msOfDay);

struct QuoteGroup {
    bool present = false;
    double price = 0;
    bool volumePresent = false;
    double volume = 0;
    TimeObject time;
};

struct Quote {
    QuoteGroup paid;
    QuoteGroup bid;
    QuoteGroup ask;
    // When the quote source had this quote, in ms since the epoch by its clock; 0: not known.
    qint64 readyAtMs = 0;
};

// The second object of a quote event: which subscription raised it.
struct QuoteSource {
    QString symbol;
    QString exchange;
};

class QuoteListener {
public:
    virtual ~QuoteListener() = default;
    virtual void OnQuoteUpdate(const Quote& quote, const QuoteSource& source,
                               const QString& text) = 0;
    // The source refused the subscription after it was made (a source that answers only over
    // the network); no quote follows.
    virtual void onSubscriptionRefused(const QString& /*reason*/) {}
};

// A realtime subscription; it raises OnQuoteUpdate on its listener until stopped or released.
class Subscription {
public:
    virtual ~Subscription() = default;
    virtual void setListener(QuoteListener* listener) = 0;
    virtual void stop() = 0;
};

struct RealtimeRequest {
    QString symbol;
    QString exchange;
};

struct Exchange {
    QString code;
    QString displayName;
    bool admitted = false;         // its code may be used for requests
    bool showDisplayName = false;  // lists show the display name instead of the code
};

struct IndexListRequest {
    QString indexName;
};

// An instrument as a list of constituents names it: code, a second identifying text, exchange.
struct Identifier {
    QString code;
    QString secondId;
    QString exchange;
};

struct Instrument {
    QString wkn;
    QString name;
};

struct SearchCriteria {
    QString term;
    std::optional<QString> classLetter;  // none: all classes
};

struct HistoryRequest {
    QString symbol;
    QString exchange;
};

struct HistoryItem {
    TimeObject time;
    double price = 0;
    std::int32_t volume = 0;
};

struct HistoryResult {
    std::optional<QDate> date;  // the trading day of the items, when the broker says
    std::vector<HistoryItem> items;
};

class SessionListener {
public:
    virtual ~SessionListener() = default;
    virtual void OnLogout() = 0;
    // The quote service's status: kKurseLaufen while quotes flow, anything else when they stopped.
    virtual void OnQuotesStatusChange(std::int32_t status) = 0;
};
inline constexpr std::int32_t kKurseLaufen = 1;

// The broker session object. Calls that fail throw BrokerError.
class BrokerSession {
public:
    virtual ~BrokerSession() = default;

    virtual void LoginWithAddOnName(const QString& addOnName) = 0;
    virtual bool isLoggedIn() const = 0;
    virtual void logout() = 0;
    virtual void addListener(SessionListener* listener) = 0;
    virtual void removeListener(SessionListener* listener) = 0;

    // None when the broker refuses the request (unknown instrument or exchange).
    virtual std::unique_ptr<Subscription> subscribe(const RealtimeRequest& request) = 0;
    virtual std::vector<Exchange> exchanges() = 0;
    // Constituents of an index catalogue (the broker counts them from 1; here from 0).
    virtual std::vector<Identifier> runIndexList(const IndexListRequest& request) = 0;
    // One instrument per identifier, in the order of the identifiers.
    virtual std::vector<Instrument> queryInstruments(const std::vector<Identifier>& ids) = 0;
    virtual std::vector<Instrument> search(const SearchCriteria& criteria) = 0;
    virtual HistoryResult runHistory(const HistoryRequest& request) = 0;
    // False for a source that keeps no intraday history: runHistory() then always refuses.
    virtual bool keepsHistory() const { return true; }
    // For a source that holds received quotes in a queue of its own (the end of the program):
    // hands them to the subscriptions until the deadline; how many updates were left.
    virtual std::int64_t deliverReceived(QDeadlineTimer) { return 0; }
};

}  // namespace vqs::broker
