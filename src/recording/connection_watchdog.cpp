#include "recording/connection_watchdog.h"

#include "broker/bravolt_session.h"
#include "common/serial_date.h"
#include "datafiles/data_file_store.h"
#include "datafiles/datei_kopf.h"
#include "recording/core_report.h"
#include "recording/datenpflege.h"
#include "recording/settings_store.h"
#include "titles/titel_registry.h"

#include <QCoreApplication>
#include <QEventLoop>
#include <QScopedValueRollback>

#include <algorithm>
#include <cmath>

namespace vqs {
namespace {

constexpr int kFirstDelaySeconds = 5;
constexpr int kMaxDelaySeconds = 300;

QString uhrzeit(const QDateTime& t) { return t.toString(QStringLiteral("HH:mm:ss")); }

// The fill after a login runs without a window and tells only its end (DatenpflegeRun logs it)
// and its errors, as warnings: a line per title and step would bury them. The user's clicks wait
// for its end: a run nobody asked for must not open windows inside itself.
class QuietFill final : public DatenpflegeProgress {
public:
    explicit QuietFill(CoreReport& report) : report_(report) {}
    void yield() override { QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents); }
    bool tellError(const QString& text) override {
        report_.warn(text);
        return true;
    }

private:
    CoreReport& report_;
};

}  // namespace

ConnectionWatchdog::ConnectionWatchdog(BravoltSession& session, TitelRegistry& titles,
                                       DataFileStore& store, DatenpflegeRun& datenpflege,
                                       const Clock& clock, const RecorderOptions& options,
                                       CoreReport& report)
    : session_(session),
      titles_(titles),
      store_(store),
      datenpflege_(datenpflege),
      clock_(clock),
      options_(options),
      report_(report) {
    timer_.setInterval(1000);
    connect(&timer_, &QTimer::timeout, this, &ConnectionWatchdog::poll);
    session_.setLossHandler([this](const QString& reason) {
        // Raised inside a broker call back: acted on from the event loop.
        if (state_.lost || !reportedLoss_.isEmpty()) return;
        reportedLoss_ = reason;
        QTimer::singleShot(0, this, &ConnectionWatchdog::poll);
    });
}

ConnectionWatchdog::~ConnectionWatchdog() { session_.setLossHandler({}); }

int ConnectionWatchdog::delaySeconds(int failed) {
    if (failed >= 6) return kMaxDelaySeconds;
    return std::min(kFirstDelaySeconds << failed, kMaxDelaySeconds);
}

void ConnectionWatchdog::start() {
    lastQuote_ = clock_.now();
    timer_.start();
}

void ConnectionWatchdog::stop() { timer_.stop(); }

void ConnectionWatchdog::startDisconnected(const QString& reason) {
    const QDateTime now = clock_.now();
    lose(reason, now, now);
    start();
}

void ConnectionWatchdog::poll() {
    if (busy_ || ended_) return;
    const QDateTime now = clock_.now();
    if (!state_.lost) {
        if (!reportedLoss_.isEmpty()) {
            lose(reportedLoss_, now, now);
            return;
        }
        if (gapSince_.isValid() && !datenpflege_.running()) {
            fillGap(gapSince_, gapUntil_);
            return;
        }
        if (quoteSeen_) {
            quoteSeen_ = false;
            quotesFlowed_ = true;
            lastQuote_ = now;
        }
        const int stille = options_.StilleSekunden;
        if (stille > 0 && quotesFlowed_ && titles_.countRecording().aktiv > 0 &&
            lastQuote_.msecsTo(now) >= stille * 1000LL) {
            lose(QStringLiteral("seit %1 s kein Kurs").arg(stille), lastQuote_, now);
        }
        return;
    }
    // The switch may have changed meanwhile.
    const bool wiederverbinden = options_.AutoWiederverbinden;
    if (wiederverbinden != state_.nextAttempt.isValid()) {
        state_.nextAttempt = wiederverbinden ? now.addSecs(delaySeconds(0)) : QDateTime();
        state_.attempts = 0;
        Q_EMIT changed();
    }
    if (state_.nextAttempt.isValid() && now >= state_.nextAttempt) attempt(now);
}

