#include "recording/program_environment.h"

#include "broker/simulated_broker.h"
#include "common/process.h"
#include "recording/instance_lock.h"
#include "recording/quote_source.h"

namespace vqs {

MachineDefaults::MachineDefaults(RecorderEnvironment& env, const QString& settingsApplication) {
    raiseOpenFileLimit();
    if (!env.settings) {
        settings_ =
            std::make_unique<SettingsStore>(SettingsStore::defaultRoot(), settingsApplication);
        env.settings = settings_.get();
    }
    if (!env.clock) {
        clock_ = std::make_unique<SystemClock>();
        env.clock = clock_.get();
    }
    if (!env.brokerFactory && kursquelle(*env.settings) == Kursquelle::kFix) {
        // Read at every login: a setting or password file put right takes at the next try.
        env.brokerFactory = [settings = env.settings, folder = env.programFolder,
                             keyring = env.keyring] {
            return broker::makeFixSession(
                readFixSource(*settings, folder, keyring ? *keyring : desktopKeyring()));
        };
    }
    if (!env.brokerFactory) {
        simulated_ = std::make_unique<broker::SimulatedBroker>(
            broker::SimulationSettings::fromEnvironment(), *env.clock);
        env.brokerFactory = [broker = simulated_.get()] { return broker->createSession(); };
    }
    if (!env.freeKilobytes) env.freeKilobytes = storageFreeKilobytes;
    if (env.instanceLockPath.isEmpty()) env.instanceLockPath = InstanceLock::defaultPath();
}

MachineDefaults::~MachineDefaults() = default;

}  // namespace vqs
