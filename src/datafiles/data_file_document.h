#pragma once

#include "common/result.h"
#include "datafiles/datei_kopf.h"
#include "datafiles/file_system.h"

#include <QString>

#include <atomic>
#include <cstdint>
#include <functional>
#include <list>
#include <memory>
#include <optional>
#include <unordered_map>
#include <vector>

namespace vqs {

class DataFileStore;

// A data file opened for looking and editing. Records are read in pages on demand, so that a
// file of millions of records opens after one pass (which counts the faulty records and sums
// up blocks for the chart). Edits stay in memory until save(); records that a recorder appends
// meanwhile show at the end (refresh()) and are kept by the save.
// One pixel column of the chart: the extremes of the prices and the sum of the volumes of the
// records in its span of time.
struct ChartColumn {
    double zeit;  // the middle of the span
    float kursMin, kursMax;
    double volume;
};

class DataFileDocument {
public:
    // Records per chart block: a block's extremes stand for it when a pixel column covers it.
    static constexpr std::int64_t kBlockSize = 64;
    struct Block {
        double zeitMin = 0, zeitMax = 0;
        float kursMin = 0, kursMax = 0;  // finite prices only; min > max when there are none
        double volumeSum = 0;
    };

    // The largest file opened: 2 GiB, some 134 million records.
    static constexpr std::int64_t kLargestFile = std::int64_t{2} << 30;
    // Opens a data file for reading; a foreign, short or too large file is refused with the
    // reason (in German, for the user). Never opens the file for writing.
    static Result<std::unique_ptr<DataFileDocument>> open(const QString& path,
                                                          FileSystem& fs = systemFileSystem());
    // The same without waiting for the pass over a large file, so that a window shows at once
    // (a file on a slow disk takes seconds): the pass runs on threads of its own and calls
    // `whenRead` on one of them when it has ended. Until finishOpening() has returned,
    // isRead() is false and only path(), header(), count(), record() and isFaulty() may be
    // asked. A small file is read before this returns (isRead() is true; `whenRead` is not
    // called). finishOpening() waits for the pass: nothing, or why the file could not be read
    // (the document is of no use then).
    static Result<std::unique_ptr<DataFileDocument>> beginOpening(const QString& path,
                                                                  FileSystem& fs,
                                                                  std::function<void()> whenRead);
    Result<void> finishOpening();
    bool isRead() const { return !opening_; }
    ~DataFileDocument();
    DataFileDocument(const DataFileDocument&) = delete;
    DataFileDocument& operator=(const DataFileDocument&) = delete;

    const QString& path() const { return path_; }
    const DateiKopf& header() const { return header_; }

    std::int64_t count() const;
    KursSatz record(std::int64_t index) const;
    // Out of time order (earlier than the record before), a time that names no date, a price
    // that is not a finite number, or a negative volume.
    bool isFaulty(std::int64_t index) const;
    static bool isFaultyAfter(const KursSatz& satz, const KursSatz* before);
    std::int64_t faultCount() const { return faults_; }
    // The chart blocks the opening pass summed the fast way (vector instructions, a block whose
    // records are all usual), of blocks().size(): what a benchmark says beside its times.
    std::int64_t usualBlocks() const { return usualBlocks_; }
    // The first record at or after `zeit`; count() when there is none.
    std::int64_t firstAtOrAfter(double zeit) const;
    // The same by binary search alone: exact for records in time order, a near place otherwise.
    std::int64_t lowerBound(double zeit) const;
    const std::vector<Block>& blocks() const;
    // Blocks summed up by kGroupBlocks: few enough to go through for a chart of the whole file.
    static constexpr std::int64_t kGroupBlocks = 16;
    static constexpr std::int64_t kGroupRecords = kGroupBlocks * kBlockSize;
    const std::vector<Block>& groups() const;

    // Takes the records appended to the file since the last look: how many came (0 when none,
    // or when the file shrank under us: then nothing changes here).
    std::int64_t refresh();

