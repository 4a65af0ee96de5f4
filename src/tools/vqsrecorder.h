#pragma once

#include "app/instance_lock.h"
#include "app/recorder.h"

#include <QString>
#include <QTextStream>

#include <memory>
#include <optional>

namespace vqs {

namespace broker {
class SimulatedBroker;
}
class ShutdownSignals;

// What the headless recorder meets when it starts; tests give their own.
struct RecorderEnvironment {
    QString programFolder;
    SettingsStore* settings = nullptr;   // none: the desktop program's settings files
    const Clock* clock = nullptr;        // none: the computer's clock
    BrokerSessionFactory brokerFactory;  // none: the built-in simulated broker
    QString instanceLockPath;            // empty: the desktop program's lock
    FreeKilobytes freeKilobytes;         // none: the volume's own figure
    QTextStream* log = nullptr;          // none: standard error
};

// "vqsrecorder": the recording of the desktop program without any window. Same home folder,
// settings, definitions and data folder, same single-instance lock; one log line per event worth
// knowing; SIGTERM, SIGINT and SIGHUP run the normal shutdown.
class HeadlessRecorder {
public:
    explicit HeadlessRecorder(RecorderEnvironment env);
    ~HeadlessRecorder();
    HeadlessRecorder(const HeadlessRecorder&) = delete;
    HeadlessRecorder& operator=(const HeadlessRecorder&) = delete;

    // Starts recording: none while it runs on (in the event loop), else the exit code (1:
    // another instance runs, the login failed, or start-up failed).
    std::optional<int> start();
    // The normal shutdown; the event loop then ends with exit code 0.
    void stop();

    Recorder& recorder() { return *recorder_; }
    broker::SimulatedBroker* simulatedBroker() const { return simulated_.get(); }

private:
    void log(const QString& text);

    RecorderEnvironment env_;
    std::unique_ptr<QTextStream> ownLog_;
    std::unique_ptr<SettingsStore> ownSettings_;
    std::unique_ptr<Clock> ownClock_;
    std::unique_ptr<broker::SimulatedBroker> simulated_;
    std::unique_ptr<MessagePresenter> logMessages_;
    std::unique_ptr<InstanceLock> instanceLock_;
    std::unique_ptr<Recorder> recorder_;
    std::unique_ptr<ShutdownSignals> signals_;
};

}  // namespace vqs
