#pragma once

#include "recording/recorder.h"

#include <QString>

namespace vqs {

namespace broker {
class SimulatedBroker;
}

// What a recording program does between the start-up steps that both programs take: the desktop
// program shows its hint, its window and its questions, the headless recorder writes its log.
class StartupHooks {
public:
    virtual ~StartupHooks() = default;
    // The options are read; false ends the start.
    virtual bool optionsRead() { return true; }
    // The data folder is there.
    virtual void dataFolderReady() {}
    // A volume of the program or data folder has less than 20 MB free.
    virtual void lowOnSpace(const QString& volume) = 0;
    // Before the login; false ends the start.
    virtual bool beforeLogin() { return true; }
    // The login failed (and was reported); true goes on without a connection.
    virtual bool goOnWithoutConnection() { return false; }
    // Asked after each step that may have let the event loop run: an end asked for meanwhile.
    virtual bool endRequested() { return false; }
};

enum class StartupOutcome { kRecording, kWithoutConnection, kEnded };

// The start-up steps of both recording programs, in their order: options, program folder, data
// folder (StartupError when it cannot be made), free space, login, the simulated broker's quotes
// (when it is the broker), definitions and subscriptions, the connection watchdog.
StartupOutcome runStartup(Recorder& recorder, StartupHooks& hooks,
                          broker::SimulatedBroker* simulated, const FreeKilobytes& freeKilobytes);

}  // namespace vqs
