#include "datafiles/history_merge.h"

#include <QLocale>

#include <algorithm>
#include <cmath>
#include <cstring>

namespace vqs {
namespace {

// Records read or written at once: enough to keep the calls few, little enough for any memory.
constexpr std::int64_t kChunkRecords = 1 << 16;

double zeitOf(const char* record) {
    double zeit;
    std::memcpy(&zeit, record, sizeof zeit);  // little-endian, as the file is
    return zeit;
}

// The first record to be overwritten: the first one at or after `first`, found by halving as in
// a file in time order. In a file out of order old records earlier than `first` may lie behind
// it; the merge keeps those (see below), so no old record earlier than the fetched span is lost.
int insertionPoint(OpenFile& file, std::int64_t records, double first, std::int64_t& point) {
    std::int64_t low = 0, high = records;
    while (low < high) {
        const std::int64_t middle = low + (high - low) / 2;
        char record[kRecordSize];
        if (int error = file.readAll(kHeaderSize + middle * kRecordSize, record, kRecordSize))
            return error;
        if (zeitOf(record) < first)
            low = middle + 1;
        else
            high = middle;
    }
    point = kHeaderSize + low * kRecordSize;
    return 0;
}

}  // namespace

QString pflegedatumText(QDate day, const QLocale& locale) {
    return locale.toString(day, QLocale::ShortFormat).left(8).leftJustified(8);
}

MergeResult mergeHistory(DataFileStore& store, const TitelDef& def, std::vector<KursSatz> fetched,
                         bool volumeFilter, QDate today, MergeProgress& progress) {
    MergeResult result;
    std::erase_if(fetched, [](const KursSatz& k) {
        return !std::isfinite(k.Zeit) || !std::isfinite(k.Kurs) || !std::isfinite(k.Volume) ||
               k.Volume < 0;
    });
    const auto earlier = [](const KursSatz& x, const KursSatz& y) { return x.Zeit < y.Zeit; };
    if (!std::is_sorted(fetched.begin(), fetched.end(), earlier))
        std::stable_sort(fetched.begin(), fetched.end(), earlier);
    if (fetched.empty()) return result;
    const double first = fetched.front().Zeit;
    const double last = fetched.back().Zeit;  // written or not: old records up to it go
    std::vector<KursSatz> written;
    written.reserve(fetched.size());
    for (const KursSatz& k : fetched) {
        if (!(volumeFilter && k.Volume <= 0)) written.push_back(k);
    }

    // Realtime ticks of the file wait while it is rewritten; none lands inside the merge.
    const QString path = store.filePath(def, kBezahlt);
    const DataFileStore::Holding holding(store, path);
    progress.progress(0);

    auto fail = [&](const Error& error) {
        result.outcome = error.code == DataFileStore::kNoDataFile ? MergeResult::kNoDataFile
                                                                  : MergeResult::kFailed;
        result.error = error;
        return result;
    };
    {
        OpenFile file(store.fileSystem());
        int error = file.open(FileSystem::nativePath(path), FileSystem::Access::kRead);
        std::int64_t length = 0;
        if (!error) error = file.size(length);
        if (error == ENOENT || (!error && length == 0)) {
            // A new file holds the fetched ticks alone.
            file.close();
            DateiKopf header = buildHeader(def, kBezahlt);
            header.setField(kopf::kPflegedatum, pflegedatumText(today));
            const Result<void> created = store.create(def, kBezahlt, header, written);
            if (created) {
                store.coverUpTo(path, last);
                result.outcome = MergeResult::kMerged;
                result.written = static_cast<int>(written.size());
                return result;
            }
            // Made by another program meanwhile: merged into like any other.
            if (created.code() != EEXIST) return fail(created.error());
        } else if (error) {
            return fail(DataFileStore::errorOf(error));
        }
    }
    progress.yield();
    progress.cancelEnabled(false);
    progress.progressMaximum(static_cast<int>(fetched.size()));
    std::int64_t kept = 0;
    // Where the fetched ticks go is found under the file's lock, in the file as it is then:
    // another program's merge or save may have changed it since we looked.
    const auto plan = [&](OpenFile& file, std::int64_t length, const DateiKopf& old,
                          DataFileStore::RewriteStart& start) {
        std::int64_t point = kHeaderSize;
        if (int e = insertionPoint(file, recordCount(length), first, point)) return e;
        start.from = point;
        start.header = old;
        start.header->setField(kopf::kPflegedatum, pflegedatumText(today));
        return 0;
    };
    const Result<void> rewritten = store.rewriteInPlace(
        path, plan, [&](DataFileStore::OldBytes& old, DataFileStore::NewBytes& out) {
            std::vector<char> buffer(static_cast<size_t>(kChunkRecords) * kRecordSize);
            // The fetched ticks, a thousand at a time: the window shows how far it is and the
            // event loop breathes (realtime ticks of this file wait meanwhile).
            constexpr size_t kStep = 1000;
            for (size_t done = 0; done < written.size();) {
                const size_t n = std::min(written.size() - done, kStep);
                for (size_t i = 0; i < n; ++i)
                    encodeKursSatz(written[done + i], buffer.data() + i * kRecordSize);
                if (int e = out.write(buffer.data(), static_cast<std::int64_t>(n) * kRecordSize))
                    return e;
                done += n;
                if (n == kStep) {
                    progress.progress(static_cast<int>(done));
                    progress.yield();
                }
            }
            // Every old record outside the fetched span, however many there are (later ones
            // follow the fetched ticks; earlier ones only stand here in a file out of order);
            // runs of them go out as they stand.
            const auto outside = [&](double zeit) { return zeit > last || zeit < first; };
            const std::int64_t records = old.size() / kRecordSize;
            for (std::int64_t at = 0; at < records;) {
                const std::int64_t n = std::min(records - at, kChunkRecords);
                std::int64_t got = 0;
                if (int e = old.read(at * kRecordSize, buffer.data(), n * kRecordSize, got))
                    return e;
                if (got != n * kRecordSize) return EIO;
                for (std::int64_t i = 0; i < n;) {
                    std::int64_t end = i;
                    while (end < n && outside(zeitOf(buffer.data() + end * kRecordSize))) ++end;
                    if (end > i) {
                        const char* run = buffer.data() + i * kRecordSize;
                        if (int e = out.write(run, (end - i) * kRecordSize)) return e;
                        kept += end - i;
                    }
                    i = end + 1;  // the record that ended the run is dropped
                }
                at += n;
            }
            return 0;
        });
    progress.cancelEnabled(true);
    if (!rewritten) return fail(rewritten.error());
    store.coverUpTo(path, last);  // before the waiting ticks follow
    result.outcome = MergeResult::kMerged;
    result.written = static_cast<int>(written.size());
    result.kept = kept;
    return result;
}

}  // namespace vqs
