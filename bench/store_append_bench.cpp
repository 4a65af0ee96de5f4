// The realtime append of the data-file store against the plain system calls it stands on, over
// the same 300 files.
#include "bench_support.h"

#include "datafiles/data_file_store.h"

#include <QTemporaryDir>

namespace {

constexpr int kTitles = 300;

QTemporaryDir& dataRoot() {
    static QTemporaryDir dir;
    return dir;
}

void bmStoreAppend(benchmark::State& state) {
    static const auto paths = vqs::bench::prepareDataFiles(dataRoot().path(), kTitles);
    std::vector<vqs::TitelDef> titles;
    for (int i = 0; i < kTitles; ++i) {
        vqs::TitelDef d;
        d.RT_WKN = d.WKN = QStringLiteral("T%1").arg(i, 6, 10, QLatin1Char('0'));
        d.Ordner = QStringLiteral("Bench");
        d.RT_Boerse = QStringLiteral("ETR");
        d.NeueNamen = true;
        titles.push_back(d);
    }
    vqs::DataFileStore store;
    store.setRoot(dataRoot().path());
    static long i = 0;
    for (auto _ : state) {
        const size_t t = static_cast<size_t>(i % kTitles);
        if (store.append(titles[t], vqs::kBezahlt, {46366.4 + i * 1e-9, 100.0f, 1.0f}) !=
            vqs::Appended::kWritten)
            state.SkipWithError("append failed");
        ++i;
    }
    state.SetItemsProcessed(state.iterations());
}

void bmPlainSystemCalls(benchmark::State& state) {
    static const auto paths = vqs::bench::prepareDataFiles(dataRoot().path(), kTitles);
    static long i = 0;
    for (auto _ : state) {
        vqs::bench::plainAppend(paths[static_cast<size_t>(i % kTitles)], 46366.4 + i * 1e-9);
        ++i;
    }
    state.SetItemsProcessed(state.iterations());
}

}  // namespace

// Alternately, so that each run of ours has a baseline run right before it.
BENCHMARK(bmPlainSystemCalls)->MinTime(1.0);
BENCHMARK(bmStoreAppend)->MinTime(1.0);
BENCHMARK(bmPlainSystemCalls)->MinTime(1.0);
BENCHMARK(bmStoreAppend)->MinTime(1.0);
BENCHMARK(bmPlainSystemCalls)->MinTime(1.0);
BENCHMARK(bmStoreAppend)->MinTime(1.0);
BENCHMARK(bmPlainSystemCalls)->MinTime(1.0);
BENCHMARK(bmStoreAppend)->MinTime(1.0);
BENCHMARK(bmPlainSystemCalls)->MinTime(1.0);
BENCHMARK(bmStoreAppend)->MinTime(1.0);

int main(int argc, char** argv) {
    return vqs::bench::runAndCompare(argc, argv, "bmStoreAppend", "bmPlainSystemCalls");
}
