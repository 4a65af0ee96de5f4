#include "broker/simulated_broker.h"

#include <algorithm>
#include <cmath>
#include <optional>
#include <queue>

namespace vqs::broker {

class SimSubscription;
class SimSession;

// Shared by the service, its sessions and their subscriptions, so none can dangle.
struct SimulationState {
    SimulationState(SimulationSettings s, const Clock& c)
        : settings(s), clock(c), market(s.seed, s.quotesPerSecond) {}
    SimulationSettings settings;
    const Clock& clock;
    SimulatedMarket market;
    // In the order they were made. A released one leaves its slot empty until the outermost
    // pump begins, and a new one takes a new slot: within a pump a slot names one subscription,
    // however the allocator reuses a released one's address.
    std::vector<SimSubscription*> subscriptions;
    int live = 0;
    std::uint64_t pumps = 0;
    int pumpDepth = 0;
    std::vector<SimSession*> sessions;
    int logins = 0;
    QDateTime downUntil;  // logins are refused until then
    int historyRequests = 0;
};

// Whether a session's subscriptions deliver: shared with them, as they may outlive it.
struct SessionLife {
    bool loggedIn = false;
    bool silent = false;
    bool delivers() const { return loggedIn && !silent; }
};

SimulationSettings SimulationSettings::fromEnvironment() {
    SimulationSettings s;
    bool ok = false;
    const quint64 seed = qEnvironmentVariable("BRAVOLT_SIM_SEED").toULongLong(&ok);
    if (ok) s.seed = seed;
    const double rate = qEnvironmentVariable("BRAVOLT_SIM_RATE").toDouble(&ok);
    if (ok && std::isfinite(rate)) s.quotesPerSecond = std::clamp(rate, 0.001, 50.0);
    s.refuseLogin = qEnvironmentVariableIntValue("BRAVOLT_SIM_REFUSE_LOGIN") != 0;
    s.failHistory = qEnvironmentVariableIntValue("BRAVOLT_SIM_FAIL_HISTORY") != 0;
    auto seconds = [](const char* name) {
        bool ok = false;
        const double value = qEnvironmentVariable(name).toDouble(&ok);
        return ok && std::isfinite(value) && value > 0 ? value : 0.0;
    };
    s.dropAfter = seconds("BRAVOLT_SIM_DROP_AFTER");
    s.downFor = seconds("BRAVOLT_SIM_DOWN_FOR");
    s.silentAfter = seconds("BRAVOLT_SIM_SILENT_AFTER");
    s.failHistoryFirst =
        std::max(0, qEnvironmentVariableIntValue("BRAVOLT_SIM_FAIL_HISTORY_FIRST"));
    return s;
}

namespace {

constexpr int kMsPerDay = 86400000;
// After a longer silence (a machine that slept) the quote jumps to now instead of replaying.
constexpr qint64 kMaxCatchUpMs = 5 * 60 * 1000;
// The market time one pump raises per subscription at most: a late pump raises a bounded
// backlog, the next pumps the rest (ten times as fast as the market at the usual 100 ms).
constexpr qint64 kMaxStepMs = 1000;

QuoteGroup groupOf(const GroupState& g, bool withVolume) {
    QuoteGroup q;
    q.present = g.present;
    q.price = g.price;
    q.volumePresent = g.present && withVolume;
    q.volume = withVolume ? g.volume : 0;
    q.time = SimulatedMarket::timeObject(g.msOfDay);
    return q;
}

template <typename T>
void eraseValue(std::vector<T*>& v, T* p) {
    v.erase(std::remove(v.begin(), v.end(), p), v.end());
}

}  // namespace

class SimSubscription final : public Subscription {
public:
    SimSubscription(std::shared_ptr<SimulationState> state, std::shared_ptr<const SessionLife> life,
                    const SimInstrument& instrument, QString exchange)
        : state_(std::move(state)),
          life_(std::move(life)),
          instrument_(instrument),
          exchange_(std::move(exchange)),
          slot_(state_->subscriptions.size()) {
        const QDateTime now = state_->clock.now();
        subscribedAtMs_ = now.toMSecsSinceEpoch();
        jumpTo(now);
        state_->subscriptions.push_back(this);
        ++state_->live;
    }
    ~SimSubscription() override {
        state_->subscriptions[slot_] = nullptr;
        --state_->live;
    }

    void setListener(QuoteListener* listener) override { listener_ = listener; }
    void stop() override { stopped_ = true; }

