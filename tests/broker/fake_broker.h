#pragma once

#include "broker/trading_api.h"

#include <QSet>

#include <memory>

namespace vqs::test {

// A broker session under the test's control: counts calls, fails where told to.
class FakeBrokerSession final : public broker::BrokerSession {
public:
    struct Counters {
        int logins = 0;
        int logouts = 0;
        int subscriptions = 0;
        int stops = 0;
        QList<broker::SearchCriteria> searches;
        QStringList indexLists;
        QStringList subscribed;  // "code@exchange" of every subscription made
        QStringList histories;   // the code of every history request
    };
    std::shared_ptr<Counters> counters = std::make_shared<Counters>();
    bool loginThrows = false;
    bool loginLeavesLoggedOut = false;
    bool logoutSticks = false;  // the flag stays true after logout
    QSet<QString> knownCodes{"710000", "A1B2C3", "846900"};
    std::vector<broker::Exchange> exchangeList;
    std::vector<broker::Identifier> constituents;
    std::vector<broker::Instrument> instruments;  // answers queries and searches
    std::vector<broker::SessionListener*> listeners;

    void LoginWithAddOnName(const QString& name) override {
        ++counters->logins;
        lastAddOnName = name;
        if (loginThrows) throw broker::BrokerError("Server nicht erreichbar");
        loggedIn_ = !loginLeavesLoggedOut;
    }
    bool isLoggedIn() const override { return loggedIn_; }
    void logout() override {
        ++counters->logouts;
        if (!logoutSticks) loggedIn_ = false;
    }
    void addListener(broker::SessionListener* l) override { listeners.push_back(l); }
    void removeListener(broker::SessionListener* l) override {
        listeners.erase(std::remove(listeners.begin(), listeners.end(), l), listeners.end());
    }

    class Sub final : public broker::Subscription {
    public:
        explicit Sub(std::shared_ptr<Counters> c) : counters_(std::move(c)) {}
        void setListener(broker::QuoteListener* l) override { listener = l; }
        void stop() override { ++counters_->stops; }
        broker::QuoteListener* listener = nullptr;

    private:
        std::shared_ptr<Counters> counters_;
    };
    std::unique_ptr<broker::Subscription> subscribe(const broker::RealtimeRequest& r) override {
        if (!knownCodes.contains(r.symbol)) return nullptr;
        ++counters->subscriptions;
        counters->subscribed << r.symbol + "@" + r.exchange;
        return std::make_unique<Sub>(counters);
    }
    std::vector<broker::Exchange> exchanges() override { return exchangeList; }
    std::vector<broker::Identifier> runIndexList(const broker::IndexListRequest& r) override {
        counters->indexLists << r.indexName;
        return constituents;
    }
    std::vector<broker::Instrument> queryInstruments(
        const std::vector<broker::Identifier>&) override {
        return instruments;
    }
    std::vector<broker::Instrument> search(const broker::SearchCriteria& c) override {
        counters->searches << c;
        return instruments;
    }
    broker::HistoryResult runHistory(const broker::HistoryRequest& r) override {
        counters->histories << r.symbol;
        if (!knownCodes.contains(r.symbol) || noHistory.contains(r.symbol))
            throw broker::BrokerError("Keine Historie");
        return history;
    }
    broker::HistoryResult history;  // what every history request answers
    QSet<QString> noHistory;        // known codes whose history request fails

    QString lastAddOnName;

private:
    bool loggedIn_ = false;
};

}  // namespace vqs::test
