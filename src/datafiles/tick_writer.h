#pragma once

#include "common/keyed_collection.h"
#include "common/kursart.h"
#include "common/serial_date.h"
#include "titles/titel_def.h"

#include "datafiles/raw_file.h"

#include <QHash>
#include <QString>

#include <utility>

namespace vqs {

// Adds the date to a time-of-day-only stamp (below 1.0) from the clock: a late quote seen
// before 09:00 belongs to yesterday, one just after midnight seen after 22:48 to tomorrow.
double completeTimestamp(double zeit, const Clock& clock);

// Appends one tick record to the data file of a title and quote kind: opens the file, creates
// it with its header or checks (and if old, completes) the header, appends, closes. Nothing
// stays open between ticks, so other programs can read every file at any moment.
class TickWriter {
public:
    TickWriter(KeyedCollection<TitelDef>& definitions, const QString& dataRoot, const Clock& clock)
        : definitions_(definitions), dataRoot_(dataRoot), clock_(clock) {}

    // Never shows or throws anything: a tick that cannot be written is lost (false), and a
    // file that is not a data file is never written to. A file name built here is remembered
    // in def and in the definition under "K" + titelKey, at its place.
    bool append(TitelDef& def, Kursart kind, const QString& titelKey, float kurs, float volume,
                double zeit);

private:
    QString fileNameFor(TitelDef& def, Kursart kind, const QString& titelKey);
    const RawFile::NativePath& pathFor(const TitelDef& def, Kursart kind, const QString& titelKey,
                                       const QString& name);

    // The path of each title and kind, built once: building it takes longer than a system call.
    struct CachedPath {
        QString root, ordner, name;
        RawFile::NativePath path;
    };
    QHash<std::pair<QString, Kursart>, CachedPath> paths_;

    KeyedCollection<TitelDef>& definitions_;
    const QString& dataRoot_;
    const Clock& clock_;
};

}  // namespace vqs