    std::uint64_t pump() const { return pump_; }  // the last that opened a span
    void setSlot(size_t slot) { slot_ = slot; }
    bool delivers() const { return !stopped_ && life_->delivers(); }

    // The stale snapshot, raised once before anything else.
    void raiseSnapshot() {
        if (!snapshotPending_) return;
        snapshotPending_ = false;
        raise(toQuote(subscribedAtMs_));
    }

    // Opens this pump's span: up to now, but at most kMaxStepMs of market time beyond what is
    // covered, so that a late pump leaves the rest of the backlog to the next pumps. After a
    // longer silence (a machine that slept) the quote jumps to now instead of replaying.
    void beginPump(const QDateTime& now, std::uint64_t pump) {
        pump_ = pump;
        const qint64 nowAt = absolute(now.date(), now.time().msecsSinceStartOfDay());
        if (nowAt - absolute(day_, lastMs_) > kMaxCatchUpMs) {
            jumpTo(now);
            jumpPendingAt_ = nowAt;
            jumpReadyAtMs_ = now.toMSecsSinceEpoch();
            until_ = nowAt;
            return;
        }
        until_ = std::min(nowAt, absolute(day_, lastMs_) + kMaxStepMs);
    }

    // When the next quote of this pump's span is due (ms on an absolute scale), if any.
    std::optional<qint64> nextDue() {
        if (jumpPendingAt_) return jumpPendingAt_;
        for (;;) {
            if (absolute(day_, lastMs_) >= until_) return std::nullopt;
            if (lastMs_ + 1 >= kMsPerDay) {
                day_ = day_.addDays(1);
                lastMs_ = -1;
            }
            const int minute = (lastMs_ + 1) / 60000;
            if (!events_.isFor(day_, minute)) {
                state_->market.startMinute(events_, instrument_, exchange_, day_, minute);
                while (!events_.atEnd() && events_.nextMsOfDay() <= lastMs_) events_.take();
            }
            const qint64 dayStart = absolute(day_, 0);
            if (!events_.atEnd()) {
                const qint64 at = dayStart + events_.nextMsOfDay();
                if (at <= until_) return at;
                lastMs_ = static_cast<int>(until_ - dayStart);
                return std::nullopt;
            }
            lastMs_ =
                static_cast<int>(std::min(dayStart + minute * 60000 + 59999, until_) - dayStart);
        }
    }

    // Raises the quote nextDue() named. The listener may release this subscription.
    void raiseNext(const QDateTime& now) {
        if (jumpPendingAt_) {
            jumpPendingAt_ = 0;
            raise(toQuote(jumpReadyAtMs_));
            return;
        }
        const MarketEvent e = events_.take();
        quote_.apply(e);
        lastMs_ = e.msOfDay;
        raise(toQuote(readyAt(now, e.msOfDay)));
    }

private:
    static qint64 absolute(QDate day, int ms) { return day.toJulianDay() * kMsPerDay + ms; }

    void jumpTo(const QDateTime& now) {
        day_ = now.date();
        lastMs_ = now.time().msecsSinceStartOfDay();
        quote_ = state_->market.stateAt(instrument_, exchange_, day_, lastMs_);
    }

    // The clock's time (ms since the epoch) at msOfDay of the current day, in the clock's time
    // zone. Offsets change on minute boundaries only, so one conversion a minute serves.
    qint64 readyAt(const QDateTime& now, int msOfDay) {
        const int minute = msOfDay / 60000;
        if (readyDay_ != day_ || readyMinute_ != minute) {
            QDateTime start = now;
            start.setDate(day_);
            start.setTime(QTime(minute / 60, minute % 60));
            readyMinuteStartMs_ = start.toMSecsSinceEpoch();
            readyDay_ = day_;
            readyMinute_ = minute;
        }
        return readyMinuteStartMs_ + msOfDay % 60000;
    }

    void raise(const Quote& quote) {
        if (!stopped_ && listener_)
            listener_->OnQuoteUpdate(quote, {instrument_.wkn, exchange_}, QString());
    }

    Quote toQuote(qint64 readyAtMs) const {
        Quote q;
        q.paid = groupOf(quote_.paid, instrument_.paidVolume);
        if (instrument_.hasBidAsk) {
            q.bid = groupOf(quote_.bid, instrument_.bidAskVolume);
            q.ask = groupOf(quote_.ask, instrument_.bidAskVolume);
        }
        q.readyAtMs = readyAtMs;
        return q;
    }

