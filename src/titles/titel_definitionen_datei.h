#pragma once

#include "common/keyed_collection.h"
#include "common/serial_date.h"
#include "datafiles/file_system.h"
#include "model/tagged_value.h"
#include "model/titel_def.h"

#include <QByteArray>
#include <QString>
#include <QStringList>

#include <functional>
#include <optional>

namespace vqs {

class TitelRegistry;

inline constexpr char kTitelDefinitionenKennung[] = "Tradomir VQS BravoltDefs 01.00";
inline constexpr int kTitelDefinitionenKennungLength = 30;

// The bytes of a definitions file for the collection, in collection order.
QByteArray encodeTitelDefinitionen(const KeyedCollection<TitelDef>& definitions);

// How far the definitions of a file's bytes could be read.
struct TitelDefinitionenScan {
    enum Status {
        kWhole,    // every definition (an empty file holds none)
        kForeign,  // not a definitions file: nothing read
        kDamaged,  // the definitions before the damage were read
    } status = kWhole;
    QString problem;  // German, for Foreign and Damaged
};

// Reads the definitions one at a time, in file order, holding no more than one in memory:
// onCount gets the upper bound of the stored list before the first; onDefinition gets each
// element's index and its definition (none for an element that cannot be one).
TitelDefinitionenScan scanTitelDefinitionen(
    QByteArrayView bytes, const std::function<void(qint64 upperBound)>& onCount,
    const std::function<void(qint64 index, std::optional<TitelDef>&& def)>& onDefinition);

// Writes aside and replaces the file in one step; throws VqsError.
void writeTitelDefinitionenFile(const QString& path, const KeyedCollection<TitelDef>& definitions);

// The bytes of a file that is a regular file (a FIFO or device under the name is refused at once,
// never waited on), at most 64 MiB; throws VqsError. Empty for a missing file.
QByteArray readTitelDefinitionenBytes(const QString& path, FileSystem& fs = systemFileSystem());

// What loading tells the windows on its way.
class TitelLoadProgress {
public:
    virtual ~TitelLoadProgress() = default;
    virtual void status(const QString& /*text*/) {}
    virtual void progressMaximum(int /*maximum*/) {}
    virtual void progress(int /*value*/) {}
    virtual void yield() {}
};

struct TitelLoadResult {
    int definitions = 0;
    QStringList refused;  // active titles whose subscription the broker refused
    // Why the file did not load whole, with how many definitions were taken and where the
    // original was kept; empty when it loaded whole (a missing or empty file too).
    QString problem;
};

// "Bravolt_Titel.Dat": loads into the registry, saves from it. A file that does not load whole
// (damaged, foreign, or random bytes) is never overwritten unseen: its bytes are kept aside
// under a name with date and time before anything is saved over it.
class TitelDefinitionenDatei {
public:
    TitelDefinitionenDatei(QString path, const Clock& clock, FileSystem& fs = systemFileSystem());
    // Its name in the program folder.
    static constexpr char kFileName[] = "Bravolt_Titel.Dat";
    const QString& path() const { return path_; }

    // Replaces the registry's titles by the file's. A missing file is created empty and loads
    // nothing; with `subscribe`, every active title starts recording. Throws nothing.
    TitelLoadResult load(TitelRegistry& registry, bool subscribe, TitelLoadProgress& progress);
    // Throws VqsError with the German reason.
    void save(const KeyedCollection<TitelDef>& definitions);

private:
    // Copies the file's bytes aside; the copy's path, or the reason it failed (VqsError).
    QString keepOriginal(const QByteArray& bytes);

    QString path_;
    const Clock& clock_;
    FileSystem& fs_;
    bool originalToKeep_ = false;  // the file did not load whole and is not kept aside yet
};

}  // namespace vqs
