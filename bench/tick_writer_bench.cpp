// The tick writer against the plain system calls it stands on, over the same 300 files.
#include "bench_support.h"

#include "datafiles/tick_writer.h"

#include <QTemporaryDir>

namespace {

constexpr int kTitles = 300;

QTemporaryDir& dataRoot() {
    static QTemporaryDir dir;
    return dir;
}

void BM_TickWriter(benchmark::State& state) {
    static const auto paths = vqs::bench::prepareDataFiles(dataRoot().path(), kTitles);
    vqs::ManualClock clock(QDateTime(QDate(2026, 12, 10), QTime(10, 0)));
    vqs::KeyedCollection<vqs::TitelDef> definitions;
    std::vector<vqs::TitelDef*> titles;
    for (int i = 0; i < kTitles; ++i) {
        vqs::TitelDef d;
        d.RT_WKN = d.WKN = QStringLiteral("T%1").arg(i, 6, 10, QLatin1Char('0'));
        d.Ordner = QStringLiteral("Bench");
        d.RT_Boerse = QStringLiteral("ETR");
        d.NeueNamen = true;
        definitions.add(d.collectionKey(), d);
        titles.push_back(definitions.find(d.collectionKey()));
    }
    const QString root = dataRoot().path();
    vqs::TickWriter writer(definitions, root, clock);
    std::vector<QString> keys;
    for (vqs::TitelDef* t : titles) keys.push_back(t->key());
    long i = 0;
    for (auto _ : state) {
        const size_t t = static_cast<size_t>(i % kTitles);
        if (!writer.append(*titles[t], vqs::kBezahlt, keys[t], 100.0f, 1.0f, 0.4 + i * 1e-9))
            state.SkipWithError("append failed");
        ++i;
    }
    state.SetItemsProcessed(state.iterations());
}

void BM_PlainSystemCalls(benchmark::State& state) {
    static const auto paths = vqs::bench::prepareDataFiles(dataRoot().path(), kTitles);
    long i = 0;
    for (auto _ : state) {
        vqs::bench::plainAppend(paths[static_cast<size_t>(i % kTitles)], 46366.4 + i * 1e-9);
        ++i;
    }
    state.SetItemsProcessed(state.iterations());
}

}  // namespace

BENCHMARK(BM_PlainSystemCalls)->MinTime(2.0);
BENCHMARK(BM_TickWriter)->MinTime(2.0);
BENCHMARK(BM_PlainSystemCalls)->MinTime(2.0);
BENCHMARK(BM_TickWriter)->MinTime(2.0);

int main(int argc, char** argv) {
    return vqs::bench::runAndCompare(argc, argv, "BM_TickWriter", "BM_PlainSystemCalls");
}
