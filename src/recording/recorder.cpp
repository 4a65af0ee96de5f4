#include "recording/recorder.h"

#include "recording/connection_watchdog.h"

#include "common/number_text.h"

#include <algorithm>
#include <cmath>

#include <QDir>
#include <QStorageInfo>
#include <QTextStream>
#include <QTimer>

namespace vqs {
namespace {

constexpr int kPathAccessError = 75;
constexpr qint64 kMinFreeKilobytes = 20000;

// Without a window, a message goes to the error stream and counts as unanswered.
class StderrMessages final : public MessagePresenter {
public:
    int ShowMessage(const QString& text, int /*style*/) override {
        QTextStream(stderr) << text << Qt::endl;
        return msg::kResultNone;
    }
};

StderrMessages gStderrMessages;
EventLoopPort gNoLoop;

QString volumeName(const QString& path) {
#ifdef _WIN32
    return QDir::toNativeSeparators(path).left(2);  // "C:"
#else
    return QStorageInfo(path).rootPath();
#endif
}

}  // namespace

std::optional<qint64> storageFreeKilobytes(const QString& path) {
    const QStorageInfo info(path);
    if (!info.isValid() || !info.isReady()) return std::nullopt;
    return info.bytesAvailable() / 1024;
}

Recorder::Recorder(QString programFolder, SettingsStore& settings, const Clock& clock,
                   BrokerSessionFactory brokerFactory, FileSystem& fs)
    : programFolder_(std::move(programFolder)),
      settings_(settings),
      clock_(clock),
      messages_(&gStderrMessages),
      loop_(&gNoLoop),
      session_(std::move(brokerFactory), [this]() -> MessagePresenter& { return *messages_; }),
      store_(fs),
      definitionsFile_(
          programFolder_ + QLatin1Char('/') + QLatin1String(TitelDefinitionenDatei::kFileName),
          clock, fs),
      titles_(session_, *this, clock) {
    store_.setListener(this);
    titles_.setChangeListener([this] { Q_EMIT titlesChanged(); });
    connection_ = std::make_unique<ConnectionWatchdog>(session_, titles_, store_, datenpflege_,
                                                       clock_, options_, *this);
    connect(connection_.get(), &ConnectionWatchdog::changed, this,
            [this] { Q_EMIT sessionStateChanged(session_.Status()); });
}

Recorder::~Recorder() {
    shutdown();
    store_.setListener(nullptr);  // the store goes after the members that hear from it
}

void Recorder::setMessagePresenter(MessagePresenter* presenter) {
    messages_ = presenter ? presenter : &gStderrMessages;
}
void Recorder::setEventLoop(EventLoopPort* loop) { loop_ = loop ? loop : &gNoLoop; }

void Recorder::readOptions() {
    options_.UmsatzFilterBezahlt =
        switchIsOn(readSetting(settings_, settings::kUmsatzFilterBezahlt));
    options_.UmsatzFilterAndere = switchIsOn(readSetting(settings_, settings::kUmsatzFilterAndere));
    options_.AutoDatenpflege = switchIsOn(readSetting(settings_, settings::kAutoDatenpflege));
    options_.AutoWiederverbinden =
        switchIsOn(readSetting(settings_, settings::kAutoWiederverbinden));
    const double stille = leadingNumber(readSetting(settings_, settings::kStilleSekunden));
    options_.StilleSekunden =
        std::isfinite(stille) ? static_cast<int>(std::clamp(stille, 0.0, 86400.0)) : 120;
}

void Recorder::writeProgramFolder() {
    writeSetting(settings_, settings::kVqsPfad, QDir::toNativeSeparators(programFolder_));
}

void Recorder::prepareDataFolder() {
    QString datenpfad = readSetting(settings_, settings::kDatenpfad);
    if (datenpfad.isEmpty()) datenpfad = programFolder_ + QStringLiteral("/RealtimeData");
    if (!QDir(datenpfad).exists() && !QDir().mkdir(datenpfad)) {
        throw StartupError(
            QStringLiteral("Das Datenverzeichnis %1 kann nicht angelegt werden.").arg(datenpfad),
            kPathAccessError);
    }
    datenpfad_ = datenpfad;
    store_.setRoot(datenpfad_);
    // A rewrite that a crash cut short is undone before any tick is appended.
    for (const QString& path : store_.recoverJournals()) {
        Q_EMIT logLine(QStringLiteral("Unterbrochene Datenpflege rückgängig gemacht: %1")
                           .arg(QDir::toNativeSeparators(path)));
    }
    const auto& unrecovered = store_.unrecoveredJournals();
    for (auto it = unrecovered.begin(); it != unrecovered.end(); ++it) {
        warn(QStringLiteral("Unterbrochene Datenpflege kann nicht rückgängig gemacht werden, die "
                            "Datei nimmt keine Kurse an: %1: %2")
                 .arg(QDir::toNativeSeparators(it.key()), it.value().text));
    }
}

QStringList Recorder::volumesLowOnSpace(const FreeKilobytes& freeKilobytes) const {
    // The program's volume, and the data folder's: the recording lands there.
    QStringList low;
    for (const QString& path : {programFolder_, datenpfad_}) {
        if (path.isEmpty()) continue;
        const std::optional<qint64> free = freeKilobytes(path);
        const QString volume = volumeName(path);
        if (free && *free < kMinFreeKilobytes && !low.contains(volume)) low << volume;
    }
    return low;
}

bool Recorder::login() {
    const bool ok = session_.InitSession();
    if (ok) {
        Q_EMIT logLine(QStringLiteral("Bei der Bravolt-API angemeldet."));
        Q_EMIT sessionStateChanged(session_.Status());
    } else {
        Q_EMIT logLine(QStringLiteral("Die Anmeldung bei der Bravolt-API ist fehlgeschlagen."));
    }
    return ok;
}

void Recorder::loadDefinitions() {
    BusyGuard busy(*loop_);
    const TitelLoadResult result =
        definitionsFile_.load(titles_, session_.loggedIn() && !shuttingDown_, *this);
    titles_.announceChange();
    if (!result.problem.isEmpty()) {
        messages_->ShowMessage(
            QStringLiteral("Fehler beim Laden der Titeldefinitionen aufgetreten: ") +
                result.problem,
            msg::kOk);
    }
    if (!result.refused.isEmpty()) {
        messages_->ShowMessage(QStringLiteral("Die Bravolt-API kennt diese Titel nicht, sie "
                                              "werden nicht aufgezeichnet: %1")
                                   .arg(result.refused.join(QStringLiteral(", "))),
                               msg::kOk);
    }
    logRecording();
}

void Recorder::logRecording() {
    const TitelRegistry::Count count = titles_.countRecording();
    if (loggedRecording_ && loggedRecording_->aktiv == count.aktiv &&
        loggedRecording_->bidAsk == count.bidAsk)
        return;
    loggedRecording_ = count;
    Q_EMIT logLine(QStringLiteral("%1 Titel werden aufgezeichnet, %2 mit Geld/Brief.")
                       .arg(count.aktiv)
                       .arg(count.bidAsk));
}

bool Recorder::saveDefinitions() {
    if (shuttingDown_) return false;
    BusyGuard busy(*loop_);
    try {
        definitionsFile_.save(titles_.definitions());
        return true;
    } catch (const VqsError& e) {
        messages_->ShowMessage(
            QStringLiteral("Fehler beim Speichern der Titeldefinitionen aufgetreten: ") +
                e.message(),
            msg::kOk);
        return false;
    }
}

void Recorder::shutdown() {
    if (shuttingDown_) return;
    shuttingDown_ = true;
    // Every tick received so far goes into its file first; those the disk does not take are
    // named, with their files, as the last word on them.
    const qint64 failedBefore = queuedTicksFailed_;
    const QDeadlineTimer writing(kEndWritingMs);
    // A source with a queue of its own hands over what it has received first.
    std::int64_t undelivered = 0;
    runStep([&] {
        if (broker::BrokerSession* session = session_.SF())
            undelivered = session->deliverReceived(QDeadlineTimer(kEndDeliveringMs));
    });
    QStringList late;
    runStep([&] {
        if (!store_.flushQueued(writing)) late = store_.dropQueued();
    });
    if (undelivered > 0)
        log(QStringLiteral("Beim Beenden konnten %1 Kursmeldungen der Kursquelle nicht mehr "
                           "verarbeitet werden: die Aufzeichnung lag zurück.")
                .arg(undelivered));
    if (const qint64 failed = queuedTicksFailed_ - failedBefore; failed > 0) {
        QStringList where;
        for (auto it = store_.faults().begin(); it != store_.faults().end(); ++it)
            where << QDir::toNativeSeparators(it.key()) + QStringLiteral(" (") + it.value() +
                         QLatin1Char(')');
        for (const QString& path : late)
            where << QDir::toNativeSeparators(path) +
                         QStringLiteral(" (der Datenträger war zu langsam)");
        where.sort();
        constexpr qsizetype kNamed = 5;  // a full disk fails every file
        if (where.size() > kNamed) {
            const qsizetype more = where.size() - kNamed;
            where.resize(kNamed);
            where << QStringLiteral("%1 weitere").arg(more);
        }
        const QString what = failed == 1 ? QStringLiteral("konnte 1 Kurs")
                                         : QStringLiteral("konnten %1 Kurse").arg(failed);
        log(QStringLiteral("Beim Beenden %1 nicht geschrieben werden: %2")
                .arg(what, where.join(QStringLiteral(", "))));
    }
    datenpflege_.stop();
    connection_->end();
    const bool wasLoggedIn = session_.loggedIn();
    runStep([&] { titles_.releaseTitleObjects(); });
    runStep([&] { session_.CloseSession(); });
    if (wasLoggedIn) {
        Q_EMIT logLine(QStringLiteral("Von der Bravolt-API abgemeldet."));
        Q_EMIT sessionStateChanged(session_.Status());
    }
}

void Recorder::tick(const TitelId& id, Kursart kind, float kurs, float volume, double zeit) {
    const bool filter =
        kind == kBezahlt ? options_.UmsatzFilterBezahlt : options_.UmsatzFilterAndere;
    if (filter && volume == 0) return;
    const std::optional<TitelDef> def = titles_.find(id);
    if (!def) return;  // a title without definition has nowhere to go
    const KursSatz satz{completeTimestamp(zeit, clock_), kurs, volume};
    // The ticks of one turn of the event loop go into their files together at its end.
    if (store_.queue(id, *def, kind, satz, zeit) == Appended::kWritten)
        recorded(*def, kind, kurs, volume, zeit);
}

void Recorder::queuedTicksDone(const TitelDef& def, Kursart kind,
                               const std::vector<QueuedTick>& ticks, size_t written) {
    for (size_t i = 0; i < written; ++i)
        recorded(def, kind, ticks[i].satz.Kurs, ticks[i].satz.Volume, ticks[i].givenZeit);
    queuedTicksFailed_ += static_cast<qint64>(ticks.size() - written);
}

void Recorder::recorded(const TitelDef& def, Kursart kind, float kurs, float volume, double zeit) {
    kursanzahl_ += 1;
    Q_EMIT tickRecorded(def, kind, kurs, volume, zeit);
}

std::optional<KursSatz> Recorder::lastRecorded(const TitelDef& def, Kursart kind) {
    return store_.lastRecord(def, kind);
}

void Recorder::stoppedRecording(const TitelDef& def) { store_.endFaultsOf(def); }

void Recorder::quoteArrived(qint64 readyAtMs) {
    connection_->quoteArrived();
    if (readyAtMs > 0) {
        const qint64 now = clock_.msecsSinceEpoch();
        noteLag(now - readyAtMs, now);
    }
}

void Recorder::subscriptionRefused(const TitelId& id, const QString& reason) {
    const QString named = QStringLiteral("%1 (%2)").arg(id.text(), reason);
    if (refusedNamed_.contains(named)) return;
    refusedNamed_ << named;
    if (refusedUntold_.isEmpty())
        QTimer::singleShot(0, this, [this] {
            warn(QStringLiteral("Die Kursquelle nimmt diese Titel nicht an, sie werden nicht "
                                "aufgezeichnet: %1")
                     .arg(refusedUntold_.join(QStringLiteral(", "))));
            refusedUntold_.clear();
            titles_.announceChange();
        });
    refusedUntold_ << named;
}

std::optional<int> Recorder::lagSeconds() const {
    if (!lag_.behind) return std::nullopt;
    return static_cast<int>(lag_.shownSeconds);
}

void Recorder::noteLag(qint64 lagMs, qint64 nowMs) {
    // Behind from kLagShownMs on, caught up below a second: a lag near the threshold does not
    // flicker. Said when it begins (a warning), once a minute while it lasts, and when it ends.
    constexpr qint64 kCaughtUpMs = 1000, kRepeatMs = 60000;
    if (!lag_.behind) {
        if (lagMs < kLagShownMs) return;
        lag_ = {true, lagMs / 1000, lagMs, nowMs};
        warn(lagText(lag_.shownSeconds));
        Q_EMIT lagChanged();
        return;
    }
    if (lagMs < kCaughtUpMs) {
        lag_.behind = false;
        log(QStringLiteral("Rückstand aufgeholt (höchstens %1 s).").arg(lag_.mostMs / 1000));
        Q_EMIT lagChanged();
        return;
    }
    lag_.mostMs = std::max(lag_.mostMs, lagMs);
    if (nowMs - lag_.loggedAtMs >= kRepeatMs) {
        lag_.loggedAtMs = nowMs;
        log(QStringLiteral("Rückstand: %1 s.").arg(lagMs / 1000));
    }
    if (lagMs / 1000 != lag_.shownSeconds) {
        lag_.shownSeconds = lagMs / 1000;
        Q_EMIT lagChanged();
    }
}

void Recorder::failed(const QString& where, const QString& reason) {
    Q_EMIT logLine(
        QStringLiteral("Schreibfehler: %1: %2").arg(QDir::toNativeSeparators(where), reason));
    Q_EMIT writeFailed(where, reason);
}

void Recorder::faultEnded(const QString& where) {
    Q_EMIT logLine(
        QStringLiteral("Schreibfehler behoben: %1").arg(QDir::toNativeSeparators(where)));
    Q_EMIT writeFaultEnded(where);
}

void Recorder::journalSetAside(const QString& file, const QString& aside, const QString& reason) {
    // Told once, as a warning that stays until read: the journal is renamed and never found
    // again.
    warn(journalSetAsideText(file, aside, reason));
}

void Recorder::heldTickWritten(const TitelDef& def, Kursart kind, const KursSatz& satz) {
    recorded(def, kind, satz.Kurs, satz.Volume, satz.Zeit);
}

}  // namespace vqs
