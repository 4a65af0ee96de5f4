#pragma once

#include "common/keyed_collection.h"
#include "common/serial_date.h"
#include "datafiles/file_system.h"
#include "model/tagged_value.h"
#include "model/titel_def.h"
#include "model/titel_def_collection.h"

#include <QByteArray>
#include <QString>
#include <QStringList>

#include <functional>
#include <optional>

namespace vqs {

class TitelRegistry;

inline constexpr char kTitelDefinitionenKennung[] = "Tradomir VQS BravoltDefs 01.00";
inline constexpr int kTitelDefinitionenKennungLength = 30;

// A definitions file larger than this is refused (with its size): legitimate ones stay far
// below, and reading it is never held up by one that is not.
inline constexpr qint64 kMaxTitelDefinitionenSize = 1LL << 30;

// The bytes of a definitions file for the collection, in collection order.
QByteArray encodeTitelDefinitionen(const TitelDefCollection& definitions);

// How far the definitions of a file's bytes could be read.
struct TitelDefinitionenScan {
    enum Status {
        kWhole,    // every definition (an empty file holds none)
        kForeign,  // not a definitions file: nothing read
        kDamaged,  // the definitions before the damage were read
    } status = kWhole;
    QString problem;  // German, for Foreign and Damaged
};

// What a scan hands over, in file order, holding no more than one definition in memory:
// onKennung once the header is found right (before anything else); onCount the upper bound
// of the stored list before the first element; onDefinition each element's index and its
// definition (none for an element that cannot be one). Any of them may be left out.
struct TitelDefinitionenHandlers {
    std::function<void()> onKennung;
    std::function<void(qint64 upperBound)> onCount;
    std::function<void(qint64 index, std::optional<TitelDef>&& def)> onDefinition;
};

// Reads the definitions of bytes in memory.
TitelDefinitionenScan scanTitelDefinitionen(QByteArrayView bytes,
                                            const TitelDefinitionenHandlers& handlers);

// Reads the definitions straight from a file, in pieces of `pieceSize` bytes (or the size of a
// value, where one is larger), so that memory follows the definitions, not the file. A file
// that is not a regular file (a FIFO or device under the name is refused at once, never waited
// on), cannot be opened, or is larger than kMaxTitelDefinitionenSize throws VqsError before
// anything is read; a missing file reads as an empty one. A read failing on the way is damage
// at that point.
TitelDefinitionenScan scanTitelDefinitionenFile(const QString& path, FileSystem& fs,
                                                const TitelDefinitionenHandlers& handlers,
                                                qint64 pieceSize = 1 << 20);

// Writes aside and replaces the file in one step (the old file stays whole until the new one
// is complete on disk), in pieces; throws VqsError.
void writeTitelDefinitionenFile(const QString& path, const TitelDefCollection& definitions);
// The same for definitions collected by key (tools and tests that build files).
void writeTitelDefinitionenFile(const QString& path, const KeyedCollection<TitelDef>& definitions);

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
    void save(const TitelDefCollection& definitions);

private:
    // Copies the file aside as it is; the copy's path, or the reason it failed (VqsError).
    QString keepOriginal();

    QString path_;
    const Clock& clock_;
    FileSystem& fs_;
    bool originalToKeep_ = false;  // the file did not load whole and is not kept aside yet
};

}  // namespace vqs
