#include "datafiles/data_file_document.h"

#include "common/serial_date.h"
#include "common/vector_state.h"
#include "datafiles/data_file_store.h"

#include <QDir>

#include <algorithm>
#include <atomic>
#include <bit>
#include <cmath>
#include <condition_variable>
#include <cstddef>
#include <cstring>
#include <deque>
#include <limits>
#include <mutex>
#include <thread>

#if defined(__linux__)
#include <sched.h>
#endif

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace vqs {
namespace {

// Records read at once by the opening pass and the save: large enough that the system's calls
// cost nothing next to the copying.
constexpr std::int64_t kChunkRecords = 65536;  // whole chart groups
static_assert(kChunkRecords % DataFileDocument::kGroupRecords == 0);
// Records the opening pass copies at once: small enough that they are still in the processor's
// cache when they are summed right after, and whole chart groups.
constexpr std::int64_t kScanRecords = 16384;
static_assert(kScanRecords % DataFileDocument::kGroupRecords == 0);

// Where a record in memory has the bytes of the file, it is read in place.
constexpr bool kRecordsAsInFile =
    std::endian::native == std::endian::little && sizeof(KursSatz) == kRecordSize;

void decodeRecords(const char* bytes, std::int64_t count, KursSatz* out) {
    if constexpr (kRecordsAsInFile) {
        std::memcpy(out, bytes, static_cast<size_t>(count * kRecordSize));
    } else {
        for (std::int64_t i = 0; i < count; ++i) out[i] = decodeKursSatz(bytes + i * kRecordSize);
    }
}

DataFileDocument::Block emptyBlock() {
    DataFileDocument::Block b;
    b.zeitMin = std::numeric_limits<double>::infinity();
    b.zeitMax = -std::numeric_limits<double>::infinity();
    b.kursMin = std::numeric_limits<float>::infinity();
    b.kursMax = -std::numeric_limits<float>::infinity();
    return b;
}

void addBlock(DataFileDocument::Block& sum, const DataFileDocument::Block& b) {
    sum.zeitMin = std::min(sum.zeitMin, b.zeitMin);
    sum.zeitMax = std::max(sum.zeitMax, b.zeitMax);
    sum.kursMin = std::min(sum.kursMin, b.kursMin);
    sum.kursMax = std::max(sum.kursMax, b.kursMax);
    sum.volumeSum += b.volumeSum;
}

void addToBlock(DataFileDocument::Block& b, const KursSatz& s) {
    if (namesDate(s.Zeit)) {
        b.zeitMin = std::min(b.zeitMin, s.Zeit);
        b.zeitMax = std::max(b.zeitMax, s.Zeit);
    }
    if (std::isfinite(s.Kurs)) {
        b.kursMin = std::min(b.kursMin, s.Kurs);
        b.kursMax = std::max(b.kursMax, s.Kurs);
    }
    if (std::isfinite(s.Volume) && s.Volume > 0) b.volumeSum += s.Volume;
}

// A pass over a file in chunks: run(i) for every chunk i, on whichever scan workers are free,
// then ended() once, on the last worker to leave it.
struct ChunkedPass {
    std::int64_t chunks = 0;
    std::function<void(std::int64_t chunk, KursSatz* buffer)> run;
    std::function<void()> ended;
    std::atomic<std::int64_t> next{0};  // the next chunk to take
    // Under the workers' lock.
    int workers = 0;    // taking chunks of it
    bool over = false;  // ended() has returned: the pass may go
};

// Where a scan worker runs. Woken, a thread is put on the processor of the thread that woke it
// when the other processors look busy, as an idle one does in a virtual machine; there it waits
// for the scheduler's next balance, milliseconds later, while a processor idles. So each worker
// sleeps bound to a processor of its own and is free to move again once it runs.
class Placement {
public:
    explicit Placement(unsigned worker) {
#if defined(__linux__)
        cpu_set_t& all = allowed_;
        if (sched_getaffinity(0, sizeof all, &all) != 0 || CPU_COUNT(&all) < 2) return;
        unsigned k = 0;
        for (int c = 0; c < CPU_SETSIZE; ++c) {
            if (!CPU_ISSET(c, &all) || k++ != worker % static_cast<unsigned>(CPU_COUNT(&all)))
                continue;
            CPU_ZERO(&own_);
            CPU_SET(c, &own_);
            bound_ = true;
            break;
        }
#else
        (void)worker;
#endif
    }
    void beforeSleep() {
#if defined(__linux__)
        if (bound_) sched_setaffinity(0, sizeof own_, &own_);
#endif
    }
    void afterWaking() {
#if defined(__linux__)
        if (bound_) sched_setaffinity(0, sizeof allowed_, &allowed_);
#endif
    }

private:
#if defined(__linux__)
    cpu_set_t allowed_{}, own_{};
    bool bound_ = false;
#endif
};

// The threads that run opening passes, one per processor (up to four): started with the first
// large file and kept, so that an opening starts no thread and allocates no buffer. Each
// worker takes the next chunk of the oldest pass, so that a worker slowed down (by the window
// being built on its processor) takes fewer chunks instead of holding up the end.
class ScanWorkers {
public:
    static ScanWorkers& instance() {
        // Never destroyed: a pass may still run while the program ends.
        static ScanWorkers* const workers = new ScanWorkers;
        return *workers;
    }
    void start(ChunkedPass& pass) {
        const std::lock_guard lock(mutex_);
        passes_.push_back(&pass);
        work_.notify_all();
    }
    void waitFor(ChunkedPass& pass) {
        std::unique_lock lock(mutex_);
        over_.wait(lock, [&pass] { return pass.over; });
    }

private:
    ScanWorkers() {
        const unsigned n = std::clamp(std::thread::hardware_concurrency(), 1U, 4U);
        for (unsigned i = 0; i < n; ++i) std::thread([this, i] { work(i); }).detach();
    }
    void work(unsigned worker) {
        std::vector<KursSatz> buffer(static_cast<size_t>(kScanRecords + 1));
        Placement placement(worker);
        placement.beforeSleep();
        std::unique_lock lock(mutex_);
        for (;;) {
            work_.wait(lock, [this] { return !passes_.empty(); });
            ChunkedPass& pass = *passes_.front();
            ++pass.workers;
            lock.unlock();
            placement.afterWaking();
            // Chunks are taken without the lock: a worker waiting for it would sleep, and a
            // sleeping worker is slow to wake.
            for (std::int64_t chunk = pass.next++; chunk < pass.chunks; chunk = pass.next++)
                pass.run(chunk, buffer.data());
            placement.beforeSleep();
            lock.lock();
            // Every chunk is taken: no worker takes the pass up again, and the last one to
            // leave it has seen every chunk run.
            if (auto it = std::find(passes_.begin(), passes_.end(), &pass); it != passes_.end())
                passes_.erase(it);
            if (--pass.workers == 0) {
                lock.unlock();
                if (pass.ended) pass.ended();
                lock.lock();
                pass.over = true;
                over_.notify_all();
            }
        }
    }

    std::mutex mutex_;
    std::condition_variable work_, over_;
    std::deque<ChunkedPass*> passes_;  // with chunks not yet taken
};

}  // namespace

struct DataFileDocument::Opening {
    ChunkedPass chunks;
    bool onWorkers = false;
    std::atomic<std::int64_t> faults{0}, usualBlocks{0};
    std::atomic<int> error{0};        // the first chunk's that failed; no chunk runs after it
    std::atomic<bool> cancel{false};  // the document goes before the pass ends
};

DataFileDocument::DataFileDocument(FileSystem& fs, QString path)
    : fs_(fs), path_(std::move(path)), file_(fs) {}
DataFileDocument::~DataFileDocument() {
    if (opening_) {
        opening_->cancel = true;
        finishScan();
    }
}

Result<std::unique_ptr<DataFileDocument>> DataFileDocument::open(const QString& path,
                                                                 FileSystem& fs) {
    Result<std::unique_ptr<DataFileDocument>> doc = beginOpening(path, fs, {});
    if (!doc) return doc;
    if (Result<void> read = (*doc)->finishOpening(); !read) return read.error();
    return doc;
}

Result<std::unique_ptr<DataFileDocument>> DataFileDocument::beginOpening(
    const QString& path, FileSystem& fs, std::function<void()> whenRead) {
    std::unique_ptr<DataFileDocument> doc(new DataFileDocument(fs, path));
    const QString shown = QDir::toNativeSeparators(path);
    if (int e = doc->file_.open(FileSystem::nativePath(path), FileSystem::Access::kRead)) {
        return Error{e, QStringLiteral("Die Datei %1 kann nicht geöffnet werden: %2")
                            .arg(shown, describeFileError(e))};
    }
    std::int64_t size = 0;
    if (int e = doc->file_.size(size)) return doc->unreadable(e);
    if (size > kLargestFile) {
        // Its blocks alone would take memory by the gigabyte, an edit its records.
        return Error{kTooLarge,
                     QStringLiteral("Die Datei %1 ist mit %2 Bytes zu groß für den "
                                    "Dateninspektor (höchstens %3 Bytes) und wird nicht geöffnet.")
                         .arg(shown)
                         .arg(size)
                         .arg(kLargestFile)};
    }
    std::int64_t got = 0;
    if (size < kHeaderSize ||
        fs.read(doc->file_.handle(), 0, doc->header_.bytes.data(), kHeaderSize, got) != 0 ||
        got != kHeaderSize || !doc->header_.hasKennung()) {
        return Error{DataFileStore::kNoDataFile,
                     QStringLiteral("Die Datei %1 ist keine Tradomir-Datendatei (fremder oder zu "
                                    "kurzer Dateikopf) und wird nicht geöffnet.")
                         .arg(shown)};
    }
    doc->fileCount_ = recordCount(size);
    // A small file is read at once: sooner than a window could tell.
    const bool small = doc->fileCount_ < 8 * kChunkRecords;
    doc->startScan(small, std::move(whenRead));
    if (small) {
        if (Result<void> read = doc->finishOpening(); !read) return read.error();
    }
    return doc;
}

Result<void> DataFileDocument::finishOpening() {
    if (int e = finishScan()) return unreadable(e);
    return {};
}

Error DataFileDocument::unreadable(int error) const {
    return {error, QStringLiteral("Die Datei %1 kann nicht gelesen werden: %2")
                       .arg(QDir::toNativeSeparators(path_), describeFileError(error))};
}

namespace {

// The exact sum of a block, record by record: faults counted, unusual values left out.
void sumBlockExactly(const KursSatz* records, std::int64_t n, KursSatz& before, bool& haveBefore,
                     DataFileDocument::Block& block, std::int64_t& faults) {
    for (std::int64_t i = 0; i < n; ++i) {
        const KursSatz& s = records[i];
        faults += DataFileDocument::isFaultyAfter(s, haveBefore ? &before : nullptr);
        addToBlock(block, s);
        before = s;
        haveBefore = true;
    }
}

#if defined(__SSE2__)
// The usual block (times in order naming dates, finite numbers, no negative volume) summed with
// vector instructions of the baseline processor: a record is one 16-byte vector (time, price,
// volume), two records' prices and volumes one vector. False when the block is not usual; it is
// then summed exactly. This loop is half of the opening time: four records a step, so that no
// chain of dependent instructions holds it up.
bool sumUsualBlock(const KursSatz* records, std::int64_t n, DataFileDocument::Block& block) {
    static_assert(sizeof(KursSatz) == 16 && offsetof(KursSatz, Kurs) == 8 &&
                  offsetof(KursSatz, Volume) == 12);
    const auto* at = reinterpret_cast<const float*>(records);
    // Lanes: price, volume, price, volume.
    __m128 lo = _mm_set1_ps(std::numeric_limits<float>::infinity());
    __m128 hi = _mm_set1_ps(-std::numeric_limits<float>::infinity());
    __m128 nan = _mm_setzero_ps();
    __m128d volume = _mm_setzero_pd();
    // Lane 0: a time before the one before it (a NaN time fails the test too); lane 1 compares
    // a price and a volume as if they were a double and is not looked at.
    __m128d unordered = _mm_setzero_pd();
    __m128d before = _mm_castps_pd(_mm_loadu_ps(at));
    std::int64_t i = 0;
    for (; i + 4 <= n; i += 4) {
        const float* r = at + 4 * i;
        const __m128 x0 = _mm_loadu_ps(r), x1 = _mm_loadu_ps(r + 4), x2 = _mm_loadu_ps(r + 8),
                     x3 = _mm_loadu_ps(r + 12);
        const __m128d t0 = _mm_castps_pd(x0), t1 = _mm_castps_pd(x1), t2 = _mm_castps_pd(x2),
                      t3 = _mm_castps_pd(x3);
        unordered = _mm_or_pd(unordered,
                              _mm_or_pd(_mm_or_pd(_mm_cmpnge_pd(t0, before), _mm_cmpnge_pd(t1, t0)),
                                        _mm_or_pd(_mm_cmpnge_pd(t2, t1), _mm_cmpnge_pd(t3, t2))));
        before = t3;
        const __m128 kv01 = _mm_movehl_ps(x1, x0), kv23 = _mm_movehl_ps(x3, x2);
        lo = _mm_min_ps(lo, _mm_min_ps(kv01, kv23));
        hi = _mm_max_ps(hi, _mm_max_ps(kv01, kv23));
        nan = _mm_or_ps(nan, _mm_cmpunord_ps(kv01, kv23));
        // The four volumes, summed as doubles.
        const __m128 v = _mm_shuffle_ps(kv01, kv23, _MM_SHUFFLE(3, 1, 3, 1));
        volume = _mm_add_pd(volume, _mm_add_pd(_mm_cvtps_pd(v), _mm_cvtps_pd(_mm_movehl_ps(v, v))));
    }
    for (; i < n; ++i) {  // a file's last block may end on any count
        const __m128 x = _mm_loadu_ps(at + 4 * i);
        const __m128d t = _mm_castps_pd(x);
        unordered = _mm_or_pd(unordered, _mm_cmpnge_pd(t, before));
        before = t;
        const __m128 kv = _mm_movehl_ps(x, x);
        lo = _mm_min_ps(lo, kv);
        hi = _mm_max_ps(hi, kv);
        nan = _mm_or_ps(nan, _mm_cmpunord_ps(kv, kv));
        volume = _mm_add_sd(volume, _mm_cvtss_sd(_mm_setzero_pd(),
                                                 _mm_shuffle_ps(kv, kv, _MM_SHUFFLE(1, 1, 1, 1))));
    }
    alignas(16) float low[4], high[4];
    _mm_store_ps(low, lo);
    _mm_store_ps(high, hi);
    alignas(16) double sums[2];
    _mm_store_pd(sums, volume);
    const double volumeSum = sums[0] + sums[1];
    const float kursMin = std::min(low[0], low[2]), kursMax = std::max(high[0], high[2]);
    const double first = records[0].Zeit, last = records[n - 1].Zeit;
    // An infinite price shows in the extremes, an infinite volume in the sum.
    if ((_mm_movemask_pd(unordered) & 1) != 0 || _mm_movemask_ps(nan) != 0 ||
        !std::isfinite(kursMin) || !std::isfinite(kursMax) || !(std::min(low[1], low[3]) >= 0) ||
        !std::isfinite(volumeSum) || !namesDate(first) || !namesDate(last))
        return false;
    // In order: the first time is the least, the last the greatest.
    block.zeitMin = first;
    block.zeitMax = last;
    block.kursMin = kursMin;
    block.kursMax = kursMax;
    block.volumeSum = volumeSum;
    return true;
}
#endif

}  // namespace

void DataFileDocument::scanRecords(const KursSatz* records, std::int64_t first, std::int64_t n,
                                   Pass& pass) const {
    clearUpperVectorState();
    // Block by block: `first` starts a block.
    for (std::int64_t b0 = 0; b0 < n; b0 += kBlockSize) {
        const KursSatz* r = records + b0;
        const std::int64_t m = std::min(n - b0, kBlockSize);
        Block& block = blocks_[static_cast<size_t>((first + b0) / kBlockSize)];
#if defined(__SSE2__)
        if (sumUsualBlock(r, m, block)) {
            ++pass.usualBlocks;
            pass.faults += pass.haveBefore && r[0].Zeit < pass.before.Zeit;
            pass.before = r[m - 1];
            pass.haveBefore = true;
            continue;
        }
#endif
        block = emptyBlock();
        sumBlockExactly(r, m, pass.before, pass.haveBefore, block, pass.faults);
    }
}

int DataFileDocument::readRecords(std::int64_t first, std::int64_t n, KursSatz* out,
                                  std::int64_t& got) const {
    std::vector<char> bytes(kRecordsAsInFile ? 0 : static_cast<size_t>(n * kRecordSize));
    char* into = kRecordsAsInFile ? reinterpret_cast<char*>(out) : bytes.data();
    std::int64_t bytesGot = 0;
    if (int e = fs_.read(file_.handle(), kHeaderSize + first * kRecordSize, into, n * kRecordSize,
                         bytesGot))
        return e;
    got = bytesGot / kRecordSize;
    if (!kRecordsAsInFile) decodeRecords(bytes.data(), got, out);
    return 0;
}

int DataFileDocument::scanChunk(std::int64_t chunk, KursSatz* buffer, Pass& pass) const {
    const std::int64_t first = chunk * kScanRecords;
    const std::int64_t n = std::min(kScanRecords, fileCount_ - first);
    // The order of the chunk's first record depends on the record before it: read with it.
    const std::int64_t from = first > 0 ? first - 1 : 0;
    const std::int64_t want = first + n - from;
    std::int64_t got = 0;
    if (int e = readRecords(from, want, buffer, got)) return e;
    if (got != want) return EIO;
    if (first > 0) {
        pass.before = buffer[0];
        pass.haveBefore = true;
    }
    scanRecords(buffer + (first - from), first, n, pass);
    // Its groups while its blocks are at hand (a chunk is whole groups).
    sumGroups(first / kGroupRecords, (first + n + kGroupRecords - 1) / kGroupRecords);
    return 0;
}

void DataFileDocument::startScan(bool small, std::function<void()> whenRead) {
    // One pass over the file: faults and chart blocks. Records are copied into a buffer a chunk
    // at a time, not mapped: a mapped page costs a fault, which on some machines (virtual ones
    // above all) is dearer than copying it, and a copy in chunks runs alike on any machine.
    // Every block and group is written by the chunk it belongs to.
    blocks_.assign(static_cast<size_t>((fileCount_ + kBlockSize - 1) / kBlockSize), emptyBlock());
    blocksValid_ = static_cast<std::int64_t>(blocks_.size());
    groups_.assign(static_cast<size_t>((fileCount_ + kGroupRecords - 1) / kGroupRecords),
                   emptyBlock());
    groupsValid_ = static_cast<std::int64_t>(groups_.size());
    opening_ = std::make_unique<Opening>();
    Opening& o = *opening_;
    o.chunks.chunks = (fileCount_ + kScanRecords - 1) / kScanRecords;
    o.chunks.run = [this](std::int64_t chunk, KursSatz* buffer) {
        Opening& o = *opening_;
        if (o.cancel || o.error) return;
        Pass pass;
        if (int e = scanChunk(chunk, buffer, pass)) {
            int none = 0;
            o.error.compare_exchange_strong(none, e);
            return;
        }
        o.faults += pass.faults;
        o.usualBlocks += pass.usualBlocks;
    };
    if (small || o.chunks.chunks == 0) {
        std::vector<KursSatz> buffer(static_cast<size_t>(std::min(fileCount_, kScanRecords) + 1));
        for (std::int64_t c = 0; c < o.chunks.chunks; ++c) o.chunks.run(c, buffer.data());
        return;
    }
    o.chunks.ended = std::move(whenRead);
    o.onWorkers = true;
    ScanWorkers::instance().start(o.chunks);
}

int DataFileDocument::finishScan() {
    if (!opening_) return 0;
    Opening& o = *opening_;
    if (o.onWorkers) ScanWorkers::instance().waitFor(o.chunks);
    faults_ = o.faults;
    usualBlocks_ = o.usualBlocks;
    const int error = o.error;
    opening_.reset();
    return error;
}

bool DataFileDocument::isFaultyAfter(const KursSatz& satz, const KursSatz* before) {
    if (!std::isfinite(satz.Kurs) || !(satz.Volume >= 0) || !namesDate(satz.Zeit)) return true;
    return before && satz.Zeit < before->Zeit;
}

std::int64_t DataFileDocument::count() const {
    if (!edited_) return fileCount_;
    return static_cast<std::int64_t>(edited_->size()) + (fileCount_ - editedFrom_);
}

const KursSatz* DataFileDocument::page(std::int64_t pageIndex) const {
    auto it = pages_.find(pageIndex);
    if (it != pages_.end()) {
        ages_.splice(ages_.begin(), ages_, it->second.age);
        return it->second.records.data();
    }
    if (pages_.size() >= kPagesKept) {
        pages_.erase(ages_.back());
        ages_.pop_back();
    }
    Page p;
    p.records.assign(static_cast<size_t>(kPageRecords), KursSatz{});
    // A file cut short by another program reads as zero records past its end.
    std::int64_t got = 0;
    readRecords(pageIndex * kPageRecords, kPageRecords, p.records.data(), got);
    ages_.push_front(pageIndex);
    p.age = ages_.begin();
    return pages_.emplace(pageIndex, std::move(p)).first->second.records.data();
}

KursSatz DataFileDocument::fileRecord(std::int64_t index) const {
    return page(index / kPageRecords)[index % kPageRecords];
}

KursSatz DataFileDocument::record(std::int64_t index) const {
    if (edited_) {
        const auto n = static_cast<std::int64_t>(edited_->size());
        if (index < n) return (*edited_)[static_cast<size_t>(index)];
        return fileRecord(index - n + editedFrom_);
    }
    return fileRecord(index);
}

bool DataFileDocument::isFaulty(std::int64_t index) const {
    const KursSatz s = record(index);
    if (index == 0) return isFaultyAfter(s, nullptr);
    const KursSatz before = record(index - 1);
    return isFaultyAfter(s, &before);
}

std::int64_t DataFileDocument::lowerBound(double zeit) const {
    // First over the blocks' last times, which are in memory: the records of one block are read
    // then, not a page at every step.
    const std::vector<Block>& summed = blocks();
    const auto block = std::partition_point(summed.begin(), summed.end(),
                                            [zeit](const Block& b) { return b.zeitMax < zeit; });
    std::int64_t lo = std::min(count(), (block - summed.begin()) * kBlockSize);
    std::int64_t hi = std::min(count(), lo + kBlockSize);
    while (lo < hi) {
        const std::int64_t mid = lo + (hi - lo) / 2;
        if (record(mid).Zeit < zeit)
            lo = mid + 1;
        else
            hi = mid;
    }
    return lo;
}

std::int64_t DataFileDocument::firstAtOrAfter(double zeit) const {
    const std::int64_t n = count();
    if (faults_ == 0) return lowerBound(zeit);
    for (std::int64_t i = 0; i < n; ++i)
        if (record(i).Zeit >= zeit) return i;
    return n;
}

std::int64_t DataFileDocument::refresh() {
    std::int64_t size = 0;
    if (file_.size(size)) return 0;
    const std::int64_t now = recordCount(size);
    if (now <= fileCount_) return 0;
    // The last page may have been read before it was full.
    const std::int64_t lastPage = fileCount_ / kPageRecords;
    if (auto it = pages_.find(lastPage); it != pages_.end()) {
        ages_.erase(it->second.age);
        pages_.erase(it);
    }
    const std::int64_t oldCount = count();
    fileCount_ = now;
    const std::int64_t newCount = count();
    for (std::int64_t i = oldCount; i < newCount; ++i)
        if (isFaulty(i)) ++faults_;
    blocksValid_ = std::min(blocksValid_, oldCount / kBlockSize);
    groupsValid_ = std::min(groupsValid_, oldCount / kGroupRecords);
    return newCount - oldCount;
}

void DataFileDocument::materialise() {
    // Edits work on records in memory; the file's records up to now are taken in.
    if (!edited_) {
        edited_.emplace();
        editedFrom_ = 0;
        firstTouched_ = std::numeric_limits<std::int64_t>::max();
    }
    const std::int64_t n = fileCount_ - editedFrom_;
    if (n <= 0) return;
    auto& e = *edited_;
    const size_t at = e.size();
    e.resize(at + static_cast<size_t>(n));
    for (std::int64_t i = 0; i < n; ++i)
        e[at + static_cast<size_t>(i)] = fileRecord(editedFrom_ + i);
    editedFrom_ = fileCount_;
    encodeKursSatz(fileRecord(editedFrom_ - 1), lastTaken_);
}

std::int64_t DataFileDocument::faultsIn(std::int64_t first, std::int64_t last) const {
    std::int64_t n = 0;
    for (std::int64_t i = std::max<std::int64_t>(first, 0); i <= last && i < count(); ++i)
        n += isFaulty(i);
    return n;
}

void DataFileDocument::touched(std::int64_t index, bool shifted) {
    firstTouched_ = std::min(firstTouched_, index);
    const std::int64_t block = index / kBlockSize;
    groupsValid_ = std::min(groupsValid_, index / kGroupRecords);
    if (shifted) {
        blocksValid_ = std::min(blocksValid_, block);
    } else if (block < blocksValid_) {
        Block b = emptyBlock();
        for (std::int64_t i = block * kBlockSize; i < std::min(count(), (block + 1) * kBlockSize);
             ++i)
            addToBlock(b, record(i));
        blocks_[static_cast<size_t>(block)] = b;
    }
}

const std::vector<DataFileDocument::Block>& DataFileDocument::blocks() const {
    if (blocksValid_ * kBlockSize < count() ||
        static_cast<std::int64_t>(blocks_.size()) != (count() + kBlockSize - 1) / kBlockSize)
        rebuildBlocks(blocksValid_);
    return blocks_;
}

const std::vector<DataFileDocument::Block>& DataFileDocument::groups() const {
    const std::vector<Block>& summed = blocks();
    const auto wanted = static_cast<std::int64_t>(
        (summed.size() + static_cast<size_t>(kGroupBlocks) - 1) / kGroupBlocks);
    if (groupsValid_ < wanted || static_cast<std::int64_t>(groups_.size()) != wanted) {
        groups_.resize(static_cast<size_t>(wanted));
        sumGroups(std::min(groupsValid_, wanted), wanted);
        groupsValid_ = wanted;
    }
    return groups_;
}

void DataFileDocument::sumGroups(std::int64_t first, std::int64_t end) const {
    const auto blockCount = static_cast<std::int64_t>(blocks_.size());
    for (std::int64_t g = first; g < end; ++g) {
        Block sum = emptyBlock();
        for (std::int64_t b = g * kGroupBlocks; b < std::min(blockCount, (g + 1) * kGroupBlocks);
             ++b)
            addBlock(sum, blocks_[static_cast<size_t>(b)]);
        groups_[static_cast<size_t>(g)] = sum;
    }
}

void DataFileDocument::rebuildBlocks(std::int64_t fromBlock) const {
    const std::int64_t n = count();
    fromBlock = std::min<std::int64_t>(fromBlock, static_cast<std::int64_t>(blocks_.size()));
    blocks_.resize(static_cast<size_t>(fromBlock));
    blocks_.resize(static_cast<size_t>((n + kBlockSize - 1) / kBlockSize), emptyBlock());
    for (std::int64_t i = fromBlock * kBlockSize; i < n; ++i)
        addToBlock(blocks_[static_cast<size_t>(i / kBlockSize)], record(i));
    blocksValid_ = static_cast<std::int64_t>(blocks_.size());
}

// Each edit changes the fault marks of its record and the one behind it only.
void DataFileDocument::set(std::int64_t index, const KursSatz& satz) {
    materialise();
    faults_ -= faultsIn(index, index + 1);
    (*edited_)[static_cast<size_t>(index)] = satz;
    faults_ += faultsIn(index, index + 1);
    touched(index, false);
}

void DataFileDocument::insert(std::int64_t index, const KursSatz& satz) {
    insertRange(index, {satz});
}

KursSatz DataFileDocument::remove(std::int64_t index) { return removeRange(index, 1).front(); }

std::vector<KursSatz> DataFileDocument::removeRange(std::int64_t first, std::int64_t n) {
    materialise();
    faults_ -= faultsIn(first, first + n);
    const auto from = edited_->begin() + first;
    std::vector<KursSatz> gone(from, from + n);
    edited_->erase(from, from + n);
    faults_ += faultsIn(first, first);
    touched(first, true);
    return gone;
}

void DataFileDocument::insertRange(std::int64_t first, const std::vector<KursSatz>& records) {
    materialise();
    const auto n = static_cast<std::int64_t>(records.size());
    faults_ -= faultsIn(first, first);
    edited_->insert(edited_->begin() + first, records.begin(), records.end());
    faults_ += faultsIn(first, first + n);
    touched(first, true);
}

Result<void> DataFileDocument::save(DataFileStore& store) {
    if (!edited_) return {};
    const std::vector<KursSatz>& edited = *edited_;
    const auto editedCount = static_cast<std::int64_t>(edited.size());
    const std::int64_t from = std::min({firstTouched_, editedFrom_, editedCount});
    const std::int64_t shown = count();

    // Ticks of this program wait while the file is rewritten; another program's appends wait
    // for the store's lock on the file.
    Result<void> saved;
    {
        const DataFileStore::Holding holding(store, path_);
        saved = store.rewriteInPlace(
            path_, kHeaderSize + from * kRecordSize, nullptr,
            [&](DataFileStore::OldBytes& old, DataFileStore::NewBytes& out) {
                std::vector<char> bytes(static_cast<size_t>(kChunkRecords * kRecordSize));
                for (std::int64_t i = from; i < editedCount; i += kChunkRecords) {
                    const std::int64_t n = std::min(kChunkRecords, editedCount - i);
                    for (std::int64_t k = 0; k < n; ++k)
                        encodeKursSatz(edited[static_cast<size_t>(i + k)],
                                       bytes.data() + k * kRecordSize);
                    if (int e = out.write(bytes.data(), n * kRecordSize)) return e;
                }
                // The file must still hold what was taken in: its last record then, unchanged at
                // its place (another program's rewrite in between would be undone or mixed in).
                if (editedFrom_ > from) {
                    char r[kRecordSize];
                    std::int64_t got = 0;
                    if (int e =
                            old.read((editedFrom_ - 1 - from) * kRecordSize, r, kRecordSize, got))
                        return e;
                    if (got != kRecordSize || std::memcmp(r, lastTaken_, kRecordSize) != 0)
                        return kChangedMeanwhile;
                }
                // The records behind the edited ones, including those a recorder appended since we
                // looked: whole records only.
                std::int64_t offset = (editedFrom_ - from) * kRecordSize;
                const std::int64_t end = offset + (old.size() - offset) / kRecordSize * kRecordSize;
                while (offset < end) {
                    const std::int64_t want =
                        std::min<std::int64_t>(end - offset, kChunkRecords * kRecordSize);
                    std::int64_t got = 0;
                    if (int e = old.read(offset, bytes.data(), want, got)) return e;
                    if (got != want) return EIO;
                    if (int e = out.write(bytes.data(), got)) return e;
                    offset += got;
                }
                return 0;
            });
    }
    if (saved.code() == kChangedMeanwhile)
        return Error{kChangedMeanwhile,
                     QStringLiteral("Die Datei wurde inzwischen von einem anderen Vorgang "
                                    "umgeschrieben (etwa von der Datenpflege); es wurde nichts "
                                    "gespeichert. Bitte schließen Sie den Dateninspektor ohne zu "
                                    "speichern und öffnen Sie die Datei neu.")};
    if (!saved) return saved;
    edited_.reset();
    editedFrom_ = 0;
    pages_.clear();
    ages_.clear();
    // What was shown is now the file; what came meanwhile comes with the next refresh().
    fileCount_ = shown;
    return {};
}

std::vector<ChartColumn> DataFileDocument::decimate(double from, double to, int columns) const {
    std::vector<ChartColumn> out;
    if (columns <= 0 || !(to > from) || count() == 0) return out;
    const double width = (to - from) / columns;
    std::vector<Block> sums(static_cast<size_t>(columns), emptyBlock());
    auto column = [&](double zeit) {
        return static_cast<size_t>(std::clamp((zeit - from) / width, 0.0, columns - 1.0));
    };
    // Both ends belong to the span: the last record of a file lies on its chart's right edge.
    const std::int64_t first = lowerBound(from),
                       end =
                           lowerBound(std::nextafter(to, std::numeric_limits<double>::infinity()));
    // Many blocks per column: a block goes whole to the column of its first time. A block
    // across a column's edge moves its extremes by a fraction of a pixel at most. The same for
    // groups of blocks, where there are many of them per column (a whole day's chart).
    auto fromSums = [&](const std::vector<Block>& summed, std::int64_t records) {
        const double perWidth = 1 / width;
        // The column's sum stays in registers while its blocks come.
        int current = -1;
        Block sum = emptyBlock();
        auto flush = [&] {
            if (current >= 0) addBlock(sums[static_cast<size_t>(current)], sum);
        };
        for (std::int64_t b = first / records; b * records < end; ++b) {
            const Block& block = summed[static_cast<size_t>(b)];
            if (!(block.zeitMin <= block.zeitMax) || block.zeitMin > to || block.zeitMax < from)
                continue;
            const int c =
                static_cast<int>(std::clamp((block.zeitMin - from) * perWidth, 0.0, columns - 1.0));
            if (c != current) {
                flush();
                current = c;
                sum = block;
                continue;
            }
            sum.kursMin = std::min(sum.kursMin, block.kursMin);
            sum.kursMax = std::max(sum.kursMax, block.kursMax);
            sum.volumeSum += block.volumeSum;
        }
        flush();
    };
    const std::int64_t perColumn = (end - first) / columns;
    if (perColumn > 4 * kGroupRecords) {
        fromSums(groups(), kGroupRecords);
    } else if (perColumn > 4 * kBlockSize) {
        fromSums(blocks(), kBlockSize);
    } else {
        for (std::int64_t i = first; i < end; ++i) {
            const KursSatz s = record(i);
            if (s.Zeit >= from && s.Zeit <= to) addToBlock(sums[column(s.Zeit)], s);
        }
    }
    for (int c = 0; c < columns; ++c) {
        const Block& sum = sums[static_cast<size_t>(c)];
        if (sum.kursMin > sum.kursMax) continue;  // no record, or no finite price
        out.push_back({from + (c + 0.5) * width, sum.kursMin, sum.kursMax, sum.volumeSum});
    }
    return out;
}

}  // namespace vqs
