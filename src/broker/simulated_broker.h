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
// BRAVOLT_SIM_REFUSE_LOGIN=1, BRAVOLT_SIM_FAIL_HISTORY=1.
struct SimulationSettings {
    std::uint64_t seed = 20261210;
    double quotesPerSecond = 0.5;
    bool refuseLogin = false;
    bool failHistory = false;
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