    // Edits. Each keeps the faults and blocks up to date.
    void set(std::int64_t index, const KursSatz& satz);
    void insert(std::int64_t index, const KursSatz& satz);
    KursSatz remove(std::int64_t index);
    // A run of records at once: one move of the records behind it, however long the run.
    std::vector<KursSatz> removeRange(std::int64_t first, std::int64_t n);
    void insertRange(std::int64_t first, const std::vector<KursSatz>& records);
    bool isEdited() const { return edited_.has_value(); }

    // Writes the edits into the file in place through the store (crash-safe under its journal,
    // the file keeps its identity). Records appended by a recorder since the file was opened
    // stay behind the edited ones. Afterwards the document reads the saved file.
    Result<void> save(DataFileStore& store);
    // The save's error when another program rewrote the records this document read (a
    // Datenpflege merge meanwhile): nothing is written, the edits stay.
    static constexpr int kChangedMeanwhile = -2;
    // The opening's error for a file over kLargestFile (a file that is no data file is
    // DataFileStore::kNoDataFile, others errno values).
    static constexpr int kTooLarge = -3;

    // The chart's columns between two times: each column's records summed up (through the
    // blocks where a column covers them whole), columns without records left out.
    std::vector<ChartColumn> decimate(double from, double to, int columns) const;

private:
    DataFileDocument(FileSystem& fs, QString path);
    // The state of the opening pass over a run of records.
    struct Pass {
        KursSatz before;
        bool haveBefore = false;
        std::int64_t faults = 0;
        std::int64_t usualBlocks = 0;
    };
    struct Opening;  // the opening pass under way
    // A small file is read on the calling thread; a large one by the scan workers, chunk by
    // chunk, whichever worker is free taking the next.
    void startScan(bool small, std::function<void()> whenRead);
    Error unreadable(int error) const;
    int finishScan();
    // Up to `n` records from `first` on; `got`: how many whole ones the file held.
    int readRecords(std::int64_t first, std::int64_t n, KursSatz* out, std::int64_t& got) const;
    // One chunk of the opening pass (whole chart groups): its faults and blocks, then its groups.
    // `buffer` holds a chunk and the record before it.
    int scanChunk(std::int64_t chunk, KursSatz* buffer, Pass& pass) const;
    void scanRecords(const KursSatz* records, std::int64_t first, std::int64_t n, Pass& pass) const;
    const KursSatz* page(std::int64_t pageIndex) const;
    KursSatz fileRecord(std::int64_t index) const;
    void materialise();
    std::int64_t faultsIn(std::int64_t first, std::int64_t last) const;
    void touched(std::int64_t index, bool shifted);
    void rebuildBlocks(std::int64_t fromBlock) const;
    void sumGroups(std::int64_t first, std::int64_t end) const;

    FileSystem& fs_;
    QString path_;
    mutable OpenFile file_;
    DateiKopf header_;
    std::int64_t fileCount_ = 0;  // whole records in the file at the last look
    std::unique_ptr<Opening> opening_;

    // Pages of file records, least recently used dropped first.
    static constexpr std::int64_t kPageRecords = 4096;
    static constexpr size_t kPagesKept = 64;
    struct Page {
        std::vector<KursSatz> records;
        std::list<std::int64_t>::iterator age;
    };
    mutable std::unordered_map<std::int64_t, Page> pages_;
    mutable std::list<std::int64_t> ages_;

    // Once edited: the file's first `editedFrom_` records as edited; the file's records behind
    // them follow unchanged.
    std::optional<std::vector<KursSatz>> edited_;
    std::int64_t editedFrom_ = 0;
    std::int64_t firstTouched_ = 0;     // the first index an edit changed since the last save
    char lastTaken_[kRecordSize] = {};  // the file's record editedFrom_ - 1 when taken in

    std::int64_t faults_ = 0;
    std::int64_t usualBlocks_ = 0;
    // Rebuilt from blocksValid_ on when asked for: an insert or a delete shifts every block
    // behind it, and many of them in a row need one rebuild only.
    mutable std::vector<Block> blocks_;
    mutable std::int64_t blocksValid_ = 0;
    mutable std::vector<Block> groups_;
    mutable std::int64_t groupsValid_ = 0;
};

}  // namespace vqs
