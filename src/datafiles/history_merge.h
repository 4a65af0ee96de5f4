#pragma once

#include "datafiles/data_file_store.h"
#include "datafiles/datei_kopf.h"
#include "model/titel_def.h"

#include <QDate>
#include <QLocale>
#include <QString>

#include <vector>

namespace vqs {

// What a merge tells its window on its way, and when it lets the event loop breathe.
class MergeProgress {
public:
    virtual ~MergeProgress() = default;
    virtual void progressMaximum(int /*maximum*/) {}
    virtual void progress(int /*value*/) {}
    // Cancelling is impossible while a file is being rewritten.
    virtual void cancelEnabled(bool /*enabled*/) {}
    virtual void yield() {}
};

struct MergeResult {
    enum Outcome {
        kMerged,      // the file holds the merge
        kNothing,     // no usable tick: the file is untouched (and none is made)
        kNoDataFile,  // short or foreign header: left as it is
        kFailed,      // the error below; the file is as it was before the merge
    } outcome = kNothing;
    Error error;      // for kFailed and kNoDataFile
    int written = 0;  // fetched ticks written
    qint64 kept = 0;  // old records kept after the last fetched tick
};

// Merges fetched paid-price ticks into the title's paid-price file, in place: the old records
// earlier than the first fetched tick stay as they are, the fetched ticks follow (without those
// of no turnover when `volumeFilter` is on), then every old record later than the last fetched
// tick; the file is cut to its new length and `Pflegedatum` gets `today`. Ticks out of time order
// are put in order (stable); ticks with no finite time or price, or a negative volume, are
// dropped. A missing or empty file is made with its header. The file is held in the store while
// it is rewritten (its realtime ticks wait) and rewritten under a journal: a crash at any moment
// leaves, after recovery, the old file or the merged one. Memory stays bounded whatever the size
// of the file.
MergeResult mergeHistory(DataFileStore& store, const TitelDef& def, std::vector<KursSatz> fetched,
                         bool volumeFilter, QDate today, MergeProgress& progress);

// The "Pflegedatum" text of a day: the system's short date, cut or padded to 8 characters.
QString pflegedatumText(QDate day, const QLocale& locale = QLocale::system());

}  // namespace vqs
