// The back-fill merge: 100k fetched ticks into a file of 2M records whose last 1M records are
// later than the fetched span (they are all kept), journal included, against plain reads and
// writes that copy the rewritten region once and flush it.
#include "bench_support.h"

#include "datafiles/history_merge.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <fcntl.h>
#include <unistd.h>

namespace {

constexpr std::int64_t kOld = 2'000'000;
constexpr std::int64_t kFetched = 100'000;
constexpr std::int64_t kReplaced = 100'000;  // old records in the fetched span
constexpr double kDay = 46366.0;
constexpr double kStep = 1e-7;  // days between old records

struct MergeFile {
    QTemporaryDir dir;
    vqs::DataFileStore store;
    vqs::TitelDef def;
    std::vector<vqs::KursSatz> fetched;
    QByteArray path;
    std::int64_t regionStart = 0;  // where the merge starts rewriting

    MergeFile() {
        store.setRoot(dir.path());
        def.RT_WKN = def.WKN = QStringLiteral("710000");
        def.Ordner = QStringLiteral("Bench");
        def.RT_Boerse = QStringLiteral("ETR");
        def.NeueNamen = true;
        QDir().mkpath(dir.path() + QStringLiteral("/Bench"));
        const QString file = store.filePath(def, vqs::kBezahlt);
        path = QFile::encodeName(file);
        QFile out(file);
        if (!out.open(QIODevice::WriteOnly)) std::abort();
        out.write(vqs::buildHeader(def, vqs::kBezahlt).bytes.data(), vqs::kHeaderSize);
        std::vector<char> chunk(1 << 20);
        const std::int64_t perChunk = static_cast<std::int64_t>(chunk.size()) / vqs::kRecordSize;
        for (std::int64_t i = 0; i < kOld;) {
            const std::int64_t n = std::min(perChunk, kOld - i);
            for (std::int64_t k = 0; k < n; ++k)
                vqs::encodeKursSatz({kDay + 0.3 + (i + k) * kStep, 100.0f, 1.0f},
                                    chunk.data() + k * vqs::kRecordSize);
            out.write(chunk.data(), n * vqs::kRecordSize);
            i += n;
        }
        // The fetched span covers the old records kOld - 1M - kReplaced to kOld - 1M.
        const std::int64_t firstReplaced = kOld - 1'000'000 - kReplaced;
        const double from = kDay + 0.3 + firstReplaced * kStep;
        const double span = (kReplaced - 1) * kStep;
        for (std::int64_t i = 0; i < kFetched; ++i)
            fetched.push_back(
                {from + span * static_cast<double>(i) / (kFetched - 1), 200.0f, 2.0f});
        regionStart = vqs::kHeaderSize + firstReplaced * vqs::kRecordSize;
    }
};

MergeFile& mergeFile() {
    static MergeFile f;
    return f;
}

void bmMerge(benchmark::State& state) {
    MergeFile& f = mergeFile();
    vqs::MergeProgress quiet;
    for (auto _ : state) {
        const vqs::MergeResult r =
            vqs::mergeHistory(f.store, f.def, f.fetched, false, QDate(2026, 12, 10), quiet);
        if (r.outcome != vqs::MergeResult::kMerged || r.kept != 1'000'000)
            state.SkipWithError("merge failed");
    }
    state.SetItemsProcessed(state.iterations());
}

// The region the merge rewrites, read and written back once with plain calls, then flushed.
void bmPlainCopy(benchmark::State& state) {
    MergeFile& f = mergeFile();
    std::vector<char> buffer(1 << 20);
    for (auto _ : state) {
        const int fd = ::open(f.path.constData(), O_RDWR);
        if (fd < 0) std::abort();
        const off_t end = ::lseek(fd, 0, SEEK_END);
        for (off_t at = f.regionStart; at < end;) {
            const auto n =
                static_cast<size_t>(std::min<off_t>(static_cast<off_t>(buffer.size()), end - at));
            if (::pread(fd, buffer.data(), n, at) != static_cast<ssize_t>(n)) std::abort();
            if (::pwrite(fd, buffer.data(), n, at) != static_cast<ssize_t>(n)) std::abort();
            at += static_cast<off_t>(n);
        }
        ::fsync(fd);
        ::close(fd);
    }
    state.SetItemsProcessed(state.iterations());
}

}  // namespace

// Alternately, so that each run of ours has a baseline run right before it.
BENCHMARK(bmPlainCopy)->Iterations(3)->Unit(benchmark::kMillisecond);
BENCHMARK(bmMerge)->Iterations(3)->Unit(benchmark::kMillisecond);
BENCHMARK(bmPlainCopy)->Iterations(3)->Unit(benchmark::kMillisecond);
BENCHMARK(bmMerge)->Iterations(3)->Unit(benchmark::kMillisecond);
BENCHMARK(bmPlainCopy)->Iterations(3)->Unit(benchmark::kMillisecond);
BENCHMARK(bmMerge)->Iterations(3)->Unit(benchmark::kMillisecond);

int main(int argc, char** argv) {
    return vqs::bench::runAndCompare(argc, argv, "bmMerge", "bmPlainCopy", true);
}
