// Ticks a second through the FIX quote source (vqsfeed's logic on a thread of its own → loopback
// socket → QuickFIX → the queue → the recording core → the data files) against the same titles
// through the in-process simulated broker, in the same run. Both markets have the same seed and
// run on manual clocks, one market second per iteration, so both record the same ticks.
#include "bench_support.h"

#include "broker/fix_broker.h"
#include "broker/simulated_broker.h"
#include "recording/recorder.h"
#include "support/feed_thread.h"
#include "support/manual_clock.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QTemporaryDir>

#include <cstdio>

namespace {

constexpr int kTitles = 300;
constexpr double kQuotesPerSecond = 20;
constexpr int kSecondsPerRun = 20;
const QDateTime kStart(QDate(2026, 12, 10), QTime(10, 0));

vqs::broker::SimulationSettings simulation() {
    vqs::broker::SimulationSettings s;
    s.quotesPerSecond = kQuotesPerSecond;
    return s;
}

// A recording core of its own folder, clock and broker.
struct Recording {
    explicit Recording(vqs::BrokerSessionFactory factory)
        : recorder(dir.path(), settings, clock, std::move(factory)) {}
    void start(const vqs::broker::SimulatedMarket& market) {
        recorder.prepareDataFolder();
        if (!recorder.login()) std::abort();
        for (int i = 0; i < kTitles; ++i) {
            const vqs::broker::SimInstrument& in = market.instruments()[static_cast<size_t>(i)];
            vqs::TitelDef d;
            d.RT_WKN = d.WKN = in.wkn;
            d.Name = in.name;
            d.Ordner = "Bench";
            d.RT_Boerse = in.homeExchange;
            d.Aktiv = true;
            d.NeueNamen = true;
            recorder.titles().add(d);
            recorder.titles().startRecording(d);
        }
    }
    QTemporaryDir dir;
    vqs::ManualClock clock{kStart};
    vqs::SettingsStore settings{dir.path() + "/config", "bench"};
    vqs::Recorder recorder;
};

struct Sources {
    QTemporaryDir feedDir;
    vqs::test::FeedThread feed{options(), simulation(), kStart};
    std::unique_ptr<vqs::broker::SimulatedBroker> simulated;
    Recording inProcess{[this] { return simulated->createSession(); }};
    Recording overFix{[this] {
        vqs::broker::FixSourceSettings s;
        s.host = "127.0.0.1";
        s.port = feed.port();
        s.senderCompId = "VQS";
        s.targetCompId = "VQSFEED";
        s.storeDir = feedDir.filePath("client");
        return vqs::broker::makeFixSession(s);
    }};
    // The in-process recording's tick count after each of its market seconds: where the FIX
    // recording has to get to.
    std::vector<double> reached;
    size_t fixSeconds = 0;

    vqs::QuoteFeedOptions options() const {
        vqs::QuoteFeedOptions o;
        o.storeDir = feedDir.filePath("feed");
        return o;
    }
    Sources() {
        simulated = std::make_unique<vqs::broker::SimulatedBroker>(simulation(), inProcess.clock);
        inProcess.start(simulated->market());
        overFix.start(simulated->market());
        // The feed takes the subscriptions as they come; each starts at the instant it is taken.
        // A title's first quote counts only at the instant it was given: each has to arrive
        // before the clock moves on.
        auto firstQuotesHeard = [this] {
            for (const auto& e : overFix.recorder.titles().titleObjects())
                if (!e.value->isInitialized()) return false;
            return true;
        };
        QDeadlineTimer guard(60000);
        while (!firstQuotesHeard() && !guard.hasExpired())
            QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 10);
        // Both take their first quotes at the start instant.
        simulated->pump();
        feed.advance(0);
    }
    void inProcessSecond() {
        inProcess.clock.advanceMs(1000);
        simulated->pump();
        reached.push_back(inProcess.recorder.kursanzahl());
    }
    void fixSecond() {
        feed.advance(1000);
        overFix.clock.advanceMs(1000);
        const double target = reached[fixSeconds++];
        QDeadlineTimer guard(60000);
        while (overFix.recorder.kursanzahl() < target && !guard.hasExpired())
            QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 10);
        if (overFix.recorder.kursanzahl() < target) {
            std::fprintf(stderr, "the FIX recording has %.0f ticks after %zu s, not %.0f\n",
                         overFix.recorder.kursanzahl(), fixSeconds, target);
            std::abort();
        }
    }
};

Sources& sources() {
    static Sources s;
    return s;
}

void bmInProcess(benchmark::State& state) {
    Sources& s = sources();
    const double before = s.inProcess.recorder.kursanzahl();
    for (auto _ : state) s.inProcessSecond();
    state.SetItemsProcessed(static_cast<int64_t>(s.inProcess.recorder.kursanzahl() - before));
}

void bmFix(benchmark::State& state) {
    Sources& s = sources();
    const double before = s.overFix.recorder.kursanzahl();
    for (auto _ : state) {
        if (s.fixSeconds >= s.reached.size()) {
            state.PauseTiming();
            s.inProcessSecond();
            state.ResumeTiming();
        }
        s.fixSecond();
    }
    state.SetItemsProcessed(static_cast<int64_t>(s.overFix.recorder.kursanzahl() - before));
}

}  // namespace

// Alternately, so that each run of ours has a baseline run right before it.
BENCHMARK(bmInProcess)->Iterations(kSecondsPerRun)->UseRealTime();
BENCHMARK(bmFix)->Iterations(kSecondsPerRun)->UseRealTime();
BENCHMARK(bmInProcess)->Iterations(kSecondsPerRun)->UseRealTime();
BENCHMARK(bmFix)->Iterations(kSecondsPerRun)->UseRealTime();
BENCHMARK(bmInProcess)->Iterations(kSecondsPerRun)->UseRealTime();
BENCHMARK(bmFix)->Iterations(kSecondsPerRun)->UseRealTime();

int main(int argc, char** argv) {
    return vqs::bench::runAndCompare(argc, argv, "bmFix", "bmInProcess");
}
