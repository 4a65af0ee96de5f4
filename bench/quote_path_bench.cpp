// The whole quote path (change detection, counting, tick writer) for 300 titles with the monitor
// closed, against the plain system calls of one append over the same files.
#include "bench_support.h"

#include "broker/simulated_broker.h"
#include "recording/recorder.h"
#include "titles/titel_objekt.h"

#include <QTemporaryDir>

namespace {

constexpr int kTitles = 300;
constexpr int kPairs = 5;
constexpr int kIterations = 60000;  // per run
constexpr int kUpdatesPerTitle = kPairs * kIterations / kTitles + 1;

struct QuotePath {
    QTemporaryDir dir;
    vqs::SystemClock clock;  // the real clock: date completion asks it for every tick
    vqs::SettingsStore settings{dir.path() + "/config", "bench"};
    std::unique_ptr<vqs::broker::SimulatedBroker> broker;
    vqs::Recorder recorder{dir.path(), settings, clock, [this] { return broker->createSession(); }};
    std::vector<vqs::TitelObjekt*> titles;
    std::vector<vqs::broker::Quote> updates;  // title i % kTitles, in order
    std::vector<QByteArray> paths;

    QuotePath() {
        broker = std::make_unique<vqs::broker::SimulatedBroker>(vqs::broker::SimulationSettings{},
                                                                clock);
        recorder.prepareDataFolder();
        recorder.login();
        const auto& universe = broker->market().instruments();
        for (int i = 0; i < kTitles; ++i) {
            const vqs::broker::SimInstrument& instrument = universe[static_cast<size_t>(i)];
            vqs::TitelDef d;
            d.RT_WKN = instrument.wkn;
            d.WKN = instrument.wkn;
            d.Name = instrument.name;
            d.Ordner = "Bench";
            d.RT_Boerse = "ETR";
            d.Aktiv = true;
            d.NeueNamen = true;
            recorder.titles().add(d);
            recorder.titles().startRecording(d);
            titles.push_back(recorder.titles().titleObjects().find(d.id().text())->get());
            paths.push_back(
                QFile::encodeName(recorder.datenpfad() + "/Bench/" + d.WKN + "-BRAVOL-ETR.VQS"));
        }
        // Quote times start now, so that the first update of each title counts as fresh; it
        // creates the title's file.
        const QTime base = QTime::currentTime();
        auto makeRound = [&](int k) {
            for (int i = 0; i < kTitles; ++i) {
                const QTime t = base.addMSecs(k * 10 + i % 10);
                vqs::broker::Quote q;
                q.paid.present = q.paid.volumePresent = true;
                q.paid.price = 100 + k * 0.01;
                q.paid.volume = 100;
                q.paid.time = {t.hour(), t.minute(), t.second(), t.msec(),
                               t.toString("HH:mm:ss.zzz")};
                updates.push_back(q);
            }
        };
        makeRound(0);
        for (int i = 0; i < kTitles; ++i)
            titles[static_cast<size_t>(i)]->RealtimeSubscription_OnQuoteUpdate(
                updates[static_cast<size_t>(i)], {}, {});
        for (int k = 1; k <= kUpdatesPerTitle; ++k) makeRound(k);
    }
};

QuotePath& path() {
    static QuotePath p;
    return p;
}

void bmQuotePath(benchmark::State& state) {
    QuotePath& p = path();
    static size_t i = kTitles;  // the first round went in at set-up; every update is new
    for (auto _ : state) {
        p.titles[i % kTitles]->RealtimeSubscription_OnQuoteUpdate(p.updates[i], {}, {});
        ++i;
    }
    state.SetItemsProcessed(state.iterations());
}

void bmPlainSystemCalls(benchmark::State& state) {
    QuotePath& p = path();
    static long i = 0;
    for (auto _ : state) {
        vqs::bench::plainAppend(p.paths[static_cast<size_t>(i % kTitles)], 46366.4 + i * 1e-9);
        ++i;
    }
    state.SetItemsProcessed(state.iterations());
}

}  // namespace

// Alternately, so that each run of ours has a baseline run right before it.
BENCHMARK(bmPlainSystemCalls)->Iterations(kIterations);
BENCHMARK(bmQuotePath)->Iterations(kIterations);
BENCHMARK(bmPlainSystemCalls)->Iterations(kIterations);
BENCHMARK(bmQuotePath)->Iterations(kIterations);
BENCHMARK(bmPlainSystemCalls)->Iterations(kIterations);
BENCHMARK(bmQuotePath)->Iterations(kIterations);
BENCHMARK(bmPlainSystemCalls)->Iterations(kIterations);
BENCHMARK(bmQuotePath)->Iterations(kIterations);
BENCHMARK(bmPlainSystemCalls)->Iterations(kIterations);
BENCHMARK(bmQuotePath)->Iterations(kIterations);

int main(int argc, char** argv) {
    return vqs::bench::runAndCompare(argc, argv, "bmQuotePath", "bmPlainSystemCalls");
}
