#pragma once

#include "broker/bravolt_session.h"
#include "common/error.h"
#include "common/serial_date.h"
#include "common/ui_ports.h"
#include "datafiles/data_file_store.h"
#include "recording/core_report.h"
#include "recording/datenpflege.h"
#include "recording/settings_store.h"
#include "titles/titel_definitionen_datei.h"
#include "titles/titel_registry.h"

#include <QDateTime>
#include <QObject>
#include <QString>
#include <QStringList>

#include <functional>
#include <memory>
#include <optional>
#include <vector>

namespace vqs {

class ConnectionWatchdog;

// A start-up step that cannot go on; the number is the one the start-up message shows.
class StartupError : public VqsError {
public:
    StartupError(const QString& message, int number) : VqsError(message), number_(number) {}
    int number() const { return number_; }

private:
    int number_;
};

// Free kilobytes of the volume of a path; none when it cannot be asked.
using FreeKilobytes = std::function<std::optional<qint64>(const QString& path)>;
std::optional<qint64> storageFreeKilobytes(const QString& path);

// The recording core of both programs (the desktop program and the headless recorder): it owns
// the session, the titles with their subscriptions, the data-file store, the options and the
// counter, runs the start-up steps that are not windows and the shutdown, and reports what
// happens as signals. Windows subscribe; nothing here knows a window.
class Recorder final : public QObject,
                       public CoreReport,
                       private TickSink,
                       private DataFileStoreListener,
                       private TitelLoadProgress {
    Q_OBJECT
public:
    Recorder(QString programFolder, SettingsStore& settings, const Clock& clock,
             BrokerSessionFactory brokerFactory, FileSystem& fs = systemFileSystem());
    ~Recorder() override;

    // Where questions and notices go (standard error until a window program sets its own), and
    // how long operations let the event loop breathe.
    void setMessagePresenter(MessagePresenter* presenter);
    MessagePresenter& messages() override { return *messages_; }
    void setEventLoop(EventLoopPort* loop);
    EventLoopPort& loop() { return *loop_; }

    // The start-up steps that are not windows, in their order.
    void readOptions();
    void writeProgramFolder();
    // The data folder of the settings (or "RealtimeData" in the program folder), created one
    // level deep when missing. Throws StartupError.
    void prepareDataFolder();
    // The volumes of the program folder and the data folder with less than 20 MB free, once each.
    QStringList volumesLowOnSpace(const FreeKilobytes& freeKilobytes) const;
    // Logs in; a failing login is reported ("Fehler beim Login aufgetreten: ").
    bool login();
    // Loads the definitions and subscribes the active titles (while logged in). A file that did
    // not load whole and titles the broker refused are reported once.
    void loadDefinitions();
    // Logs how many titles are recorded when that changed since it was last logged (the load
    // logs it first; the windows after their dialogs changed titles).
    void logRecording();
    // Saves the definitions; a failure is reported. Once shutdown has begun nothing is saved.
    bool saveDefinitions();
    // Ends every subscription and logs out. Nothing is recorded or saved afterwards; the
    // definitions stay as they are. Runs once.
    void shutdown();
    bool shuttingDown() const { return shuttingDown_; }

    const QString& programFolder() const { return programFolder_; }
    QString definitionsFilePath() const { return definitionsFile_.path(); }
    const QString& datenpfad() const { return datenpfad_; }
    RecorderOptions& options() { return options_; }
    SettingsStore& settings() { return settings_; }
    const Clock& clock() const { return clock_; }
    BravoltSession& session() { return session_; }
    TitelRegistry& titles() { return titles_; }
    const TitelRegistry& titles() const { return titles_; }
    DataFileStore& store() { return store_; }
    // The back-fill: one run at a time, for both the windows and start-up.
    DatenpflegeRun& datenpflege() { return datenpflege_; }
    // Ticks that reached their file since start.
    double kursanzahl() const { return kursanzahl_; }
    // A line for the log (what the core does on its own is logged by it).
    void log(const QString& text) override { Q_EMIT logLine(text); }
    // A line for the log that the user must not miss (data that could not be filled or is
    // missing): the windows keep it in view until the user has read it.
    void warn(const QString& text) override {
        if (warnings_.size() < kWarningsKept) warnings_.push_back({clock_.now(), text});
        Q_EMIT logLine(text);
        Q_EMIT warningLine(text);
    }
    // The warnings so far (the first hundred), for a window that opens after some came: those of
    // the start-up come before any window.
    struct Warning {
        QDateTime at;
        QString text;
    };
    const std::vector<Warning>& warnings() const { return warnings_; }
    // How far the recording is behind the quotes (the age of the last quote when it was taken),
    // in whole seconds, while that is past kLagShownMs; none while it keeps up.
    std::optional<int> lagSeconds() const;
    static constexpr qint64 kLagShownMs = 5000;
    static QString lagText(qint64 seconds) {
        return QStringLiteral("Rückstand: %1 s – die Aufzeichnung kommt den Kursen nicht nach.")
            .arg(seconds);
    }
    // Notices a lost connection and logs in again; the programs start it after their login.
    ConnectionWatchdog& connection() { return *connection_; }
    const ConnectionWatchdog& connection() const { return *connection_; }

Q_SIGNALS:
    // A tick reached its file (zeit as the broker gave it, possibly a time of day only).
    void tickRecorded(const vqs::TitelDef& def, vqs::Kursart kind, float kurs, float volume,
                      double zeit);
    // Writing to `where` fails for `reason`; told once until it ends.
    void writeFailed(const QString& where, const QString& reason);
    void writeFaultEnded(const QString& where);
    void sessionStateChanged(int status);
    // lagSeconds() changed.
    void lagChanged();
    void titlesChanged();
    // One line per event worth knowing, for a log.
    void logLine(const QString& text);
    // The line just logged is a warning (see warn()).
    void warningLine(const QString& text);
    // Start-up status and loading progress.
    void startInfo(const QString& text);
    void loadProgressMaximum(int maximum);
    void loadProgress(int value);

private:
    // TickSink
    void tick(const TitelId& id, Kursart kind, float kurs, float volume, double zeit) override;
    std::optional<KursSatz> lastRecorded(const TitelDef& def, Kursart kind) override;
    void stoppedRecording(const TitelDef& def) override;
    void quoteArrived(qint64 readyAtMs) override;
    void subscriptionRefused(const TitelId& id, const QString& reason) override;
    // DataFileStoreListener
    void failed(const QString& where, const QString& reason) override;
    void faultEnded(const QString& where) override;
    void heldTickWritten(const TitelDef& def, Kursart kind, const KursSatz& satz) override;
    void queuedTicksDone(const TitelDef& def, Kursart kind, const std::vector<QueuedTick>& ticks,
                         size_t written) override;
    void journalSetAside(const QString& file, const QString& aside, const QString& reason) override;
    // TitelLoadProgress
    void status(const QString& text) override { Q_EMIT startInfo(text); }
    void progressMaximum(int maximum) override { Q_EMIT loadProgressMaximum(maximum); }
    void progress(int value) override { Q_EMIT loadProgress(value); }
    void yield() override { loop_->yield(); }

    QString programFolder_;
    SettingsStore& settings_;
    const Clock& clock_;
    MessagePresenter* messages_;
    EventLoopPort* loop_;
    RecorderOptions options_;
    QString datenpfad_;
    BravoltSession session_;
    DataFileStore store_;
    TitelDefinitionenDatei definitionsFile_;
    DatenpflegeRun datenpflege_{session_, store_, clock_, options_, *this};
    double kursanzahl_ = 0;
    // Queued ticks the store could not write.
    qint64 queuedTicksFailed_ = 0;
    // What the end may spend on writing the ticks still queued (a slow disk): the rest is named.
    static constexpr int kEndWritingMs = 2500;
    // Of that, what a quote source still holds is handed over for at most this long.
    static constexpr int kEndDeliveringMs = 1000;
    void recorded(const TitelDef& def, Kursart kind, float kurs, float volume, double zeit);
    static constexpr size_t kWarningsKept = 100;
    std::vector<Warning> warnings_;
    std::optional<TitelRegistry::Count> loggedRecording_;
    // The recording's lag behind the quote source (see lagSeconds()).
    struct Lag {
        bool behind = false;
        qint64 shownSeconds = 0;
        qint64 mostMs = 0;
        qint64 loggedAtMs = 0;
    } lag_;
    // Titles the quote source refused after subscribing: named once per run, those of one turn
    // of the event loop in one warning.
    QStringList refusedNamed_;
    QStringList refusedUntold_;
    void noteLag(qint64 lagMs, qint64 nowMs);
    bool shuttingDown_ = false;
    // Declared late, so that the title objects, which hold subscriptions of the session and
    // write through the store, go first.
    TitelRegistry titles_;
    std::unique_ptr<ConnectionWatchdog> connection_;
};

}  // namespace vqs
