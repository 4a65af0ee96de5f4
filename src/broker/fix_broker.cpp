#include "broker/fix_broker.h"

#include "common/serial_date.h"
#include "fix/initiator.h"

#include <QDateTime>
#include <QHash>
#include <QMetaObject>
#include <QObject>
#include <QSet>

#include <chrono>
#include <condition_variable>
#include <deque>
#include <map>
#include <mutex>
#include <unordered_map>

namespace vqs::broker {

namespace {

// Quote messages handed to the listeners per turn of the event loop: a long queue is worked off
// in several turns, so that the window keeps answering meanwhile.
constexpr int kDeliveriesPerTurn = 2000;

// What QuickFIX's thread hands over to the session's thread, in the order it came.
struct Delivery {
    enum class Kind { kMarketData, kRefused, kEnded };
    Kind kind = Kind::kMarketData;
    fix::MarketDataEvent event;  // kMarketData
    std::string reqId;           // kRefused
    std::string text;            // kRefused, kEnded
};

struct ListAnswer {
    bool done = false;
    std::vector<fix::Security> securities;
    std::string refusal;
};

std::string text(const QString& s) { return s.toStdString(); }
QString text(const std::string& s) { return QString::fromStdString(s); }

constexpr std::int64_t kMsPerDay = 86400000;

TimeObject timeOf(std::int64_t utcMs, const LocalOffset& offset) {
    const std::int64_t local = utcMs + offset.msAt(utcMs);
    const std::int64_t msOfDay = ((local % kMsPerDay) + kMsPerDay) % kMsPerDay;
    return timeObjectAt(static_cast<int>(msOfDay));
}

}  // namespace

// What both threads share: the queue to the session's thread, the answers it waits for, and the
// state of the logon. Everything here is guarded by `mutex`.
struct FixBrokerState {
    std::mutex mutex;
    std::condition_variable changed;  // an answer came, the logon settled, or the queue has room
    std::deque<Delivery> queue;
    std::size_t capacity = 0;
    bool drainPosted = false;
    // While the session's thread waits for an answer it does not work off the queue: the queue
    // then takes more than its capacity rather than block the answer behind the quotes.
    int waitingForAnswer = 0;
    bool closed = false;  // the session ends: nothing is posted any more, nobody waits for room
    enum class Logon { kPending, kOn, kRefused, kEnded } logon = Logon::kPending;
    std::string logonText;
    std::map<std::string, ListAnswer> answers;
    QObject* receiver = nullptr;  // lives on the session's thread; valid while !closed
    std::function<void()> drain;  // runs on the session's thread
};

class FixSubscription;

// One FIX session as the session object's subscriptions and listeners need it. Shared, since a
// subscription may outlive its session object.
class FixConnection {
public:
    explicit FixConnection(const FixSourceSettings& settings);
    ~FixConnection() { close(); }

    void login();
    void close();
    bool loggedIn() const { return loggedIn_; }

    std::string subscribe(FixSubscription* subscription, const RealtimeRequest& request);
    // The request to end it goes out at the next turn of the event loop, and not at all when the
    // session ends first: a logout ends every subscription, and at the end of the program the
    // thousands of titles let go of theirs right before it.
    void unsubscribe(const std::string& reqId);
    // Hands the quotes received so far to the subscriptions, until the deadline; how many
    // updates of a title were left.
    std::int64_t deliverReceived(QDeadlineTimer deadline);
    std::vector<fix::Security> list(const fix::SecurityListQuery& query);
    QString nameOf(const QString& code) const { return names_.value(code.toUpper()); }

    std::vector<SessionListener*> listeners;

private:
    void post();
    void drain();
    void deliver(Delivery& delivery);
    void sendUnsubscribes();
    // Drops a subscription; false when there was none of that id.
    bool forget(const std::string& reqId);
    FixSubscription* subscriptionOf(const fix::MarketDataEvent& event) const;
    static std::string instrumentKey(const std::string& symbol, const std::string& exchange) {
        return symbol + '@' + exchange;
    }
    [[noreturn]] void fail(const QString& what);

