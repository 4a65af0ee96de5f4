// The simulated broker with 10,000 subscriptions of all kinds of instruments: the pumps of one
// minute in steps of 100 ms, and the catch-up after a pump that came four minutes late. A
// listener only counts, so the figures are the broker's own: quotes per second of CPU and the
// heap the broker holds per subscription (after subscribing, and after a minute of quotes).
#include "broker/simulated_broker.h"
#include "support/manual_clock.h"

#include <benchmark/benchmark.h>

#include <QCoreApplication>

#include <malloc.h>

#include <algorithm>
#include <memory>
#include <vector>

namespace {

constexpr int kSubscriptions = 10000;
constexpr int kStepMs = 100;
constexpr int kPumpsPerMinute = 60000 / kStepMs;

double heapBytes() { return static_cast<double>(mallinfo2().uordblks); }

// Counts the quotes and, now and then, notes the largest heap seen while they are raised.
struct Counter final : vqs::broker::QuoteListener {
    void OnQuoteUpdate(const vqs::broker::Quote&, const vqs::broker::QuoteSource&,
                       const QString&) override {
        if ((++quotes & 4095) == 0) peakHeap = std::max(peakHeap, heapBytes());
    }
    long long quotes = 0;
    double peakHeap = 0;
};

struct Market {
    vqs::ManualClock clock{QDateTime(QDate(2026, 12, 10), QTime(10, 0))};
    std::unique_ptr<vqs::broker::SimulatedBroker> broker;
    std::unique_ptr<vqs::broker::BrokerSession> session;
    Counter counter;
    std::vector<std::unique_ptr<vqs::broker::Subscription>> subscriptions;
    double heapBefore = 0;

    explicit Market(double rate) {
        vqs::broker::SimulationSettings settings;
        settings.quotesPerSecond = rate;
        heapBefore = heapBytes();
        broker = std::make_unique<vqs::broker::SimulatedBroker>(settings, clock);
        session = broker->createSession();
        session->LoginWithAddOnName(QStringLiteral("Bench"));
        // Every instrument on its home exchange, then as many again on a second exchange.
        std::vector<QString> exchanges;
        for (const vqs::broker::Exchange& e : broker->market().exchanges())
            if (e.admitted) exchanges.push_back(e.code);
        const auto& instruments = broker->market().instruments();
        for (int i = 0; i < kSubscriptions; ++i) {
            const auto& in = instruments[static_cast<size_t>(i) % instruments.size()];
            QString exchange = in.homeExchange;
            if (static_cast<size_t>(i) >= instruments.size()) {
                const auto home = std::find(exchanges.begin(), exchanges.end(), exchange);
                exchange = exchanges[static_cast<size_t>(home - exchanges.begin() + 1 + i) %
                                     exchanges.size()];
            }
            subscriptions.push_back(session->subscribe({in.wkn, exchange}));
            if (!subscriptions.back()) std::abort();
            subscriptions.back()->setListener(&counter);
        }
    }
    void pumps(int count) {
        for (int i = 0; i < count; ++i) {
            clock.advanceMs(kStepMs);
            broker->pump();
        }
    }
    double perSubscription(double heap) const { return (heap - heapBefore) / kSubscriptions; }
};

// One minute of pumps after a minute to settle in.
void bmPumps(benchmark::State& state) {
    Market m(static_cast<double>(state.range(0)));
    const double subscribed = m.perSubscription(heapBytes());
    m.pumps(kPumpsPerMinute);
    const double settled = m.perSubscription(heapBytes());
    const long long before = m.counter.quotes;
    for (auto _ : state) {
        m.clock.advanceMs(kStepMs);
        m.broker->pump();
    }
    state.SetItemsProcessed(m.counter.quotes - before);
    state.counters["bytes_per_sub_subscribed"] = subscribed;
    state.counters["bytes_per_sub_after_minute"] = settled;
}

// A pump four minutes late, then the pumps of 30 s in steps of 100 ms: the backlog is raised
// over them. The peak is the largest heap seen while the quotes are raised, per subscription.
void bmCatchUp(benchmark::State& state) {
    Market m(static_cast<double>(state.range(0)));
    m.pumps(kPumpsPerMinute);
    const long long before = m.counter.quotes;
    m.counter.peakHeap = heapBytes();
    for (auto _ : state) {
        m.clock.advanceMs(4 * 60000);
        m.broker->pump();
        m.pumps(300);
    }
    state.SetItemsProcessed(m.counter.quotes - before);
    state.counters["peak_bytes_per_sub"] = m.perSubscription(m.counter.peakHeap);
}

}  // namespace

BENCHMARK(bmPumps)->Arg(1)->Arg(5)->Iterations(kPumpsPerMinute)->Unit(benchmark::kMillisecond);
BENCHMARK(bmCatchUp)->Arg(1)->Arg(5)->Iterations(1)->Unit(benchmark::kMillisecond);

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
