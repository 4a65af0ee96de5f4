#pragma once

#include "broker/simulated_broker.h"
#include "common/serial_date.h"
#include "fix/acceptor.h"

#include <QString>
#include <QStringList>
#include <QTextStream>

#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <set>
#include <utility>
#include <vector>

namespace vqs {

struct QuoteFeedOptions {
    int port = 0;  // 0: a free one
    QString compId = QStringLiteral("VQSFEED");
    // The SenderCompIDs clients may log on with (QuickFIX 1.15 serves configured ones only).
    QStringList clientCompIds{QStringLiteral("VQS")};
    // Empty user: any user name and password are accepted.
    QString user;
    QString password;
    QString storeDir;
    // TLS with this certificate and key (PEM files); empty: plain TCP.
    QString tlsCert;
    QString tlsKey;
};

class FeedSubscription;
class FeedSessionListener;

// "vqsfeed": the simulated market (the simulated broker's, with its knobs) served over FIX 4.4.
// A subscription gets a snapshot (35=W) and then the changed groups of each quote (35=X, those of
// one pump() together, many instruments to a message), the quotes the in-process simulated
// broker raises for the same seed and instant; unknown codes
// and exchanges are refused (35=Y); a security list (35=y) answers from the market's
// instruments. One log line per logon, logout and subscription.
//
// Requests arrive on QuickFIX's thread and wait until the owner's thread calls pump(), which
// handles them and then raises the market's quotes up to the clock's now; `wake` tells the owner
// that requests wait.
class QuoteFeed {
public:
    QuoteFeed(QuoteFeedOptions options, broker::SimulationSettings simulation, const Clock& clock,
              std::function<void(const QString&)> log);
    ~QuoteFeed();
    QuoteFeed(const QuoteFeed&) = delete;
    QuoteFeed& operator=(const QuoteFeed&) = delete;

    // Called on QuickFIX's thread whenever a request waits for pump(). Set before start().
    void setWake(std::function<void()> wake) { wake_ = std::move(wake); }
    // Logs in to the market and listens; throws VqsError with the reason when it cannot.
    void start();
    void stop();
    int port() const { return acceptor_ ? acceptor_->port() : 0; }
    void pump();

    const broker::SimulatedMarket& market() const { return broker_.market(); }

private:
    friend class FeedSubscription;
    friend class FeedSessionListener;
    using Key = std::pair<std::string, std::string>;  // session, request id

    void post(std::function<void()> work);
    void log(const QString& text);
    void subscribe(const std::string& session, const fix::Acceptor::MarketDataRequest& request);
    void unsubscribe(const std::string& session, const std::string& reqId);
    void listSecurities(const std::string& session, const std::string& reqId,
                        const fix::SecurityListQuery& query);
    void endSession(const std::string& session);
    void sendIncrements();
    void marketLoggedOut();

    QuoteFeedOptions options_;
    const Clock& clock_;
    std::function<void(const QString&)> log_;
    std::function<void()> wake_;
    broker::SimulatedBroker broker_;
    std::unique_ptr<broker::BrokerSession> session_;
    std::unique_ptr<FeedSessionListener> sessionListener_;
    std::unique_ptr<fix::Acceptor> acceptor_;
    std::map<Key, std::unique_ptr<FeedSubscription>> subscriptions_;
    std::map<std::string, std::vector<fix::MarketDataEvent>> increments_;  // by session, to send

    std::mutex mutex_;  // guards what QuickFIX's thread hands over, and the log
    std::vector<std::function<void()>> pending_;
    std::set<std::string> loggedOn_;  // sessions
};

// vqsfeed's command line (port 0: a free one, which the first log line names): --port PORT [--user
// NAME --password-file FILE] [--comp-id ID] [--client-id ID ...] [--store-dir DIR]
// [--tls-cert FILE --tls-key FILE]. None (and the reason on err) when it is not usable.
std::optional<QuoteFeedOptions> parseVqsfeedArguments(const QStringList& args, QTextStream& err);

// vqsfeed: serves until SIGTERM, SIGINT or SIGHUP; the exit code.
int runVqsfeed(const QStringList& args);

}  // namespace vqs