    const FixSourceSettings settings_;
    std::shared_ptr<FixBrokerState> state_ = std::make_shared<FixBrokerState>();
    std::unique_ptr<QObject> receiver_ = std::make_unique<QObject>();
    std::unique_ptr<fix::Initiator> initiator_;
    struct Subscribed {
        FixSubscription* subscription;
        std::string instrument;  // its key in byInstrument_
    };
    std::map<std::string, Subscribed> subscriptions_;  // by request id
    // By symbol and exchange: an incremental refresh may carry the updates of many instruments
    // without a request id. Looked up for every update, so hashed and giving the subscription.
    struct ByInstrument {
        std::string reqId;
        FixSubscription* subscription;
    };
    std::unordered_map<std::string, ByInstrument> byInstrument_;
    std::vector<std::string> unsubscribes_;  // to send at the next turn
    QHash<QString, QString> names_;          // code -> name, from every list
    int nextRequest_ = 0;
    bool loggedIn_ = false;
};

class FixSubscription final : public Subscription {
public:
    FixSubscription(std::shared_ptr<FixConnection> connection, const RealtimeRequest& request)
        : connection_(std::move(connection)), source_{request.symbol, request.exchange.toUpper()} {}
    ~FixSubscription() override { stop(); }

    void start(const RealtimeRequest& request) { reqId_ = connection_->subscribe(this, request); }
    void setListener(QuoteListener* listener) override { listener_ = listener; }
    void stop() override {
        if (reqId_.empty()) return;
        connection_->unsubscribe(reqId_);
        reqId_.clear();
    }