    std::shared_ptr<SimulationState> state_;
    std::shared_ptr<const SessionLife> life_;
    const SimInstrument& instrument_;
    QString exchange_;
    size_t slot_;
    qint64 subscribedAtMs_ = 0;
    QDate day_;
    int lastMs_ = 0;    // everything up to here is raised
    qint64 until_ = 0;  // the end of this pump's span
    std::uint64_t pump_ = 0;
    qint64 jumpPendingAt_ = 0;  // the quote after a jump to now is due
    qint64 jumpReadyAtMs_ = 0;
    MinuteEvents events_;  // of the minute after lastMs_
    QuoteState quote_;
    bool snapshotPending_ = true;
    bool stopped_ = false;
    QuoteListener* listener_ = nullptr;
    QDate readyDay_;
    int readyMinute_ = -1;
    qint64 readyMinuteStartMs_ = 0;
};

class SimSession final : public BrokerSession {
public:
    explicit SimSession(std::shared_ptr<SimulationState> state) : state_(std::move(state)) {
        state_->sessions.push_back(this);
    }
    ~SimSession() override { eraseValue(state_->sessions, this); }

    void LoginWithAddOnName(const QString& addOnName) override {
        if (addOnName.trimmed().isEmpty())
            throw BrokerError(QStringLiteral("Es wurde kein Add-On-Name angegeben."));
        if (state_->settings.refuseLogin)
            throw BrokerError(QStringLiteral(
                "Die Anmeldung wurde vom Bravolt-Server abgelehnt (Zugangsdaten ungültig)."));
        const QDateTime now = state_->clock.now();
        if (state_->downUntil.isValid() && now < state_->downUntil)
            throw BrokerError(QStringLiteral("Der Bravolt-Server ist nicht erreichbar."));
        life_->loggedIn = true;
        statusPending_ = true;
        loginNumber_ = ++state_->logins;
        loginAt_ = now;
    }
    bool isLoggedIn() const override { return life_->loggedIn; }
    void logout() override {
        if (!life_->loggedIn) return;
        life_->loggedIn = false;
        const std::vector<SessionListener*> listeners = listeners_;
        for (SessionListener* l : listeners) l->OnLogout();
    }
    void addListener(SessionListener* l) override { listeners_.push_back(l); }
    void removeListener(SessionListener* l) override { eraseValue(listeners_, l); }

    std::unique_ptr<Subscription> subscribe(const RealtimeRequest& request) override {
        requireLogin();
        const SimInstrument* in = state_->market.find(request.symbol);
        if (!in || !state_->market.isAdmitted(request.exchange)) return nullptr;
        return std::make_unique<SimSubscription>(state_, life_, *in, request.exchange.toUpper());
    }
    std::vector<Exchange> exchanges() override {
        requireLogin();
        return state_->market.exchanges();
    }
    std::vector<Identifier> runIndexList(const IndexListRequest& request) override {
        requireLogin();
        const std::vector<Identifier>* members = state_->market.catalogue(request.indexName);
        if (!members)
            throw BrokerError(
                QStringLiteral("Die Indexliste \"%1\" ist unbekannt.").arg(request.indexName));
        return *members;
    }
    std::vector<Instrument> queryInstruments(const std::vector<Identifier>& ids) override {
        requireLogin();
        std::vector<Instrument> found;
        found.reserve(ids.size());
        for (const Identifier& id : ids) {
            const SimInstrument* in = state_->market.find(id.code);
            found.push_back(in ? Instrument{in->wkn, in->name} : Instrument{id.code, QString()});
        }
        return found;
    }
    std::vector<Instrument> search(const SearchCriteria& criteria) override {
        requireLogin();
        return state_->market.search(criteria);
    }
    HistoryResult runHistory(const HistoryRequest& request) override {
        requireLogin();
        if (state_->settings.failHistory ||
            state_->historyRequests++ < state_->settings.failHistoryFirst)
            throw BrokerError(QStringLiteral("Die Historienabfrage ist fehlgeschlagen."));
        const SimInstrument* in = state_->market.find(request.symbol);
        if (!in || !state_->market.isAdmitted(request.exchange))
            throw BrokerError(QStringLiteral("Für %1@%2 gibt es keine Historie.")
                                  .arg(request.symbol, request.exchange));
        const QDateTime now = state_->clock.now();
        HistoryResult result;
        result.date = now.date();
        result.items = state_->market.paidHistory(*in, request.exchange.toUpper(), now.date(),
                                                  now.time().msecsSinceStartOfDay());
        return result;
    }

