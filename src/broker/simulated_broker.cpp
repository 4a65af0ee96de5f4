#include "broker/simulated_broker.h"

#include <algorithm>
#include <cmath>

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
    std::vector<SimSubscription*> subscriptions;
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

// A quote due for raising: when (ms on an absolute scale) and by which subscription.
struct DueQuote {
    qint64 at;
    Quote quote;
    SimSubscription* subscription;
};

class SimSubscription final : public Subscription {
public:
    SimSubscription(std::shared_ptr<SimulationState> state, std::shared_ptr<const SessionLife> life,
                    const SimInstrument& instrument, QString exchange)
        : state_(std::move(state)),
          life_(std::move(life)),
          instrument_(instrument),
          exchange_(std::move(exchange)) {
        jumpTo(state_->clock.now());
        state_->subscriptions.push_back(this);
    }
    ~SimSubscription() override { eraseValue(state_->subscriptions, this); }

    void setListener(QuoteListener* listener) override { listener_ = listener; }
    void stop() override { stopped_ = true; }

    void collect(const QDateTime& now, std::vector<DueQuote>& out) {
        if (stopped_ || !life_->delivers()) return;
        if (snapshotPending_) {
            snapshotPending_ = false;
            out.push_back({-1, toQuote(), this});  // the stale snapshot comes first
        }
        const QDate today = now.date();
        const int nowMs = now.time().msecsSinceStartOfDay();
        const qint64 gap = day_.daysTo(today) * kMsPerDay + nowMs - lastMs_;
        if (gap > kMaxCatchUpMs) {
            jumpTo(now);
            out.push_back({absolute(today, nowMs), toQuote(), this});
            return;
        }
        while (day_ < today || (day_ == today && lastMs_ < nowMs)) {
            const int untilMs = day_ < today ? kMsPerDay - 1 : nowMs;
            for (int minute = std::max(lastMs_, 0) / 60000; minute <= untilMs / 60000; ++minute) {
                for (const MarketEvent& e : eventsOf(minute)) {
                    if (e.msOfDay <= lastMs_ || e.msOfDay > untilMs) continue;
                    quote_.apply(e);
                    out.push_back({absolute(day_, e.msOfDay), toQuote(), this});
                }
            }
            lastMs_ = untilMs;
            if (day_ < today) {
                day_ = day_.addDays(1);
                lastMs_ = -1;
            }
        }
    }

    void raise(const Quote& quote) {
        if (!stopped_ && listener_)
            listener_->OnQuoteUpdate(quote, {instrument_.wkn, exchange_}, QString());
    }

private:
    static qint64 absolute(QDate day, int ms) { return day.toJulianDay() * kMsPerDay + ms; }

    void jumpTo(const QDateTime& now) {
        day_ = now.date();
        lastMs_ = now.time().msecsSinceStartOfDay();
        quote_ = state_->market.stateAt(instrument_, exchange_, day_, lastMs_);
    }

    // The events of one minute, kept while the clock stays in it (pumps come many times a minute).
    const std::vector<MarketEvent>& eventsOf(int minute) {
        if (cachedDay_ != day_ || cachedMinute_ != minute) {
            cachedEvents_ = state_->market.eventsInMinute(instrument_, exchange_, day_, minute);
            cachedDay_ = day_;
            cachedMinute_ = minute;
        }
        return cachedEvents_;
    }

    Quote toQuote() const {
        Quote q;
        q.paid = groupOf(quote_.paid, instrument_.paidVolume);
        if (instrument_.hasBidAsk) {
            q.bid = groupOf(quote_.bid, instrument_.bidAskVolume);
            q.ask = groupOf(quote_.ask, instrument_.bidAskVolume);
        }
        return q;
    }

    std::shared_ptr<SimulationState> state_;
    std::shared_ptr<const SessionLife> life_;
    const SimInstrument& instrument_;
    QString exchange_;
    QDate day_;
    int lastMs_ = 0;
    QuoteState quote_;
    bool snapshotPending_ = true;
    bool stopped_ = false;
    QuoteListener* listener_ = nullptr;
    QDate cachedDay_;
    int cachedMinute_ = -1;
    std::vector<MarketEvent> cachedEvents_;
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
        for (SessionListener* l : listeners) l->OnQuotesStatusChange(1);
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

    std::vector<DueQuote> due;
    for (SimSubscription* s : state_->subscriptions) s->collect(now, due);
    std::stable_sort(due.begin(), due.end(),
                     [](const DueQuote& a, const DueQuote& b) { return a.at < b.at; });
    for (const DueQuote& d : due) {
        // A handler may have released a subscription meanwhile.
        const auto& live = state_->subscriptions;
        if (std::find(live.begin(), live.end(), d.subscription) != live.end())
            d.subscription->raise(d.quote);
    }
}

void SimulatedBroker::start(int intervalMs) { timer_.start(intervalMs); }
void SimulatedBroker::stop() { timer_.stop(); }
int SimulatedBroker::liveSubscriptions() const {
    return static_cast<int>(state_->subscriptions.size());
}

}  // namespace vqs::broker