    // A snapshot sets every group it names, an increment the groups that changed; the listener
    // gets the whole quote, as the other sources give it.
    // A message may carry several quotes of the instrument one after the other (two trades, a
    // bid and a new bid): a kind seen again starts the next quote, so that none is lost.
    void update(const fix::MarketDataEvent& event) {
        std::int64_t newest = 0;
        unsigned seen = 0;
        auto tell = [&] {
            // A snapshot may repeat an hour-old trade; only an update says how late we are.
            quote_.readyAtMs = event.snapshot ? 0 : newest;
            if (listener_) listener_->OnQuoteUpdate(quote_, source_, QString());
            newest = 0;
            seen = 0;
        };
        QuoteGroup* const groups[] = {&quote_.paid, &quote_.bid, &quote_.ask};
        for (const fix::MarketDataEntry& entry : event.entries) {
            const int kind = entry.type == fix::EntryType::kTrade ? 0
                             : entry.type == fix::EntryType::kBid ? 1
                                                                  : 2;
            if (seen & (1u << kind)) tell();
            seen |= 1u << kind;
            QuoteGroup& group = *groups[kind];
            group.present = true;
            group.price = entry.price;
            group.volumePresent = entry.hasSize;
            group.volume = entry.hasSize ? entry.size : 0;
            const std::int64_t at =
                entry.hasTime ? entry.utcMs : QDateTime::currentMSecsSinceEpoch();
            group.time = timeOf(at, offset_);
            newest = std::max(newest, at);
        }
        if (seen != 0) tell();
    }
    void refused(const QString& reason) {
        reqId_.clear();
        if (listener_) listener_->onSubscriptionRefused(reason);
    }

private:
    std::shared_ptr<FixConnection> connection_;
    QuoteSource source_;
    std::string reqId_;
    QuoteListener* listener_ = nullptr;
    Quote quote_;
    LocalOffset offset_;
};

FixConnection::FixConnection(const FixSourceSettings& settings) : settings_(settings) {
    state_->capacity = static_cast<std::size_t>(std::max(1, settings.queueCapacity));
    state_->receiver = receiver_.get();
    state_->drain = [this] { drain(); };
}

void FixConnection::fail(const QString& what) {
    close();
    throw BrokerError(what);
}

void FixConnection::login() {
    if (settings_.host.isEmpty() || settings_.port <= 0 || settings_.senderCompId.isEmpty() ||
        settings_.targetCompId.isEmpty())
        throw BrokerError(
            QStringLiteral("Die FIX-Kursquelle ist nicht vollständig eingestellt "
                           "(Host, Port, SenderCompID, TargetCompID)."));
    fix::Initiator::Settings s;
    s.host = text(settings_.host);
    s.port = settings_.port;
    s.senderCompId = text(settings_.senderCompId);
    s.targetCompId = text(settings_.targetCompId);
    s.username = text(settings_.user);
    s.password = text(settings_.password);
    s.tls = settings_.tls;
    s.caFile = text(settings_.caFile);
    s.tlsCheckTimeoutMs = settings_.answerTimeoutMs;
    s.heartbeatSeconds = settings_.heartbeatSeconds;
    // The connection watchdog logs in again with a new session; this one never reconnects.
    s.reconnectSeconds = 24 * 3600;
    s.storeDir = text(settings_.storeDir);

    // The callbacks hold the shared state only: they may run while this object goes away.
    std::weak_ptr<FixBrokerState> weak = state_;
    auto post = [](FixBrokerState& state, std::unique_lock<std::mutex>& lock, Delivery delivery) {
        if (!state.closed) {
            state.changed.wait(lock, [&] {
                return state.closed || state.waitingForAnswer > 0 ||
                       state.queue.size() < state.capacity;
            });
        }
        state.queue.push_back(std::move(delivery));
        if (!state.closed && !state.drainPosted) {
            state.drainPosted = true;
            QMetaObject::invokeMethod(state.receiver, state.drain, Qt::QueuedConnection);
        }
    };
    fix::Initiator::Callbacks c;
    c.onLogon = [weak] {
        if (auto state = weak.lock()) {
            std::lock_guard<std::mutex> lock(state->mutex);
            state->logon = FixBrokerState::Logon::kOn;
            state->changed.notify_all();
        }
    };
    c.onLogout = [weak, post](const std::string& reason) {
        auto state = weak.lock();
        if (!state) return;
        std::unique_lock<std::mutex> lock(state->mutex);
        if (state->logon == FixBrokerState::Logon::kPending) {
            state->logon = FixBrokerState::Logon::kRefused;
            state->logonText = reason;
            state->changed.notify_all();
            return;
        }
        // QuickFIX may report the end of a refused or ended session once more.
        if (state->logon != FixBrokerState::Logon::kOn) return;
        state->logon = FixBrokerState::Logon::kEnded;
        state->changed.notify_all();
        post(*state, lock, {Delivery::Kind::kEnded, {}, {}, reason});
    };
    c.onMarketData = [weak, post](const fix::MarketDataEvent& event) {
        if (auto state = weak.lock()) {
            std::unique_lock<std::mutex> lock(state->mutex);
            post(*state, lock, {Delivery::Kind::kMarketData, event, {}, {}});
        }
    };
    c.onMarketDataReject = [weak, post](const std::string& reqId, const std::string& reason) {
        if (auto state = weak.lock()) {
            std::unique_lock<std::mutex> lock(state->mutex);
            post(*state, lock, {Delivery::Kind::kRefused, {}, reqId, reason});
        }
    };
    c.onSecurityList = [weak](const std::string& reqId, const std::vector<fix::Security>& list) {
        if (auto state = weak.lock()) {
            std::lock_guard<std::mutex> lock(state->mutex);
            auto answer = state->answers.find(reqId);
            if (answer == state->answers.end()) return;  // nobody waits for it any more
            answer->second.done = true;
            answer->second.securities = list;
            state->changed.notify_all();
        }
    };
    c.onSecurityListRefused = [weak](const std::string& reqId, const std::string& reason) {
        if (auto state = weak.lock()) {
            std::lock_guard<std::mutex> lock(state->mutex);
            auto answer = state->answers.find(reqId);
            if (answer == state->answers.end()) return;
            answer->second.done = true;
            answer->second.refusal = reason.empty() ? "abgelehnt" : reason;
            state->changed.notify_all();
        }
    };
    initiator_ = std::make_unique<fix::Initiator>(std::move(s), std::move(c));
    try {
        initiator_->start();
    } catch (const fix::Error& e) {
        fail(QStringLiteral("Keine Verbindung zur FIX-Kursquelle: %1")
                 .arg(QString::fromStdString(e.what())));
    }
    std::unique_lock<std::mutex> lock(state_->mutex);
    const bool settled =
        state_->changed.wait_for(lock, std::chrono::milliseconds(settings_.answerTimeoutMs),
                                 [&] { return state_->logon != FixBrokerState::Logon::kPending; });
    const FixBrokerState::Logon logon = state_->logon;
    const QString reason = text(state_->logonText);
    lock.unlock();
    const QString where = QStringLiteral("%1:%2").arg(settings_.host).arg(settings_.port);
    if (!settled)
        fail(QStringLiteral("Die FIX-Kursquelle %1 hat die Anmeldung nicht binnen %2 s "
                            "beantwortet.")
                 .arg(where)
                 .arg(settings_.answerTimeoutMs / 1000));
    if (logon == FixBrokerState::Logon::kRefused)
        fail(
            reason.isEmpty()
                ? QStringLiteral("Die FIX-Kursquelle %1 ist nicht erreichbar.").arg(where)
                : QStringLiteral("Die FIX-Kursquelle hat die Anmeldung abgelehnt: %1").arg(reason));
    loggedIn_ = logon == FixBrokerState::Logon::kOn;
    if (!loggedIn_)
        fail(QStringLiteral("Die FIX-Kursquelle %1 hat die Verbindung beendet.").arg(where));
}

void FixConnection::close() {
    {
        std::lock_guard<std::mutex> lock(state_->mutex);
        if (state_->closed) return;
        state_->closed = true;
        state_->changed.notify_all();
    }
    loggedIn_ = false;
    unsubscribes_.clear();
    if (initiator_) initiator_->stop();  // QuickFIX's thread has ended after this
    initiator_.reset();
    // What came before the end still reaches the listeners still there.
    while (!state_->queue.empty()) {
        Delivery delivery = std::move(state_->queue.front());
        state_->queue.pop_front();
        if (delivery.kind != Delivery::Kind::kEnded) deliver(delivery);
    }
    subscriptions_.clear();
    byInstrument_.clear();
}

std::string FixConnection::subscribe(FixSubscription* subscription,
                                     const RealtimeRequest& request) {
    if (!loggedIn_ || !initiator_)
        throw BrokerError(QStringLiteral("Keine Verbindung zur FIX-Kursquelle."));
    const std::string reqId = "md" + std::to_string(++nextRequest_);
    const std::string symbol = text(request.symbol);
    const std::string exchange = text(request.exchange.toUpper());
    const std::string instrument = instrumentKey(symbol, exchange);
    subscriptions_[reqId] = {subscription, instrument};
    byInstrument_[instrument] = {reqId, subscription};
    if (!initiator_->subscribe(reqId, symbol, exchange)) {
        forget(reqId);
        throw BrokerError(QStringLiteral("Keine Verbindung zur FIX-Kursquelle."));
    }
    return reqId;
}

void FixConnection::unsubscribe(const std::string& reqId) {
    if (!forget(reqId) || !initiator_ || !loggedIn_) return;
    unsubscribes_.push_back(reqId);
    if (unsubscribes_.size() == 1)
        QMetaObject::invokeMethod(
            receiver_.get(), [this] { sendUnsubscribes(); }, Qt::QueuedConnection);
}

void FixConnection::sendUnsubscribes() {
    std::vector<std::string> ids;
    ids.swap(unsubscribes_);
    if (!initiator_ || !loggedIn_) return;
    for (const std::string& reqId : ids) initiator_->unsubscribe(reqId);
}

std::int64_t FixConnection::deliverReceived(QDeadlineTimer deadline) {
    std::unique_lock<std::mutex> lock(state_->mutex);
    // What comes after this moment is not owed any more.
    std::size_t owed = state_->queue.size();
    while (owed > 0 && !deadline.hasExpired()) {
        Delivery delivery = std::move(state_->queue.front());
        state_->queue.pop_front();
        --owed;
        state_->changed.notify_all();
        lock.unlock();
        if (delivery.kind != Delivery::Kind::kEnded) deliver(delivery);  // the end comes anyway
        lock.lock();
    }
    std::int64_t left = 0;
    for (std::size_t i = 0; i < owed; ++i)
        if (state_->queue[i].kind == Delivery::Kind::kMarketData) ++left;
    return left;
}

bool FixConnection::forget(const std::string& reqId) {
    const auto found = subscriptions_.find(reqId);
    if (found == subscriptions_.end()) return false;
    if (auto mapped = byInstrument_.find(found->second.instrument);
        mapped != byInstrument_.end() && mapped->second.reqId == reqId)
        byInstrument_.erase(mapped);
    subscriptions_.erase(found);
    return true;
}

FixSubscription* FixConnection::subscriptionOf(const fix::MarketDataEvent& event) const {
    if (!event.symbol.empty())
        if (auto found = byInstrument_.find(instrumentKey(event.symbol, event.exchange));
            found != byInstrument_.end())
            return found->second.subscription;
    const auto found = subscriptions_.find(event.reqId);
    return found == subscriptions_.end() ? nullptr : found->second.subscription;
}

std::vector<fix::Security> FixConnection::list(const fix::SecurityListQuery& query) {
    if (!loggedIn_ || !initiator_)
        throw BrokerError(QStringLiteral("Keine Verbindung zur FIX-Kursquelle."));
    const std::string reqId = "sl" + std::to_string(++nextRequest_);
    std::unique_lock<std::mutex> lock(state_->mutex);
    state_->answers[reqId];
    ++state_->waitingForAnswer;
    state_->changed.notify_all();
    lock.unlock();
    const bool sent = initiator_->requestSecurityList(reqId, query);
    lock.lock();
    const bool answered =
        sent &&
        state_->changed.wait_for(lock, std::chrono::milliseconds(settings_.answerTimeoutMs), [&] {
            return state_->answers[reqId].done || state_->logon != FixBrokerState::Logon::kOn;
        });
    ListAnswer answer = std::move(state_->answers[reqId]);
    state_->answers.erase(reqId);
    --state_->waitingForAnswer;
    lock.unlock();
    if (!sent || (answered && !answer.done))
        throw BrokerError(QStringLiteral("Keine Verbindung zur FIX-Kursquelle."));
    if (!answered)
        throw BrokerError(
            QStringLiteral("Die FIX-Kursquelle hat die Anfrage nicht binnen %1 s beantwortet.")
                .arg(settings_.answerTimeoutMs / 1000));
    if (!answer.refusal.empty()) throw BrokerError(text(answer.refusal));
    for (const fix::Security& security : answer.securities)
        names_.insert(text(security.symbol).toUpper(), text(security.name));
    return std::move(answer.securities);
}

void FixConnection::drain() {
    std::deque<Delivery> batch;
    {
        std::lock_guard<std::mutex> lock(state_->mutex);
        const std::size_t take = std::min<std::size_t>(state_->queue.size(), kDeliveriesPerTurn);
        for (std::size_t i = 0; i < take; ++i) {
            batch.push_back(std::move(state_->queue.front()));
            state_->queue.pop_front();
        }
        state_->drainPosted = !state_->queue.empty() && !state_->closed;
        if (state_->drainPosted)
            QMetaObject::invokeMethod(state_->receiver, state_->drain, Qt::QueuedConnection);
        state_->changed.notify_all();
    }
    for (Delivery& delivery : batch) deliver(delivery);
}

void FixConnection::deliver(Delivery& delivery) {
    switch (delivery.kind) {
        case Delivery::Kind::kMarketData:
            if (FixSubscription* subscription = subscriptionOf(delivery.event))
                subscription->update(delivery.event);
            break;
        case Delivery::Kind::kRefused:
            if (auto found = subscriptions_.find(delivery.reqId); found != subscriptions_.end()) {
                FixSubscription* subscription = found->second.subscription;
                forget(delivery.reqId);
                subscription->refused(text(delivery.text));
            }
            break;
        case Delivery::Kind::kEnded:
            if (!loggedIn_) break;
            loggedIn_ = false;
            // A copy: a listener may remove itself.
            for (SessionListener* listener : std::vector<SessionListener*>(listeners))
                listener->OnLogout();
            break;
    }
}

namespace {

class FixSession final : public BrokerSession {
public:
    explicit FixSession(const FixSourceSettings& settings)
        : connection_(std::make_shared<FixConnection>(settings)) {}
    ~FixSession() override { connection_->close(); }

