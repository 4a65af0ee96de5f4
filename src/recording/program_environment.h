#pragma once

#include "broker/bravolt_session.h"
#include "common/serial_date.h"
#include "recording/keyring.h"
#include "recording/recorder.h"
#include "recording/settings_store.h"

#include <QString>

#include <memory>

namespace vqs {

namespace broker {
class SimulatedBroker;
}

// What a recording program meets when it starts: its folder, settings, clock, broker and the
// machine's volumes and lock. Tests give their own; what they leave out comes from the machine.
struct RecorderEnvironment {
    QString programFolder;
    SettingsStore* settings = nullptr;   // none: the per-user settings files
    const Clock* clock = nullptr;        // none: the computer's clock
    BrokerSessionFactory brokerFactory;  // none: the one [Kursquelle] names
    Keyring* keyring = nullptr;          // none: the desktop's (the FIX source's password)
    QString instanceLockPath;            // empty: one lock per user, shared by both programs
    FreeKilobytes freeKilobytes;         // none: the volume's own figure
};

// Fills in what an environment leaves out and keeps it for the program's life.
class MachineDefaults {
public:
    // settingsApplication: application X of the settings store (the desktop program's name).
    MachineDefaults(RecorderEnvironment& env, const QString& settingsApplication);
    ~MachineDefaults();
    MachineDefaults(const MachineDefaults&) = delete;
    MachineDefaults& operator=(const MachineDefaults&) = delete;

    // The built-in broker, when it is the one in use.
    broker::SimulatedBroker* simulatedBroker() const { return simulated_.get(); }

private:
    std::unique_ptr<SettingsStore> settings_;
    std::unique_ptr<Clock> clock_;
    std::unique_ptr<broker::SimulatedBroker> simulated_;
};

}  // namespace vqs
