#pragma once

#include "broker/simulated_market.h"
#include "broker/trading_api.h"
#include "common/serial_date.h"

#include <QObject>
#include <QTimer>

#include <memory>

namespace vqs::broker {

// The knobs of the simulated broker, read from the environment:
// BRAVOLT_SIM_SEED, BRAVOLT_SIM_RATE (quotes per instrument and second),
// BRAVOLT_SIM_REFUSE_LOGIN=1, BRAVOLT_SIM_FAIL_HISTORY=1, and the faults of a real connection:
// BRAVOLT_SIM_DROP_AFTER, BRAVOLT_SIM_DOWN_FOR, BRAVOLT_SIM_SILENT_AFTER (seconds),
// BRAVOLT_SIM_FAIL_HISTORY_FIRST (a count).
struct SimulationSettings {
    std::uint64_t seed = 20261210;
    double quotesPerSecond = 0.5;
    bool refuseLogin = false;
    bool failHistory = false;
    // The first session the broker ever logs in: it is logged out by the broker this many
    // seconds after its login (0: never), and logins are refused for `downFor` seconds after.
    double dropAfter = 0;
    double downFor = 0;
    // The first session's quotes stop this many seconds after its login, without an event.
    double silentAfter = 0;
    // The first this many history requests fail.
    int failHistoryFirst = 0;
    static SimulationSettings fromEnvironment();
};

struct SimulationState;

// The built-in broker service: a deterministic market whose quotes are raised on the thread of
// the event loop. pump() raises everything due up to the clock's now; start() lets a timer call
// it, tests call it themselves after moving their clock.
class SimulatedBroker : public QObject {
public:
    SimulatedBroker(SimulationSettings settings, const Clock& clock);
    ~SimulatedBroker() override;

    std::unique_ptr<BrokerSession> createSession();
    const SimulatedMarket& market() const;
    const SimulationSettings& settings() const;

    void pump();
    void start(int intervalMs = 100);
    void stop();
    int liveSubscriptions() const;

private:
    std::shared_ptr<SimulationState> state_;
    QTimer timer_;
};

}  // namespace vqs::broker
