#include "recording/startup_steps.h"

#include "broker/simulated_broker.h"
#include "recording/connection_watchdog.h"

namespace vqs {

StartupOutcome runStartup(Recorder& recorder, StartupHooks& hooks,
                          broker::SimulatedBroker* simulated, const FreeKilobytes& freeKilobytes) {
    recorder.readOptions();
    if (!hooks.optionsRead() || hooks.endRequested()) return StartupOutcome::kEnded;
    recorder.writeProgramFolder();
    recorder.prepareDataFolder();
    hooks.dataFolderReady();
    for (const QString& volume : recorder.volumesLowOnSpace(freeKilobytes))
        hooks.lowOnSpace(volume);
    if (!hooks.beforeLogin() || hooks.endRequested()) return StartupOutcome::kEnded;

    const bool connected = recorder.login();
    if (!connected && (!hooks.goOnWithoutConnection() || hooks.endRequested()))
        return StartupOutcome::kEnded;
    if (simulated) simulated->start();
    recorder.loadDefinitions();
    if (hooks.endRequested()) return StartupOutcome::kEnded;
    if (connected) {
        recorder.connection().start();
        return StartupOutcome::kRecording;
    }
    recorder.connection().startDisconnected(QStringLiteral("Anmeldung fehlgeschlagen"));
    return StartupOutcome::kWithoutConnection;
}

}  // namespace vqs
