#include "tools/vqsfeed.h"

#include "common/error.h"
#include "common/password_file.h"
#include "recording/shutdown_signals.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QDir>
#include <QMetaObject>
#include <QTimer>

namespace vqs {

namespace {

constexpr qint64 kMsPerDay = 86400000;

fix::MarketDataEntry entryOf(fix::EntryType type, const broker::QuoteGroup& group, qint64 readyMs,
                             const LocalOffset& offset) {
    fix::MarketDataEntry entry;
    entry.type = type;
    entry.price = group.price;
    entry.hasSize = group.volumePresent;
    entry.size = group.volume;
    // The group's time of day is the market's local time on the day of the quote, or on the
    // day before when it is later than the quote (a group unchanged since yesterday).
    const qint64 offsetMs = offset.msAt(readyMs);
    const qint64 localReady = readyMs + offsetMs;
    const qint64 dayStart =
        (localReady >= 0 ? localReady : localReady - kMsPerDay + 1) / kMsPerDay * kMsPerDay;
    const qint64 msOfDay =
        ((group.time.hour * 60LL + group.time.minute) * 60 + group.time.second) * 1000 +
        group.time.millisecond;
    qint64 local = dayStart + msOfDay;
    if (local > localReady) local -= kMsPerDay;
    entry.hasTime = true;
    entry.utcMs = local - offset.msAt(local - offsetMs);
    return entry;
}

bool sameGroup(const broker::QuoteGroup& a, const broker::QuoteGroup& b) {
    return a.present == b.present && a.price == b.price && a.volumePresent == b.volumePresent &&
           a.volume == b.volume && a.time.hour == b.time.hour && a.time.minute == b.time.minute &&
           a.time.second == b.time.second && a.time.millisecond == b.time.millisecond;
}

std::string text(const QString& s) { return s.toStdString(); }

}  // namespace

// One FIX subscription: the broker's quotes of its instrument, as a snapshot and then the
// groups that changed.
class FeedSubscription final : public broker::QuoteListener {
public:
    FeedSubscription(QuoteFeed& feed, std::string session, std::string reqId)
        : feed_(feed), session_(std::move(session)), reqId_(std::move(reqId)) {}

    void attach(std::unique_ptr<broker::Subscription> subscription) {
        subscription_ = std::move(subscription);
        subscription_->setListener(this);
    }

