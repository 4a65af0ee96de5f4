#include "tools/vqsrecorder.h"

#include "broker/simulated_broker.h"
#include "recording/connection_watchdog.h"
#include "recording/datenpflege.h"
#include "recording/shutdown_signals.h"
#include "recording/startup_steps.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QFileInfo>
#include <QTimer>

namespace vqs {
namespace {

// The desktop program's name: its settings file is the recorder's too.
const QString kDesktopProgram = QStringLiteral("TradomirVQS");

// Notices go to the log; questions are not asked (no answer).
class LogMessages final : public MessagePresenter {
public:
    explicit LogMessages(std::function<void(const QString&)> log) : log_(std::move(log)) {}
    int ShowMessage(const QString& text, int /*style*/) override {
        log_(text);
        return msg::kResultNone;
    }

private:
    std::function<void(const QString&)> log_;
};

}  // namespace

HeadlessRecorder::HeadlessRecorder(HeadlessEnvironment env)
    : env_(std::move(env)), defaults_(env_, kDesktopProgram) {
    if (!env_.log) {
        ownLog_ = std::make_unique<QTextStream>(stderr);
        env_.log = ownLog_.get();
    }
    logMessages_ = std::make_unique<LogMessages>([this](const QString& text) { log(text); });
    recorder_ = std::make_unique<Recorder>(env_.programFolder, *env_.settings, *env_.clock,
                                           env_.brokerFactory);
    recorder_->setMessagePresenter(logMessages_.get());
    QObject::connect(recorder_.get(), &Recorder::logLine, recorder_.get(),
                     [this](const QString& text) { log(text); });
}

HeadlessRecorder::~HeadlessRecorder() {
    signals_.reset();
    recorder_.reset();
}

void HeadlessRecorder::log(const QString& text) {
    *env_.log << QDateTime::currentDateTime().toString(QStringLiteral("yyyy-MM-dd HH:mm:ss "))
              << text << Qt::endl;
}

std::optional<int> HeadlessRecorder::start() {
    instanceLock_ = std::make_unique<InstanceLock>(
        env_.instanceLockPath,
        QFileInfo(QCoreApplication::applicationFilePath()).completeBaseName(), env_.programFolder);
    if (!instanceLock_->tryLock()) {
        const std::optional<InstanceOwner> owner = instanceLock_->owner();
        instanceLock_.reset();
        // One line, as every line of the log.
        log(alreadyStartedMessage(owner).replace(QLatin1Char('\n'), QLatin1Char(' ')));
        return 1;
    }
    signals_ = std::make_unique<ShutdownSignals>([this](int) { stop(); });
    // What only the log shows; without a connection there is nothing to record.
    struct LogHooks final : StartupHooks {
        HeadlessRecorder& self;
        explicit LogHooks(HeadlessRecorder& s) : self(s) {}
        void dataFolderReady() override {
            self.log(QStringLiteral("Aufzeichnung in %1").arg(self.recorder_->datenpfad()));
        }
        void lowOnSpace(const QString& volume) override {
            self.log(QStringLiteral("Warnung: %1 hat weniger als 20 MB freien Speicherplatz.")
                         .arg(volume));
        }
    } hooks(*this);
    try {
        if (runStartup(*recorder_, hooks, defaults_.simulatedBroker(), env_.freeKilobytes) ==
            StartupOutcome::kEnded)
            return 1;
    } catch (const StartupError& e) {
        log(QStringLiteral("Fehler beim Starten aufgetreten: %1 (Fehler %2)")
                .arg(e.message())
                .arg(e.number()));
        return 1;
    }
    // Run by the event loop, so that a signal meanwhile ends it like any other.
    if (recorder_->options().AutoDatenpflege)
        QTimer::singleShot(0, recorder_.get(), [this] { startAutoDatenpflege(); });
    return std::nullopt;
}

void HeadlessRecorder::startAutoDatenpflege() {
    const std::vector<TitelDef> titles = aktiveTitel(recorder_->titles());
    if (titles.empty()) return;
    LogProgress progress([this](const QString& text) { log(text); });
    recorder_->datenpflege().run(titles, 0, progress);
}

void HeadlessRecorder::stop() {
    recorder_->shutdown();
    if (broker::SimulatedBroker* simulated = defaults_.simulatedBroker()) simulated->stop();
    QCoreApplication::exit(0);
}

}  // namespace vqs