    void LoginWithAddOnName(const QString&) override { connection_->login(); }
    bool isLoggedIn() const override { return connection_->loggedIn(); }
    void logout() override { connection_->close(); }
    void addListener(SessionListener* listener) override {
        connection_->listeners.push_back(listener);
    }
    void removeListener(SessionListener* listener) override {
        std::erase(connection_->listeners, listener);
    }

    std::unique_ptr<Subscription> subscribe(const RealtimeRequest& request) override {
        auto subscription = std::make_unique<FixSubscription>(connection_, request);
        subscription->start(request);
        return subscription;
    }

    std::vector<Exchange> exchanges() override {
        if (!exchanges_) {
            QSet<QString> seen;
            std::vector<Exchange> found;
            for (const fix::Security& security : connection_->list({})) {
                const QString code = text(security.exchange).toUpper();
                if (code.isEmpty() || seen.contains(code)) continue;
                seen.insert(code);
                found.push_back({code, code, true, false});
            }
            std::sort(found.begin(), found.end(),
                      [](const Exchange& a, const Exchange& b) { return a.code < b.code; });
            exchanges_ = std::move(found);
        }
        return *exchanges_;
    }

    std::vector<Identifier> runIndexList(const IndexListRequest& request) override {
        fix::SecurityListQuery query;
        query.catalogue = text(request.indexName);
        std::vector<Identifier> members;
        for (const fix::Security& security : connection_->list(query))
            members.push_back({text(security.symbol), QString(), text(security.exchange)});
        return members;
    }