    void OnQuoteUpdate(const broker::Quote& quote, const broker::QuoteSource& source,
                       const QString&) override {
        const qint64 readyMs =
            quote.readyAtMs != 0 ? quote.readyAtMs : feed_.clock_.msecsSinceEpoch();
        fix::MarketDataEvent event;
        event.reqId = reqId_;
        event.symbol = text(source.symbol);
        event.exchange = text(source.exchange);
        event.snapshot = !last_;
        const std::pair<fix::EntryType, broker::QuoteGroup broker::Quote::*> groups[] = {
            {fix::EntryType::kTrade, &broker::Quote::paid},
            {fix::EntryType::kBid, &broker::Quote::bid},
            {fix::EntryType::kOffer, &broker::Quote::ask}};
        for (const auto& [type, group] : groups) {
            const broker::QuoteGroup& now = quote.*group;
            if (!now.present || (last_ && sameGroup(now, (*last_).*group))) continue;
            event.entries.push_back(entryOf(type, now, readyMs, offset_));
        }
        last_ = quote;
        if (event.snapshot) {
            // Whatever waits goes first: it may be an earlier subscription's to this instrument.
            feed_.sendIncrements();
            feed_.acceptor_->sendSnapshot(session_, event);
        } else if (!event.entries.empty())
            feed_.increments_[session_].push_back(std::move(event));
    }

private:
    QuoteFeed& feed_;
    std::string session_;
    std::string reqId_;
    std::unique_ptr<broker::Subscription> subscription_;
    std::optional<broker::Quote> last_;
    LocalOffset offset_;
};

// The market's own session may end (the simulated broker's outage knobs): every client is
// logged out, as a real quote server that lost its source would.
class FeedSessionListener final : public broker::SessionListener {
public:
    explicit FeedSessionListener(QuoteFeed& feed) : feed_(feed) {}
    void OnLogout() override { feed_.marketLoggedOut(); }
    void OnQuotesStatusChange(std::int32_t) override {}

private:
    QuoteFeed& feed_;
};

QuoteFeed::QuoteFeed(QuoteFeedOptions options, broker::SimulationSettings simulation,
                     const Clock& clock, std::function<void(const QString&)> log)
    : options_(std::move(options)),
      clock_(clock),
      log_(std::move(log)),
      broker_(simulation, clock) {}

QuoteFeed::~QuoteFeed() { stop(); }

void QuoteFeed::start() {
    session_ = broker_.createSession();
    sessionListener_ = std::make_unique<FeedSessionListener>(*this);
    session_->addListener(sessionListener_.get());
    session_->LoginWithAddOnName(QStringLiteral("vqsfeed"));

    fix::Acceptor::Settings settings;
    settings.port = options_.port;
    settings.compId = text(options_.compId);
    for (const QString& id : options_.clientCompIds) settings.clientCompIds.push_back(text(id));
    settings.storeDir = text(options_.storeDir);
    settings.tlsCertFile = text(options_.tlsCert);
    settings.tlsKeyFile = text(options_.tlsKey);

    fix::Acceptor::Callbacks callbacks;
    // The credentials never change: checked right on QuickFIX's thread.
    callbacks.checkLogon = [this](const std::string& session, const std::string& user,
                                  const std::string& password) -> std::string {
        if (options_.user.isEmpty() ||
            (user == text(options_.user) && password == text(options_.password)))
            return {};
        log(QStringLiteral("Anmeldung von \"%1\" abgelehnt (%2)")
                .arg(QString::fromStdString(user), QString::fromStdString(session)));
        return "Benutzername oder Passwort falsch.";
    };
    callbacks.onLogon = [this](const std::string& session, const std::string& user) {
        {
            std::lock_guard<std::mutex> lock(mutex_);
            loggedOn_.insert(session);
        }
        log(QStringLiteral("Anmeldung von \"%1\" (%2)")
                .arg(QString::fromStdString(user), QString::fromStdString(session)));
    };
    callbacks.onLogout = [this](const std::string& session) {
        {
            std::lock_guard<std::mutex> lock(mutex_);
            loggedOn_.erase(session);
        }
        log(QStringLiteral("Abmeldung (%1)").arg(QString::fromStdString(session)));
        post([this, session] { endSession(session); });
    };
    callbacks.onMarketDataRequest = [this](const std::string& session,
                                           const fix::Acceptor::MarketDataRequest& request) {
        post([this, session, request] {
            if (request.subscribe)
                subscribe(session, request);
            else
                unsubscribe(session, request.reqId);
        });
    };
    callbacks.onSecurityListRequest = [this](const std::string& session, const std::string& reqId,
                                             const fix::SecurityListQuery& query) {
        post([this, session, reqId, query] { listSecurities(session, reqId, query); });
    };
    acceptor_ = std::make_unique<fix::Acceptor>(std::move(settings), std::move(callbacks));
    try {
        acceptor_->start();
    } catch (const fix::Error& e) {
        acceptor_.reset();
        throw VqsError(QString::fromStdString(e.what()));
    }
}

void QuoteFeed::stop() {
    if (acceptor_) acceptor_->stop();
    subscriptions_.clear();
    increments_.clear();
    acceptor_.reset();
    if (session_) {
        session_->removeListener(sessionListener_.get());
        session_.reset();
    }
    std::lock_guard<std::mutex> lock(mutex_);
    pending_.clear();
    loggedOn_.clear();
}

void QuoteFeed::pump() {
    std::vector<std::function<void()>> work;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        work.swap(pending_);
    }
    for (const auto& w : work) w();
    broker_.pump();
    sendIncrements();
}

// A real feed's way: the updates of one pass over the market go out together, a few dozen
// instruments to a message, instead of a message per quote.
void QuoteFeed::sendIncrements() {
    constexpr size_t kEventsPerMessage = 64;
    for (auto& [session, events] : increments_) {
        for (size_t first = 0; first < events.size(); first += kEventsPerMessage) {
            const size_t end = std::min(events.size(), first + kEventsPerMessage);
            acceptor_->sendIncrements(
                session, std::vector<fix::MarketDataEvent>(
                             std::make_move_iterator(events.begin() + static_cast<long>(first)),
                             std::make_move_iterator(events.begin() + static_cast<long>(end))));
        }
    }
    increments_.clear();
}

void QuoteFeed::post(std::function<void()> work) {
    {
        std::lock_guard<std::mutex> lock(mutex_);
        pending_.push_back(std::move(work));
    }
    if (wake_) wake_();
}

void QuoteFeed::log(const QString& line) {
    std::lock_guard<std::mutex> lock(mutex_);
    if (log_) log_(line);
}