void ConnectionWatchdog::lose(QString reason, const QDateTime& since, const QDateTime& now) {
    state_ = {};
    state_.lost = true;
    state_.since = since;
    state_.reason = reason;
    reportedLoss_.clear();
    quoteSeen_ = quotesFlowed_ = false;
    const bool wiederverbinden = options_.AutoWiederverbinden;
    if (wiederverbinden) state_.nextAttempt = now.addSecs(delaySeconds(0));
    // The subscriptions died with the connection; new ones follow the next login.
    titles_.releaseTitleObjects();
    session_.dropSession();
    report_.log(
        QStringLiteral("Verbindung unterbrochen seit %1: %2. %3")
            .arg(uhrzeit(since), reason,
                 wiederverbinden
                     ? QStringLiteral("Neuer Versuch um %1.").arg(uhrzeit(state_.nextAttempt))
                     : QStringLiteral("Automatisches Wiederverbinden ist ausgeschaltet.")));
    titles_.announceChange();  // nothing is recorded now
    Q_EMIT changed();
}

void ConnectionWatchdog::attempt(const QDateTime& now) {
    Result<void> reconnected;
    {
        // The login blocks; whatever the loop runs meanwhile must not start another one.
        QScopedValueRollback<bool> busy(busy_, true);
        reconnected = session_.reconnect();
    }
    if (ended_) return;
    if (!reconnected) {
        QString error = reconnected.error().text;
        while (error.endsWith(QLatin1Char('.'))) error.chop(1);
        ++state_.attempts;
        state_.nextAttempt = now.addSecs(delaySeconds(state_.attempts));
        report_.log(
            QStringLiteral("Anmeldung fehlgeschlagen (Versuch %1): %2. Neuer Versuch um %3.")
                .arg(state_.attempts)
                .arg(error, uhrzeit(state_.nextAttempt)));
        Q_EMIT changed();
        return;
    }
    const State was = state_;
    state_ = {};
    reportedLoss_.clear();
    quoteSeen_ = quotesFlowed_ = false;
    lastQuote_ = now;
    const int titles = resubscribe();
    report_.log(QStringLiteral("Verbindung wiederhergestellt (unterbrochen seit %1), %2 Titel "
                               "werden wieder aufgezeichnet.")
                    .arg(uhrzeit(was.since))
                    .arg(titles));
    Q_EMIT changed();
    // A gap still waiting from before began earlier.
    fillGap(gapSince_.isValid() ? std::min(gapSince_, was.since) : was.since, now);
}

int ConnectionWatchdog::resubscribe() {
    TitelRegistry& registry = titles_;
    registry.releaseTitleObjects();
    int started = 0;
    QStringList refused;
    for (const TitelDef& def : registry.definitions().active()) {
        if (registry.startRecording(def))
            ++started;
        else
            refused << def.WKN;
    }
    if (!refused.isEmpty())
        report_.warn(QStringLiteral("Die Bravolt-API nimmt diese Titel nicht an, sie werden "
                                    "nicht aufgezeichnet: %1")
                         .arg(refused.join(QStringLiteral(", "))));
    registry.announceChange();
    return started;
}

void ConnectionWatchdog::fillGap(QDateTime since, QDateTime until) {
    QScopedValueRollback<bool> busy(busy_, true);
    gapSince_ = gapUntil_ = QDateTime();
    // The broker keeps the current day: a file that ends on an earlier day is filled from 00:00.
    const double today = serialFromDate(until.date());
    TitelRegistry& registry = titles_;
    std::vector<DatenpflegeTitel> fill;
    QStringList ohneGeldBrief;
    for (const TitelDef& def : registry.definitions().active()) {
        if (!registry.isRecording(def.id())) continue;
        double startzeit = 0;
        if (const std::optional<KursSatz> last = store_.lastRecord(def, kBezahlt);
            last && std::floor(last->Zeit) == today)
            startzeit = last->Zeit - today;
        fill.push_back({def, startzeit});
        if (def.UseBidAsk) ohneGeldBrief << def.Name;
    }
    if (fill.empty()) return;
    if (broker::BrokerSession* session = session_.SF(); session && !session->keepsHistory()) {
        report_.warn(QStringLiteral("Die Kursquelle hält keine Kurshistorie: die Kurse von %1 bis "
                                    "%2 fehlen für %3 Titel und bleiben aus.")
                         .arg(uhrzeit(since), uhrzeit(until))
                         .arg(fill.size()));
        return;
    }
    // Said first, so that the run's end stays the last line.
    if (!ohneGeldBrief.isEmpty())
        report_.warn(QStringLiteral("Geld und Brief fehlen von %1 bis %2 (die Bravolt-API hat "
                                    "keine Historie dafür): %3.")
                         .arg(uhrzeit(since), uhrzeit(until), ohneGeldBrief.join(", ")));
    QuietFill progress(report_);
    if (datenpflege_.run(fill, progress).started) return;
    gapSince_ = since;
    gapUntil_ = until;
    report_.log(QStringLiteral("Die Lücke wird gefüllt, sobald die laufende Datenpflege endet."));
}

}  // namespace vqs