    std::vector<Instrument> queryInstruments(const std::vector<Identifier>& ids) override {
        std::vector<Instrument> found;
        found.reserve(ids.size());
        for (const Identifier& id : ids) found.push_back({id.code, connection_->nameOf(id.code)});
        return found;
    }

    std::vector<Instrument> search(const SearchCriteria& criteria) override {
        fix::SecurityListQuery query;
        query.term = text(criteria.term.trimmed());
        if (criteria.classLetter) query.type = text(*criteria.classLetter);
        std::vector<Instrument> found;
        for (const fix::Security& security : connection_->list(query))
            found.push_back({text(security.symbol), text(security.name)});
        return found;
    }

    HistoryResult runHistory(const HistoryRequest&) override {
        throw BrokerError(QStringLiteral("Die FIX-Kursquelle hält keine Kurshistorie."));
    }
    bool keepsHistory() const override { return false; }
    std::int64_t deliverReceived(QDeadlineTimer deadline) override {
        return connection_->deliverReceived(deadline);
    }

private:
    std::shared_ptr<FixConnection> connection_;
    std::optional<std::vector<Exchange>> exchanges_;
};

}  // namespace

std::unique_ptr<BrokerSession> makeFixSession(const FixSourceSettings& settings) {
    return std::make_unique<FixSession>(settings);
}

}  // namespace vqs::broker