void QuoteFeed::subscribe(const std::string& session,
                          const fix::Acceptor::MarketDataRequest& request) {
    const QString code = QString::fromStdString(request.symbol);
    const broker::SimInstrument* instrument = market().find(code);
    const QString exchange = request.exchange.empty()
                                 ? (instrument ? instrument->homeExchange : QString())
                                 : QString::fromStdString(request.exchange).toUpper();
    const QString what = QStringLiteral("%1@%2").arg(code, exchange);
    QString refusal;
    if (!instrument)
        refusal = QStringLiteral("Unbekannter Titel: %1").arg(code);
    else if (!market().isAdmitted(exchange))
        refusal = QStringLiteral("Börse nicht zugelassen: %1").arg(exchange);
    std::unique_ptr<broker::Subscription> subscription;
    if (refusal.isEmpty()) {
        try {
            // After an outage of the market's session, the first subscription logs it in again.
            if (!session_->isLoggedIn()) session_->LoginWithAddOnName(QStringLiteral("vqsfeed"));
            subscription = session_->subscribe({code, exchange});
            if (!subscription) refusal = QStringLiteral("Abonnement abgelehnt: %1").arg(what);
        } catch (const broker::BrokerError& e) {
            refusal = e.message();
        }
    }
    if (!refusal.isEmpty()) {
        log(QStringLiteral("%1 (%2, Anfrage %3)")
                .arg(refusal, QString::fromStdString(session),
                     QString::fromStdString(request.reqId)));
        acceptor_->sendMarketDataReject(session, request.reqId, text(refusal));
        return;
    }
    log(QStringLiteral("Abonnement %1 (%2, Anfrage %3)")
            .arg(what, QString::fromStdString(session), QString::fromStdString(request.reqId)));
    auto feedSubscription = std::make_unique<FeedSubscription>(*this, session, request.reqId);
    feedSubscription->attach(std::move(subscription));
    subscriptions_[{session, request.reqId}] = std::move(feedSubscription);
}

void QuoteFeed::unsubscribe(const std::string& session, const std::string& reqId) {
    if (subscriptions_.erase({session, reqId}) == 0) return;
    log(QStringLiteral("Abonnement beendet (%1, Anfrage %2)")
            .arg(QString::fromStdString(session), QString::fromStdString(reqId)));
}

void QuoteFeed::listSecurities(const std::string& session, const std::string& reqId,
                               const fix::SecurityListQuery& query) {
    const QString term = QString::fromStdString(query.term).trimmed();
    const QString type = QString::fromStdString(query.type);
    std::vector<fix::Security> list;
    auto add = [&](const broker::SimInstrument& in) {
        list.push_back(
            {text(in.wkn), text(in.name), text(in.homeExchange), text(QString(in.classLetter))});
    };
    if (!query.catalogue.empty()) {
        const QString key = QString::fromStdString(query.catalogue);
        const std::vector<broker::Identifier>* members = market().catalogue(key);
        if (!members) {
            acceptor_->sendSecurityListRefusal(
                session, reqId,
                text(QStringLiteral("Die Indexliste \"%1\" ist unbekannt.").arg(key)));
            return;
        }
        for (const broker::Identifier& member : *members) {
            const broker::SimInstrument* in = market().find(member.code);
            list.push_back({text(member.code), in ? text(in->name) : std::string(),
                            text(member.exchange), in ? text(QString(in->classLetter)) : ""});
        }
    } else if (term.isEmpty()) {
        for (const broker::SimInstrument& in : market().instruments())
            if (type.isEmpty() || in.classLetter == type.at(0)) add(in);
    } else {
        broker::SearchCriteria criteria{term, std::nullopt};
        if (!type.isEmpty()) criteria.classLetter = type;
        for (const broker::Instrument& found : market().search(criteria))
            if (const broker::SimInstrument* in = market().find(found.wkn)) add(*in);
    }
    acceptor_->sendSecurityList(session, reqId, list);
}

void QuoteFeed::endSession(const std::string& session) {
    for (auto i = subscriptions_.begin(); i != subscriptions_.end();)
        i = i->first.first == session ? subscriptions_.erase(i) : std::next(i);
}

void QuoteFeed::marketLoggedOut() {
    log(QStringLiteral(
        "Die Kursquelle hat die Sitzung beendet; alle Gegenstellen werden abgemeldet"));
    subscriptions_.clear();
    std::set<std::string> sessions;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        sessions = loggedOn_;
    }
    for (const std::string& session : sessions)
        acceptor_->logout(session, "Die Kursquelle hat die Sitzung beendet.");
}

