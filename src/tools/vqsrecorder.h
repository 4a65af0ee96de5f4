#pragma once

#include "recording/instance_lock.h"
#include "recording/program_environment.h"
#include "recording/recorder.h"

#include <QString>
#include <QTextStream>

#include <memory>
#include <optional>

namespace vqs {

class ShutdownSignals;

// The headless recorder's environment: besides the recording program's, where its log goes.
struct HeadlessEnvironment : RecorderEnvironment {
    QTextStream* log = nullptr;  // none: standard error
};

// "vqsrecorder": the recording of the desktop program without any window. Same home folder,
// settings, definitions and data folder, same single-instance lock; one log line per event worth
// knowing; SIGTERM, SIGINT and SIGHUP run the normal shutdown.
class HeadlessRecorder {
public:
    explicit HeadlessRecorder(HeadlessEnvironment env);
    ~HeadlessRecorder();
    HeadlessRecorder(const HeadlessRecorder&) = delete;
    HeadlessRecorder& operator=(const HeadlessRecorder&) = delete;

    // Starts recording: none while it runs on (in the event loop), else the exit code (1:
    // another instance runs, the login failed, or start-up failed).
    std::optional<int> start();
    // The normal shutdown; the event loop then ends with exit code 0.
    void stop();
    // The back-fill of every active title from 00:00, its progress as log lines; start() has
    // the event loop run it when "AutoDatenpflege" is on.
    void startAutoDatenpflege();

    Recorder& recorder() { return *recorder_; }
    broker::SimulatedBroker* simulatedBroker() const { return defaults_.simulatedBroker(); }

private:
    void log(const QString& text);

    HeadlessEnvironment env_;
    MachineDefaults defaults_;
    std::unique_ptr<QTextStream> ownLog_;
    std::unique_ptr<MessagePresenter> logMessages_;
    std::unique_ptr<InstanceLock> instanceLock_;
    std::unique_ptr<Recorder> recorder_;
    std::unique_ptr<ShutdownSignals> signals_;
};

}  // namespace vqs