    // The faults of the first session: the broker logs it out, or its quotes stop.
    void applyFaults(const QDateTime& now) {
        if (loginNumber_ != 1 || !life_->loggedIn) return;
        const SimulationSettings& s = state_->settings;
        const double seconds = static_cast<double>(loginAt_.msecsTo(now)) / 1000.0;
        if (s.silentAfter > 0 && seconds >= s.silentAfter) life_->silent = true;
        if (s.dropAfter > 0 && seconds >= s.dropAfter) {
            state_->downUntil = now.addMSecs(static_cast<qint64>(s.downFor * 1000));
            logout();
        }
    }

    void raisePendingStatus() {
        if (!statusPending_ || !life_->loggedIn) return;
        statusPending_ = false;
        const std::vector<SessionListener*> listeners = listeners_;
        for (SessionListener* l : listeners) l->OnQuotesStatusChange(kKurseLaufen);
    }

private:
    void requireLogin() const {
        if (!life_->loggedIn)
            throw BrokerError(QStringLiteral("Die Sitzung ist nicht angemeldet."));
    }

    std::shared_ptr<SimulationState> state_;
    std::shared_ptr<SessionLife> life_ = std::make_shared<SessionLife>();
    bool statusPending_ = false;
    int loginNumber_ = 0;
    QDateTime loginAt_;
    std::vector<SessionListener*> listeners_;
};

SimulatedBroker::SimulatedBroker(SimulationSettings settings, const Clock& clock)
    : state_(std::make_shared<SimulationState>(settings, clock)) {
    connect(&timer_, &QTimer::timeout, this, &SimulatedBroker::pump);
}

SimulatedBroker::~SimulatedBroker() = default;

std::unique_ptr<BrokerSession> SimulatedBroker::createSession() {
    return std::make_unique<SimSession>(state_);
}

const SimulatedMarket& SimulatedBroker::market() const { return state_->market; }
const SimulationSettings& SimulatedBroker::settings() const { return state_->settings; }

void SimulatedBroker::pump() {
    const QDateTime now = state_->clock.now();
    const std::vector<SimSession*> sessions = state_->sessions;
    for (SimSession* s : sessions) {
        // A listener may end a session meanwhile.
        if (std::find(state_->sessions.begin(), state_->sessions.end(), s) ==
            state_->sessions.end())
            continue;
        s->applyFaults(now);
        s->raisePendingStatus();
    }

    // Listeners may release and make subscriptions while quotes are raised: the ones made meanwhile
    // wait for the next pump, a released one's slot stays empty. A listener may even run an event
    // loop that pumps again: that pump takes over the spans of this one, and the slots stay as
    // they are until the outermost pump ends.
    auto& all = state_->subscriptions;
    if (state_->pumpDepth == 0) {
        all.erase(std::remove(all.begin(), all.end(), nullptr), all.end());
        for (size_t i = 0; i < all.size(); ++i) all[i]->setSlot(i);
    }
    const size_t count = all.size();
    const std::uint64_t generation = ++state_->pumps;
    ++state_->pumpDepth;
    struct Leave {
        int& depth;
        ~Leave() { --depth; }
    } leave{state_->pumpDepth};

    // The stale snapshots come first.
    for (size_t i = 0; i < count; ++i)
        if (SimSubscription* s = all[i]; s && s->delivers()) s->raiseSnapshot();

    // Then every subscription's quotes, all in time order (the older subscription first at the
    // same millisecond), drawn one at a time: the work and memory of a pump stay bounded.
    using Due = std::pair<qint64, size_t>;  // when, whose slot
    std::priority_queue<Due, std::vector<Due>, std::greater<>> due;
    auto ours = [&](size_t slot) {
        SimSubscription* s = all[slot];
        return s && s->pump() == generation && s->delivers() ? s : nullptr;
    };
    for (size_t i = 0; i < count; ++i) {
        SimSubscription* s = all[i];
        if (!s || !s->delivers()) continue;
        s->beginPump(now, generation);
        if (const auto at = s->nextDue()) due.push({*at, i});
    }
    while (!due.empty()) {
        const size_t slot = due.top().second;
        due.pop();
        SimSubscription* s = ours(slot);
        if (!s) continue;
        s->raiseNext(now);
        if ((s = ours(slot)))
            if (const auto at = s->nextDue()) due.push({*at, slot});
    }
}

void SimulatedBroker::start(int intervalMs) { timer_.start(intervalMs); }
void SimulatedBroker::stop() { timer_.stop(); }
int SimulatedBroker::liveSubscriptions() const { return state_->live; }

}  // namespace vqs::broker