std::optional<QuoteFeedOptions> parseVqsfeedArguments(const QStringList& args, QTextStream& err) {
    const QString usage = QStringLiteral(
        "Aufruf: vqsfeed --port PORT [--user NAME --password-file DATEI] [--comp-id ID]\n"
        "                [--client-id ID ...] [--store-dir VERZ]\n"
        "                [--tls-cert DATEI --tls-key DATEI]\n");
    QuoteFeedOptions options;
    options.storeDir = QDir::homePath() + QStringLiteral("/.local/state/vqsfeed");
    QString passwordFile;
    bool clientIdsGiven = false;
    bool portGiven = false;
    for (int i = 0; i < args.size(); ++i) {
        const QString& arg = args[i];
        if (arg == QLatin1String("--help") || arg == QLatin1String("-h")) {
            err << usage;
            return std::nullopt;
        }
        if (i + 1 >= args.size()) {
            err << "Unbekannte oder unvollständige Angabe: " << arg << "\n" << usage;
            return std::nullopt;
        }
        const QString value = args[++i];
        if (arg == QLatin1String("--port")) {
            bool ok = false;
            options.port = value.toInt(&ok);
            portGiven = true;
            if (!ok || options.port < 0 || options.port > 65535) {
                err << "Ungültiger Port: " << value << "\n";
                return std::nullopt;
            }
        } else if (arg == QLatin1String("--user")) {
            options.user = value;
        } else if (arg == QLatin1String("--password-file")) {
            passwordFile = value;
        } else if (arg == QLatin1String("--comp-id")) {
            options.compId = value;
        } else if (arg == QLatin1String("--client-id")) {
            if (!clientIdsGiven) options.clientCompIds.clear();
            clientIdsGiven = true;
            options.clientCompIds.push_back(value);
        } else if (arg == QLatin1String("--store-dir")) {
            options.storeDir = value;
        } else if (arg == QLatin1String("--tls-cert")) {
            options.tlsCert = value;
        } else if (arg == QLatin1String("--tls-key")) {
            options.tlsKey = value;
        } else {
            err << "Unbekannte Angabe: " << arg << "\n" << usage;
            return std::nullopt;
        }
    }
    if (!portGiven) {
        err << "Es wurde kein Port angegeben.\n" << usage;
        return std::nullopt;
    }
    if (options.user.isEmpty() != passwordFile.isEmpty()) {
        err << "--user und --password-file gehören zusammen.\n" << usage;
        return std::nullopt;
    }
    if (options.tlsCert.isEmpty() != options.tlsKey.isEmpty()) {
        err << "--tls-cert und --tls-key gehören zusammen.\n" << usage;
        return std::nullopt;
    }
    if (!passwordFile.isEmpty()) {
        Result<QString> password = readPassword(passwordFile);
        if (!password) {
            err << password.error().text << "\n";
            return std::nullopt;
        }
        options.password = std::move(password).value();
    }
    return options;
}

int runVqsfeed(const QStringList& args) {
    QTextStream err(stderr);
    auto log = [&err](const QString& line) {
        err << QDateTime::currentDateTime().toString(QStringLiteral("yyyy-MM-dd HH:mm:ss ")) << line
            << Qt::endl;
    };
    const std::optional<QuoteFeedOptions> options = parseVqsfeedArguments(args, err);
    if (!options) {
        err.flush();
        return 2;
    }
    SystemClock clock;
    QuoteFeed feed(*options, broker::SimulationSettings::fromEnvironment(), clock, log);
    QObject* loop = QCoreApplication::instance();
    feed.setWake([&feed, loop] {
        QMetaObject::invokeMethod(
            loop, [&feed] { feed.pump(); }, Qt::QueuedConnection);
    });
    try {
        feed.start();
    } catch (const VqsError& e) {
        log(QStringLiteral("Start fehlgeschlagen: %1").arg(e.message()));
        return 1;
    }
    log(QStringLiteral("vqsfeed auf Port %1 (%2, Gegenstellen: %3%4)")
            .arg(feed.port())
            .arg(options->compId, options->clientCompIds.join(QStringLiteral(", ")),
                 options->tlsCert.isEmpty() ? QString() : QStringLiteral(", TLS")));
    QTimer timer;
    QObject::connect(&timer, &QTimer::timeout, [&feed] { feed.pump(); });
    timer.start(100);
    ShutdownSignals signals([&](int) { QCoreApplication::quit(); });
    const int rc = QCoreApplication::exec();
    timer.stop();
    feed.stop();
    log(QStringLiteral("vqsfeed beendet"));
    return rc;
}

}  // namespace vqs
