#include "gui/programm.h"

#include "gui/shell/start_delay_window.h"
#include "broker/simulated_broker.h"
#include "titles/titel_objekt.h"
#include "common/number_text.h"
#include "gui/shell/app_icon.h"
#include "gui/shell/main_window.h"
#include "gui/shell/qt_tray_shell.h"
#include "gui/shell/small_dialogs.h"
#include "gui/titles/titel_auswahl_dialog.h"

#include <QCoreApplication>
#include <QDir>
#include <QEventLoop>
#include <QLabel>
#include <QProgressBar>
#include <QStandardPaths>
#include <QStorageInfo>
#include <QTimer>

#include <cmath>

namespace vqs {
namespace {

// A start-up failure with the number the message shows.
class StartupError : public VqsError {
public:
    StartupError(const QString& message, int number) : VqsError(message), number_(number) {}
    int number() const { return number_; }

private:
    int number_;
};

constexpr int kPathAccessError = 75;
constexpr qint64 kMinFreeKilobytes = 20000;

std::optional<qint64> storageFreeKilobytes(const QString& path) {
    const QStorageInfo info(path);
    if (!info.isValid() || !info.isReady()) return std::nullopt;
    return info.bytesAvailable() / 1024;
}

QString volumeName(const QString& path) {
#ifdef _WIN32
    return QDir::toNativeSeparators(path).left(2);  // "C:"
#else
    return QStorageInfo(path).rootPath();
#endif
}

QString defaultLockPath() {
    QString dir = QStandardPaths::writableLocation(QStandardPaths::RuntimeLocation);
    if (dir.isEmpty()) dir = QDir::tempPath();
    return dir + QStringLiteral("/TradomirVQS.lock");
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

Programm::Programm(ProgramEnvironment env) : env_(std::move(env)) {
    if (!env_.settings) {
        ownSettings_ = std::make_unique<SettingsStore>(
            SettingsStore::defaultRoot(),
            QFileInfo(QCoreApplication::applicationFilePath()).completeBaseName());
        env_.settings = ownSettings_.get();
    }
    if (!env_.clock) {
        ownClock_ = std::make_unique<SystemClock>();
        env_.clock = ownClock_.get();
    }
    if (!env_.brokerFactory) {
        simulated_ = std::make_unique<broker::SimulatedBroker>(
            broker::SimulationSettings::fromEnvironment(), *env_.clock);
        env_.brokerFactory = [this] { return simulated_->createSession(); };
    }
    if (!env_.freeKilobytes) env_.freeKilobytes = storageFreeKilobytes;
    if (env_.instanceLockPath.isEmpty()) env_.instanceLockPath = defaultLockPath();
    if (!env_.waitABit) {
        env_.waitABit = [] {
            // Wakes at least four times a second: the countdown moves in quarter seconds.
            QTimer tick;
            tick.start(250);
            QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
        };
    }
    ctx_ = std::make_unique<AppContext>(env_.programFolder, *env_.settings, *env_.clock,
                                        env_.brokerFactory);
    ctx_->setMessagePresenter(env_.messages ? env_.messages : &dialogMessages_);
    ctx_->setEventLoop(&loop_);
}

Programm::~Programm() = default;

bool Programm::Main() {
    try {
        // Single instance: a second start says so and ends; the first runs on untouched.
        instanceLock_ = std::make_unique<QLockFile>(env_.instanceLockPath);
        instanceLock_->setStaleLockTime(0);  // only a dead owner frees the lock
        if (!instanceLock_->tryLock(0)) {
            instanceLock_.reset();
            ctx_->messages().ShowMessage(
                QStringLiteral("Tradomir VQS für Bravolt wurde bereits gestartet!"), msg::kOk);
            return false;
        }
        mainSteps();
        return window_ != nullptr;
    } catch (const std::exception& e) {
        const auto* startup = dynamic_cast<const StartupError*>(&e);
        const auto* vqs = dynamic_cast<const VqsError*>(&e);
        ctx_->messages().ShowMessage(
            QStringLiteral("Fehler beim Starten aufgetreten: ") +
                (vqs ? vqs->message() : QString::fromLocal8Bit(e.what())) +
                QStringLiteral(" (Fehler %1)").arg(startup ? startup->number() : 0) +
                QStringLiteral("\nPrüfen Sie bitte, ob die API von Quesna Bravolt korrekt "
                               "installiert ist."),
            msg::kOk);
        window_.reset();
        return false;
    }
}

void Programm::mainSteps() {
    AppContext& ctx = *ctx_;
    SettingsStore& settings = ctx.settings();

    ctx.options.UmsatzFilterBezahlt =
        switchIsOn(readSetting(settings, settings::UmsatzFilterBezahlt));
    ctx.options.UmsatzFilterAndere =
        switchIsOn(readSetting(settings, settings::UmsatzFilterAndere));
    ctx.options.AutoDatenpflege = switchIsOn(readSetting(settings, settings::AutoDatenpflege));

    if (leadingNumber(readSetting(settings, settings::VersionsHinweis)) == 0) {
        frmStartHinweis hinweis;
        hinweis.exec();
        if (hinweis.nichtMehrAnzeigen()) writeSetting(settings, settings::VersionsHinweis, "1");
        if (hinweis.tag().isEmpty()) return;  // not confirmed: the program ends
    }

    writeSetting(settings, settings::VQSPfad, QDir::toNativeSeparators(ctx.programFolder()));

    QString datenpfad = readSetting(settings, settings::Datenpfad);
    if (datenpfad.isEmpty()) datenpfad = ctx.programFolder() + QStringLiteral("/RealtimeData");
    if (!QDir(datenpfad).exists() && !QDir().mkdir(datenpfad)) {
        throw StartupError(
            QStringLiteral("Das Datenverzeichnis %1 kann nicht angelegt werden.").arg(datenpfad),
            kPathAccessError);
    }
    ctx.Datenpfad = datenpfad;
    ctx.DateninspektorPfad = datenpfad;

    warnAboutFreeSpace(datenpfad);

    const double delay = startDelaySeconds(env_.commandLine);
    if (delay >= 1) delayStart(delay);

    ctx.options.OhneRueckfrage = quitWithoutQuestion(env_.commandLine);

    window_ = std::make_unique<Bravolt_Hauptfenster>(ctx);
    dialogMessages_.setMainWindow(window_.get());
    ctx.setMainWindow(window_.get());
    window_->setEnabled(false);
    window_->show();
    ctx.loop().yield();

    if (!ctx.Session().InitSession()) {
        const int answer = ctx.messages().ShowMessage(
            QStringLiteral("Soll Tradomir VQS jetzt dennoch ohne Datenverbindung gestartet werden "
                           "(dies ist nur sinnvoll, wenn Sie aufgezeichnete Daten mit dem "
                           "Dateninspektor bearbeiten möchten)?"),
            msg::kYesNo);
        if (answer == msg::kResultNein) {
            window_.reset();
            return;
        }
    }
    if (simulated_) simulated_->start();

    SubscribeActiveTitles subscriber(ctx);
    LoadTitelDefinitionen(ctx, subscriber);

    window_->openTitelauswahl = [this] {
        frmTitelauswahl dialog(*ctx_, window_.get());
        dialog.exec();
    };
    window_->finishStartup(ctx.Datenpfad);
    TrayShell* shell = env_.trayShell;
    bool available = env_.trayAvailable;
    if (!shell) {
        auto qtShell = std::make_unique<QtTrayShell>(programIcon());
        available = qtShell->available();
        qtShell->setCallback([this](std::uint32_t code) {
            if (window_ && window_->sysTray()) window_->sysTray()->handleCallback(code);
        });
        ownTray_ = std::move(qtShell);
        shell = ownTray_.get();
    }
    window_->InitSysTray(*shell, available, 0x0106);  // an NT 6 system: UTF-16 and balloons

    if (ctx.options.AutoDatenpflege) StartAutoDatenpflege();
}

void Programm::StartAutoDatenpflege() {
    // The back-fill of all active titles at start; the switch is read and kept meanwhile.
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
        if (!window.tag().isEmpty()) break;
    } while (seconds >= elapsed());
}

void Programm::warnAboutFreeSpace(const QString& datenpfad) {
    // The program's volume, and the data folder's: the recording lands there.
    QStringList warned;
    for (const QString& path : {ctx_->programFolder(), datenpfad}) {
        const std::optional<qint64> free = env_.freeKilobytes(path);
        const QString volume = volumeName(path);
        if (!free || *free >= kMinFreeKilobytes || warned.contains(volume)) continue;
        warned << volume;
        ctx_->messages().ShowMessage(
            QStringLiteral("Warnung: der verwendete Datenträger (Laufwerk ") + volume +
                QStringLiteral(") hat weniger als 20 MB freien Speichernplatz! Sorgen Sie wenn "
                               "möglich für mehr freien Speicherplatz auf dem Laufwerk, um einen "
                               "sicheren Betrieb von Tradomir VQS zu gewährleisten."),
            msg::kOk);
    }
}

}  // namespace vqs
