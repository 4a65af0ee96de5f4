#include "gui/programm.h"

#include "broker/simulated_broker.h"
#include "common/number_text.h"
#include "gui/backfill/datenpflege_fenster.h"
#include "gui/dateninspektor/dateninspektor.h"
#include "gui/dateninspektor/frm_plv_realtime_titel.h"
#include "gui/dateninspektor/ordner_baum.h"
#include "gui/shell/main_window.h"
#include "gui/shell/qt_tray_shell.h"
#include "gui/shell/small_dialogs.h"
#include "gui/shell/start_delay_window.h"
#include "gui/titles/titel_auswahl_dialog.h"
#include "gui/titles/titel_verwaltung_dialog.h"
#include "recording/connection_watchdog.h"
#include "recording/shutdown_signals.h"
#include "recording/startup_steps.h"

#include <QApplication>
#include <QCryptographicHash>
#include <QDialog>
#include <QDir>
#include <QEventLoop>
#include <QGuiApplication>
#include <QLabel>
#include <QLocalServer>
#include <QLocalSocket>
#include <QProgressBar>
#include <QSessionManager>
#include <QSystemTrayIcon>
#include <QTimer>

namespace vqs {
namespace {

// The name under which the running program listens for second starts: one per lock.
QString serverName(const QString& lockPath) {
    return QStringLiteral("TradomirVQS-") +
           QString::fromLatin1(QCryptographicHash::hash(lockPath.toUtf8(), QCryptographicHash::Sha1)
                                   .toHex()
                                   .left(16));
}

}  // namespace

double startDelaySeconds(const QString& commandLine) {
    const QString upper = commandLine.toUpper();
    const qsizetype at = upper.indexOf(QLatin1String("/W"));
    if (at < 0) return 0;
    double seconds = leadingNumber(QStringView(upper).mid(at + 2));
    if (seconds > 32000) seconds = 32000;
    return seconds < 1 ? 0 : seconds;
}

bool quitWithoutQuestion(const QString& commandLine) {
    return commandLine.toUpper().contains(QLatin1String("/K"));
}

Programm::Programm(ProgramEnvironment env)
    : env_(std::move(env)),
      defaults_(env_, QFileInfo(QCoreApplication::applicationFilePath()).completeBaseName()) {
    if (!env_.waitABit) {
        env_.waitABit = [] {
            // Wakes at least four times a second: the countdown moves in quarter seconds.
            QTimer tick;
            tick.start(250);
            QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
        };
    }
    recorder_ = std::make_unique<Recorder>(env_.programFolder, *env_.settings, *env_.clock,
                                           env_.brokerFactory);
    recorder_->setMessagePresenter(env_.messages ? env_.messages : &dialogMessages_);
    recorder_->setEventLoop(&loop_);
}

Programm::~Programm() {
    // The window goes first: it still shows the recorder's state while it closes.
    window_.reset();
    recorder_.reset();
}

bool Programm::Main() {
    starting_ = true;
    try {
        // Single instance: a second start brings the running program to the front, says so
        // and ends; the first runs on untouched.
        instanceLock_ = std::make_unique<InstanceLock>(
            env_.instanceLockPath,
            QFileInfo(QCoreApplication::applicationFilePath()).completeBaseName(),
            env_.programFolder);
        if (!instanceLock_->tryLock()) {
            const std::optional<InstanceOwner> owner = instanceLock_->owner();
            instanceLock_.reset();
            showRunningProgram();
            recorder_->messages().ShowMessage(alreadyStartedMessage(owner), msg::kOk);
            exitCode_ = 1;
            starting_ = false;
            return false;
        }
        listenForSecondStarts();
        // Told to end by the system or the desktop session: the same end as "Beenden" with /K.
        signals_ = std::make_unique<ShutdownSignals>([this](int) { endNow(); });
        if (auto* app = qobject_cast<QGuiApplication*>(QCoreApplication::instance())) {
            QObject::connect(app, &QGuiApplication::commitDataRequest, signals_.get(),
                             [this](QSessionManager&) { endNow(); });
        }
        QObject::connect(QCoreApplication::instance(), &QCoreApplication::aboutToQuit,
                         signals_.get(), [this] {
                             if (window_) window_->unload();
                         });
        mainSteps();
    } catch (const std::exception& e) {
        const auto* startup = dynamic_cast<const StartupError*>(&e);
        recorder_->messages().ShowMessage(
            QStringLiteral("Fehler beim Starten aufgetreten: ") + fehlerText(e) +
                QStringLiteral(" (Fehler %1)").arg(startup ? startup->number() : 0) +
                QStringLiteral("\nPrüfen Sie bitte, ob die API von Quesna Bravolt korrekt "
                               "installiert ist."),
            msg::kOk);
        exitCode_ = 1;
        window_.reset();
    }
    starting_ = false;
    if (window_ && endRequested()) {
        // Closed or told to end while starting: a clean end now.
        window_->setOhneRueckfrage(true);
        window_->setEndProgram(nullptr);
        window_->unload();
        window_.reset();
    }
    if (!window_) {
        recorder_->shutdown();
        return false;
    }
    // Run by the event loop, so that an end asked for meanwhile leaves it like any other.
    if (recorder_->options().AutoDatenpflege)
        QTimer::singleShot(0, window_.get(), [this] { StartAutoDatenpflege(); });
    return true;
}

bool Programm::endRequested() { return endRequested_; }

void Programm::endNow() {
    endRequested_ = true;
    if (starting_) {
        // Start-up stops at its next step; a question it is waiting on goes unanswered.
        for (QWidget* w : QApplication::topLevelWidgets()) {
            if (auto* dialog = qobject_cast<QDialog*>(w); dialog && dialog->isVisible())
                dialog->reject();
        }
        return;
    }
    if (!window_) return;
    window_->setOhneRueckfrage(true);
    window_->unload();
    window_->close();
}

void Programm::mainSteps() {
    Recorder& recorder = *recorder_;
    // Where the desktop program differs: the hint of its first start, the delay, its window
    // before the login and the question when the login failed.
    struct WindowHooks final : StartupHooks {
        Programm& self;
        explicit WindowHooks(Programm& p) : self(p) {}
        bool optionsRead() override {
            SettingsStore& settings = *self.env_.settings;
            if (leadingNumber(readSetting(settings, settings::kVersionsHinweis)) != 0) return true;
            frmStartHinweis hinweis;
            const bool confirmed = hinweis.exec() == QDialog::Accepted;
            if (hinweis.nichtMehrAnzeigen())
                writeSetting(settings, settings::kVersionsHinweis, "1");
            return confirmed;  // not confirmed: the end
        }
        void lowOnSpace(const QString& volume) override {
            self.recorder_->messages().ShowMessage(
                QStringLiteral("Warnung: der verwendete Datenträger (Laufwerk ") + volume +
                    QStringLiteral(
                        ") hat weniger als 20 MB freien Speichernplatz! Sorgen Sie wenn "
                        "möglich für mehr freien Speicherplatz auf dem Laufwerk, um einen "
                        "sicheren Betrieb von Tradomir VQS zu gewährleisten."),
                msg::kOk);
        }
        bool beforeLogin() override {
            const double delay = startDelaySeconds(self.env_.commandLine);
            if (delay >= 1) self.delayStart(delay);
            if (self.endRequested()) return false;
            self.window_ = std::make_unique<Bravolt_Hauptfenster>(*self.recorder_);
            self.window_->setOhneRueckfrage(quitWithoutQuestion(self.env_.commandLine));
            self.window_->setCloseDuringStartup([programm = &self] { programm->endNow(); });
            self.dialogMessages_.setMainWindow(self.window_.get());
            self.window_->setEnabled(false);
            self.window_->show();
            self.recorder_->loop().yield();
            return true;
        }
        bool goOnWithoutConnection() override {
            const int answer = self.recorder_->messages().ShowMessage(
                QStringLiteral(
                    "Soll Tradomir VQS jetzt dennoch ohne Datenverbindung gestartet werden "
                    "(dies ist nur sinnvoll, wenn Sie aufgezeichnete Daten mit dem "
                    "Dateninspektor bearbeiten möchten)?"),
                msg::kYesNo);
            if (answer != msg::kResultNein) return true;
            self.window_.reset();
            return false;
        }
        bool endRequested() override { return self.endRequested(); }
    } hooks(*this);
    if (runStartup(recorder, hooks, defaults_.simulatedBroker(), env_.freeKilobytes) ==
        StartupOutcome::kEnded)
        return;

    window_->setOpenTitelauswahl([this] {
        frmTitelauswahl dialog(*recorder_, window_.get());
        dialog.exec();
    });
    window_->setOpenVerwaltung([this] {
        frmTitelverwaltung dialog(
            *recorder_,
            [this](const QString& path, QWidget* owner) { dateninspektor().open(path, owner); },
            window_.get());
        dialog.exec();
    });
    dateninspektorPfad_ = recorder.datenpfad();
    window_->setOpenDateninspektor([this] { DateninspektorOeffnen(); });
    window_->setMayQuit([this] { return !dateninspektor_ || dateninspektor_->closeAll(); });
    window_->finishStartup(recorder.datenpfad());
    TrayShell* shell = env_.trayShell;
    bool available = env_.trayAvailable;
    if (!shell) {
        auto qtShell = std::make_unique<QtTrayShell>();
        available = qtShell->available();
        QObject::connect(qtShell->trayIcon(), &QSystemTrayIcon::activated, qtShell.get(),
                         [this](QSystemTrayIcon::ActivationReason reason) {
                             if (window_ && window_->sysTray())
                                 window_->sysTray()->activated(reason);
                         });
        QObject::connect(qtShell->trayIcon(), &QSystemTrayIcon::messageClicked, qtShell.get(),
                         [this] {
                             if (window_ && window_->sysTray())
                                 window_->sysTray()->messageClicked();
                         });
        ownTray_ = std::move(qtShell);
        shell = ownTray_.get();
    }
    window_->InitSysTray(*shell, available);
}

Dateninspektor& Programm::dateninspektor() {
    if (!dateninspektor_) dateninspektor_ = std::make_unique<Dateninspektor>(recorder_->store());
    return *dateninspektor_;
}

void Programm::DateninspektorOeffnen() {
    try {
        FrmPLVRealtimeTitel dialog(recorder_->settings(), window_.get());
        dialog.Katalogliste()->setFolderPath(dateninspektorPfad_);
        if (dialog.exec() == QDialog::Accepted) {
            dateninspektorPfad_ = dialog.Katalogliste()->folderPath();
            // The row's own path: a name rebuilt from the header's code misses files named
            // the old way and codes cut to their field.
            const QStringList paths = dialog.selectedPaths();
            if (!paths.isEmpty()) dateninspektor().open(paths.front(), window_.get());
        }
    } catch (const std::exception& e) {
        recorder_->messages().ShowMessage(QStringLiteral("Fehler aufgetreten: ") + fehlerText(e),
                                          msg::kOk);
    }
    while (QGuiApplication::overrideCursor()) QGuiApplication::restoreOverrideCursor();
}

void Programm::StartAutoDatenpflege() {
    std::vector<TitelDef> titles = aktiveTitel(recorder_->titles());
    if (!titles.empty()) DatenpflegeAusfuehren(*recorder_, std::move(titles), 0, window_.get());
}

void Programm::delayStart(double seconds) {
    frmStartverzoegerung window;
    const int maximum = static_cast<int>(seconds * 4);
    window.Fortschritt()->setMaximum(maximum);
    window.Fortschritt()->setValue(maximum);
    window.Label1()->setText(
        QStringLiteral("Tradomir VQS erhielt mit dem Kommando /W eine Anweisung zur Verzögerung "
                       "des Starts um ") +
        QString::number(seconds) + QStringLiteral(" Sekunden. Bitte warten..."));
    window.show();
    // Measured on the full date and time, so that a delay across midnight ends as well.
    const double start = env_.clock->nowSerial() * 86400.0;
    auto elapsed = [&] { return env_.clock->nowSerial() * 86400.0 - start; };
    do {
        const double remaining = (seconds - elapsed()) * 4;
        if (remaining >= 0 && static_cast<int>(remaining) != window.Fortschritt()->value())
            window.Fortschritt()->setValue(static_cast<int>(remaining));
        env_.waitABit();
        if (window.abgebrochen() || endRequested()) break;
    } while (seconds >= elapsed());
}

void Programm::listenForSecondStarts() {
    const QString name = serverName(env_.instanceLockPath);
    QLocalServer::removeServer(name);  // what a killed run left
    secondStarts_ = std::make_unique<QLocalServer>();
    secondStarts_->setSocketOptions(QLocalServer::UserAccessOption);
    if (!secondStarts_->listen(name)) return;
    QObject::connect(secondStarts_.get(), &QLocalServer::newConnection, secondStarts_.get(),
                     [this] {
                         while (QLocalSocket* socket = secondStarts_->nextPendingConnection()) {
                             QObject::connect(socket, &QLocalSocket::disconnected, socket,
                                              &QLocalSocket::deleteLater);
                             if (window_ && !starting_) window_->showAndActivate();
                             socket->disconnectFromServer();
                         }
                     });
}

bool Programm::showRunningProgram() const {
    // The running program shows its window when the connection comes; no answer is awaited.
    QLocalSocket socket;
    socket.connectToServer(serverName(env_.instanceLockPath));
    if (!socket.waitForConnected(1000)) return false;
    socket.write("zeigen\n");
    return socket.waitForBytesWritten(1000);
}

}  // namespace vqs
