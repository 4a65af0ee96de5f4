// The realtime append of the data-file store against the plain system calls it stands on, over
// the same 300 files: ticks one at a time (one tick per turn of the event loop), and ticks in
// bursts (ten per file in one turn, as a busy market or a recorder catching up delivers them).
// The plain calls are the same per tick in both cases: open, read the header, append, close.
#include "bench_support.h"

#include "datafiles/data_file_store.h"

#include <QCoreApplication>
#include <QTemporaryDir>
#include <QTimer>

namespace {

constexpr int kTitles = 300;
constexpr int kBurst = 10;  // ticks per file and turn

QTemporaryDir& dataRoot() {
    static QTemporaryDir dir;
    return dir;
}

const std::vector<QByteArray>& paths() {
    static const auto paths = vqs::bench::prepareDataFiles(dataRoot().path(), kTitles);
    return paths;
}

const std::vector<vqs::TitelDef>& titles() {
    static const std::vector<vqs::TitelDef> titles = [] {
        std::vector<vqs::TitelDef> all;
        for (int i = 0; i < kTitles; ++i) {
            vqs::TitelDef d;
            d.RT_WKN = d.WKN = QStringLiteral("T%1").arg(i, 6, 10, QLatin1Char('0'));
            d.Ordner = QStringLiteral("Bench");
            d.RT_Boerse = QStringLiteral("ETR");
            d.NeueNamen = true;
            all.push_back(d);
        }
        return all;
    }();
    return titles;
}

// Counts the queued ticks that did not reach their file.
struct Outcomes final : vqs::DataFileStoreListener {
    void failed(const QString&, const QString&) override {}
    void faultEnded(const QString&) override {}
    void heldTickWritten(const vqs::TitelDef&, vqs::Kursart, const vqs::KursSatz&) override {}
    void journalSetAside(const QString&, const QString&, const QString&) override {}
    void queuedTicksDone(const vqs::TitelDef&, vqs::Kursart,
                         const std::vector<vqs::QueuedTick>& ticks, size_t written) override {
        notWritten += static_cast<long>(ticks.size() - written);
    }
    long notWritten = 0;
};

// The store as the recorder drives it: each tick queued by a handler of the event loop, the
// turn's ticks written when it ends.
void runStore(benchmark::State& state, int ticksPerFile) {
    paths();
    const std::vector<vqs::TitelDef>& defs = titles();
    std::vector<vqs::TitelId> ids;
    for (const vqs::TitelDef& d : defs) ids.push_back(d.id());
    vqs::DataFileStore store;
    Outcomes outcomes;
    store.setListener(&outcomes);
    store.setRoot(dataRoot().path());
    static long tick = 0;
    size_t file = 0;
    const size_t files = ticksPerFile == 1 ? 1 : defs.size();
    for (auto _ : state) {
        for (int k = 0; k < ticksPerFile; ++k) {
            for (size_t n = 0; n < files; ++n) {
                const size_t t = (file + n) % defs.size();
                const double zeit = 46366.4 + tick * 1e-9;
                const vqs::Appended a =
                    store.queue(ids[t], defs[t], vqs::kBezahlt, {zeit, 100.0f, 1.0f}, zeit);
                if (a != vqs::Appended::kQueued) state.SkipWithError("not queued");
                ++tick;
            }
        }
        file = (file + files) % defs.size();
        store.flushQueued();  // the end of the turn (what the event dispatcher's signal runs)
    }
    if (outcomes.notWritten || store.queuedTicks()) state.SkipWithError("not written");
    state.SetItemsProcessed(state.iterations() * static_cast<long>(files) * ticksPerFile);
}

void runPlain(benchmark::State& state, int ticksPerFile) {
    static long tick = 0;
    size_t file = 0;
    const size_t files = ticksPerFile == 1 ? 1 : kTitles;
    for (auto _ : state) {
        for (int k = 0; k < ticksPerFile; ++k) {
            for (size_t n = 0; n < files; ++n) {
                vqs::bench::plainAppend(paths()[(file + n) % kTitles], 46366.4 + tick * 1e-9);
                ++tick;
            }
        }
        file = (file + files) % kTitles;
    }
    state.SetItemsProcessed(state.iterations() * static_cast<long>(files) * ticksPerFile);
}

void bmStoreTickByTick(benchmark::State& state) { runStore(state, 1); }
void bmPlainTickByTick(benchmark::State& state) { runPlain(state, 1); }
void bmStoreBursts(benchmark::State& state) { runStore(state, kBurst); }
void bmPlainBursts(benchmark::State& state) { runPlain(state, kBurst); }

}  // namespace

// Alternately, so that each run of ours has a baseline run right before it.
BENCHMARK(bmPlainTickByTick)->MinTime(1.0);
BENCHMARK(bmStoreTickByTick)->MinTime(1.0);
BENCHMARK(bmPlainTickByTick)->MinTime(1.0);
BENCHMARK(bmStoreTickByTick)->MinTime(1.0);
BENCHMARK(bmPlainTickByTick)->MinTime(1.0);
BENCHMARK(bmStoreTickByTick)->MinTime(1.0);
BENCHMARK(bmPlainTickByTick)->MinTime(1.0);
BENCHMARK(bmStoreTickByTick)->MinTime(1.0);
BENCHMARK(bmPlainTickByTick)->MinTime(1.0);
BENCHMARK(bmStoreTickByTick)->MinTime(1.0);
BENCHMARK(bmPlainBursts)->MinTime(1.0);
BENCHMARK(bmStoreBursts)->MinTime(1.0);
BENCHMARK(bmPlainBursts)->MinTime(1.0);
BENCHMARK(bmStoreBursts)->MinTime(1.0);
BENCHMARK(bmPlainBursts)->MinTime(1.0);
BENCHMARK(bmStoreBursts)->MinTime(1.0);
BENCHMARK(bmPlainBursts)->MinTime(1.0);
BENCHMARK(bmStoreBursts)->MinTime(1.0);
BENCHMARK(bmPlainBursts)->MinTime(1.0);
BENCHMARK(bmStoreBursts)->MinTime(1.0);

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    int result = 0;
    // Inside a running event loop, as the recorder's ticks are.
    QTimer::singleShot(0, &app, [&] {
        result = vqs::bench::runAndCompare(
            argc, argv,
            {{"bmStoreTickByTick", "bmPlainTickByTick"}, {"bmStoreBursts", "bmPlainBursts"}});
        QCoreApplication::quit();
    });
    QCoreApplication::exec();
    return result;
}
