#pragma once

#include "common/kursart.h"
#include "common/result.h"
#include "datafiles/datei_kopf.h"
#include "datafiles/file_system.h"
#include "model/titel_def.h"
#include "model/titel_id.h"

#include <QByteArray>
#include <QDeadlineTimer>
#include <QHash>
#include <QObject>
#include <QSet>
#include <QString>
#include <QStringList>

#include <algorithm>
#include <functional>
#include <list>
#include <memory>
#include <optional>
#include <vector>

namespace vqs {

// What became of a tick handed to the store.
enum class Appended {
    kWritten,  // it is in its file
    kHeld,     // its file is held: it waits in memory and is appended at release
    kCovered,  // a back-fill put it into the file already: not written again
    kFailed,   // not written; the store has reported why
    kQueued,   // waits for the end of this turn of the event loop; the listener hears its outcome
};

// A tick waiting for the end of the turn, with its time as the caller had it (before a date was
// added to a time of day): it comes back with the outcome.
struct QueuedTick {
    KursSatz satz;
    double givenZeit;
};

// Told what the store cannot do, and when it can again.
class DataFileStoreListener {
public:
    virtual ~DataFileStoreListener() = default;
    // Writing to `where` (a file, or the folder it should be in) fails for `reason`: told once,
    // and again only when the reason changes.
    virtual void failed(const QString& where, const QString& reason) = 0;
    // The fault at `where` is over: the file was written again, or its title stopped recording.
    virtual void faultEnded(const QString& where) = 0;
    // A tick that waited while its file was held has reached the file.
    virtual void heldTickWritten(const TitelDef& def, Kursart kind, const KursSatz& satz) = 0;
    // What became of the queued ticks of one file, in the order they came: the first `written`
    // are in the file, the others failed (and the failure was reported). Told once for every tick
    // that queue() answered kQueued.
    virtual void queuedTicksDone(const TitelDef& /*def*/, Kursart /*kind*/,
                                 const std::vector<QueuedTick>& /*ticks*/, size_t /*written*/) {}
    // A journal beside `file` did not belong to it (`reason`): it was renamed to `aside` and the
    // file left as it was.
    virtual void journalSetAside(const QString& file, const QString& aside,
                                 const QString& reason) = 0;
};

// What the user is told of a journal set aside: both files and why.
QString journalSetAsideText(const QString& file, const QString& aside, const QString& reason);

// Owns every write to data files. A realtime tick is appended in one write of whole records at
// the file's end, under the file's lock, so that readers can read at any moment; the files of
// recent ticks stay open between ticks (a bounded number of them), their lock is taken for each
// append only. A new file appears whole; a file held for a rewrite gets its realtime ticks
// afterwards, in order. Everything goes through a file-system seam, so that any call can be made
// to fail.
class DataFileStore {
public:
    explicit DataFileStore(FileSystem& fs = systemFileSystem());
    ~DataFileStore();
    DataFileStore(const DataFileStore&) = delete;
    DataFileStore& operator=(const DataFileStore&) = delete;

    // The data root; paths are built below it. Changing it forgets the paths built so far.
    void setRoot(const QString& root);
    const QString& root() const { return root_; }
    void setListener(DataFileStoreListener* listener) { listener_ = listener; }
    FileSystem& fileSystem() { return fs_; }

    // The path of a title's data file of this kind. The name is built once per title and kind;
    // the folder follows the definition. A folder that exists on disk in another letter case
    // is that folder.
    QString filePath(const TitelDef& def, Kursart kind);

    // Appends one record to the title's file of this kind, creating folder and file when they
    // are missing and completing an old header. A file that is not a data file (foreign or short
    // header) is never written to. Never shows anything: a failure goes to the listener.
    Appended append(const TitelDef& def, Kursart kind, const KursSatz& satz) {
        return append(def.id(), def, kind, satz);
    }
    // The same with the title's identity made once by the caller (the quote path).
    Appended append(const TitelId& id, const TitelDef& def, Kursart kind, const KursSatz& satz);

    // The quote path's append: the ticks of one turn of the event loop wait until it ends, then
    // each file takes its ticks in one write under one lock (and, when it was not kept open, one
    // open), in the order they came (kQueued; the listener hears their outcomes, file by file).
    // Where the disk takes only some of them, the first ones go in as whole records and the rest
    // are failed. A turn's writing stops after kTurnMs (slow new files on a slow disk): the
    // files not reached yet keep their ticks for the next turn, so that the loop stays
    // responsive (a signal to end is heard). Outside an event loop (a tool, a call with no loop
    // running) it appends at once, as append() does. Held, covered and unusable ticks are
    // answered at once, as by append().
    Appended queue(const TitelId& id, const TitelDef& def, Kursart kind, const KursSatz& satz,
                   double givenZeit);
    // Writes the queued ticks now. Every other call of the store that reads or writes data files
    // writes them first, so that they come before whatever that call does (not when it is made
    // while they are being written, from the listener).
    void flushQueued();
    // The same until `deadline` (at least one file): true when none is left.
    bool flushQueued(QDeadlineTimer deadline);
    // Gives up the queued ticks (the program ends and their time is up): each is told as failed.
    // The paths of their files.
    QStringList dropQueued();
    size_t queuedTicks() const { return queuedCount_; }
    static constexpr int kTurnMs = 250;

    // Appends records in one write, all or none: a file that cannot take them all is cut back
    // to what it was. The error is kNoDataFile for a file that is not one.
    Result<void> appendAll(const TitelDef& def, Kursart kind, const std::vector<KursSatz>& records);

    // Makes the title's file of this kind with this header and these records, whole (its folder
    // too); an empty file under the name is replaced. The error is EEXIST or another one.
    Result<void> create(const TitelDef& def, Kursart kind, const DateiKopf& header,
                        const std::vector<KursSatz>& records);

    // The last whole record of the title's file of this kind; none when there is no data file
    // or no record.
    std::optional<KursSatz> lastRecord(const TitelDef& def, Kursart kind);

    // Makes a file with exactly this content appear at `path` in one step: the content and then
    // the directory are flushed before the file has its name. The error is EEXIST (when `path`
    // exists and `replace` is false) or another one.
    Result<void> createWhole(const QString& path, QByteArrayView content, bool replace = false);

    // Reads what a file held from the rewrite's start on (kept in the journal, so that the new
    // content may overwrite it freely).
    class OldBytes {
    public:
        virtual ~OldBytes() = default;
        virtual std::int64_t size() const = 0;
        // Up to `length` bytes from `offset` (counted from the rewrite's start); `got` says how
        // many there were.
        virtual int read(std::int64_t offset, char* data, std::int64_t length,
                         std::int64_t& got) = 0;
    };
    // Takes the new content from the rewrite's start on, in order.
    class NewBytes {
    public:
        virtual ~NewBytes() = default;
        virtual int write(const char* data, std::int64_t length) = 0;
        virtual std::int64_t written() const = 0;
    };
    using Rewrite = std::function<int(OldBytes& old, NewBytes& out)>;

    // Where a rewrite starts (the first byte it may change) and the header it writes (none: the
    // old one stays).
    struct RewriteStart {
        std::int64_t from = 0;
        std::optional<DateiKopf> header;
    };
    // Decides the start under the file's lock, from the file as it is then (`length` bytes, a
    // data file with this header): 0, or an error that ends the rewrite before anything changed.
    using Plan = std::function<int(OpenFile& file, std::int64_t length, const DateiKopf& header,
                                   RewriteStart& start)>;

    // Rewrites a data file in place (the file keeps its identity: a reader that holds it open
    // goes on reading it). Under the file's lock, held from before the journal exists until it
    // is gone: a journal a crashed rewrite left is played back, `plan` says where to start, what
    // will be overwritten is kept in a journal beside the file and flushed, then `rewrite`
    // produces the new content, the file is cut to its end, the header (when given) replaced,
    // the file flushed, and the journal goes. A crash at any moment leaves, after the journal
    // is played back, the old file or the new one. Never through a link; a file that is not a
    // data file is refused (kNoDataFile). On an error the old content is put back; an error of
    // `plan` or `rewrite` keeps its code (its text is then the store's for that code).
    Result<void> rewriteInPlace(const QString& path, const Plan& plan, const Rewrite& rewrite);
    // The same from a fixed byte `from` on (EINVAL when the file is shorter by then).
    Result<void> rewriteInPlace(const QString& path, std::int64_t from, const DateiKopf* header,
                                const Rewrite& rewrite);

    // What became of a journal that stood beside a data file.
    struct JournalOutcome {
        enum Kind {
            kNone,        // there was none (or its rewrite ended while we waited for the file)
            kPlayedBack,  // the file is as it was before the crashed rewrite
            kCutShort,    // cut short before the file was touched: removed
            kSetAside,    // not the file's own: renamed to `aside`, the file left as it was
            kFailed,      // could not be played back (`error`): it stays, the file takes no tick
        } kind = kNone;
        Error error;
        QString aside;
        QString reason;  // why it was set aside
        static JournalOutcome of(Kind kind) {
            JournalOutcome o;
            o.kind = kind;
            return o;
        }
        static JournalOutcome failure(int code) {
            JournalOutcome o = of(kFailed);
            o.error = errorOf(code);
            return o;
        }
    };
    // Plays back every journal a crashed rewrite left below the data root (the root and its
    // folders). Both programs call it at start, before any tick is appended; an append plays a
    // standing journal back too. The paths of the files put back. A file whose journal cannot
    // be played back takes no tick until it can (each append tries again): see
    // unrecoveredJournals(). A journal set aside is told to the listener.
    QStringList recoverJournals();
    // File → error of the journals that could not be played back.
    const QHash<QString, Error>& unrecoveredJournals() const { return unrecovered_; }
    // The same for one file. A journal is played back only under the file's lock, which its
    // rewrite holds until the journal is gone, and only onto the file it names: the same file
    // (device and inode; never through a link), a data file of the same title, no shorter than
    // where the rewrite started; and only when its checksum holds. Anything else is set aside.
    JournalOutcome recoverJournal(const QString& path);
    static QString journalPath(const QString& path) { return path + QStringLiteral(".journal"); }

    // While a file is held, its realtime ticks wait in memory, in order; release appends them.
    // Holds nest: the file is free again after as many releases as holds.
    void hold(const QString& path);  // writes the queued ticks first: they precede the rewrite
    void release(const QString& path);
    bool isHeld(const QString& path) const { return held_.contains(path); }
    // Holds a file while it lives: released however the rewrite ends (an exception included),
    // so that the file's ticks never wait for ever.
    class Holding {
    public:
        Holding(DataFileStore& store, QString path) : store_(store), path_(std::move(path)) {
            store_.hold(path_);
        }
        ~Holding() { store_.release(path_); }
        Holding(const Holding&) = delete;
        Holding& operator=(const Holding&) = delete;

    private:
        DataFileStore& store_;
        QString path_;
    };
    // A back-fill put the broker's ticks up to `zeit` into the file: a realtime tick up to that
    // time that comes later (a stale first quote of a new subscription, a tick delivered late)
    // is in the file already and is not appended again. The first later tick ends it.
    void coverUpTo(const QString& path, double zeit) { covered_.insert(path, zeit); }

    // Closes the files kept open between ticks (they are opened again at the next one).
    void closeFiles();
    // Makes the names of the files made meanwhile durable, each folder once: a file's bytes are
    // on disk before its name appears, its folder is flushed after the turn of the event loop
    // that made it (at once without an event loop, and when the store goes), so that a burst of
    // new files costs one folder flush, not one each.
    void syncFolders();
    // Keeps at most this many files open (by default most of what the process may open).
    void keepOpenAtMost(size_t files) {
        keptLimit_ = std::max<size_t>(files, 1);
        while (kept_.size() > keptLimit_) closeKept(*kept_.back());
    }

    // The faults that last: where → reason.
    const QHash<QString, QString>& faults() const { return faults_; }
    // Forgets the faults of a title's files (it no longer records).
    void endFaultsOf(const TitelDef& def);

    // The error of a file that is not a data file.
    static constexpr int kNoDataFile = -1;
    // An error of the store, with what the user is told of it (an errno value or kNoDataFile).
    static Error errorOf(int code);
    static Result<void> resultOf(int code) {
        if (code) return errorOf(code);
        return {};
    }

private:
    struct Target;
    struct HeldTick {
        TitelDef def;
        Kursart kind;
        KursSatz satz;
    };
    struct Failure {
        int error = 0;
        bool inFolder = false;  // the folder could not be made
    };
    // What goes in when the disk cannot take every record of an append.
    enum class Whole {
        kAllOrNone,  // none of them
        kAsMany,     // the first ones, as many as fit, each whole
    };
    // A file's queued ticks.
    struct QueuedFile {
        Target* target;
        TitelDef def;
        Kursart kind;
        std::vector<QueuedTick> ticks;
    };
    static constexpr size_t kMostQueued = 1 << 16;   // ticks: a larger turn is written in parts
    static constexpr size_t kKeptRoom = 1 << 12;     // bytes of a write's room kept between turns
    static constexpr size_t kCreatedTogether = 256;  // new files flushed at once
    void turnEnded();
    void createTogether(size_t from, size_t to);
    // A new file on its way to its name, written aside.
    struct NewFile {
        QString path;
        FileSystem::Path aside;
        OpenFile file;
    };
    int writeWhole(const QString& path, QByteArrayView content, bool replace);
    int writeAside(NewFile& made, QByteArrayView content);
    int dropAside(NewFile& made, int error);
    // Gives a file written aside and flushed its name (replacing one only with `replace`).
    int nameWhole(NewFile& made, bool replace);

    Target& target(const TitelDef& def, Kursart kind) { return target(def.id(), def, kind); }
    Target& target(const TitelId& id, const TitelDef& def, Kursart kind);
    QString resolveFolder(const QString& ordner);
    // The file a tick goes to, or none with the tick's outcome (held, covered, unusable).
    Target* admit(const TitelId& id, const TitelDef& def, Kursart kind, const KursSatz& satz,
                  Appended& outcome);
    Appended appendOne(Target& target, const TitelDef& def, Kursart kind, const KursSatz& satz);
    // Whether an event loop runs this call, so that its turn ends after the call returns.
    bool turnEndsLater();
    // `written`: the bytes that went in (all of them when no error is returned).
    Failure appendNow(Target& target, const TitelDef& def, Kursart kind, const char* records,
                      std::int64_t length, Whole whole, std::int64_t& written);
    // The same into the target's open file, under its lock; `reopen` when the file was deleted
    // or replaced since it was opened.
    Failure appendLocked(Target& target, const TitelDef& def, Kursart kind, const char* records,
                         std::int64_t length, Whole whole, std::int64_t& written, bool& reopen);
    void keepOpen(Target& target, std::unique_ptr<OpenFile> file);
    void touchKept(Target& target);
    void closeKept(Target& target);
    Failure createFile(Target& target, const DateiKopf& header, const char* records,
                       std::int64_t length, bool replace);
    int makeFolder(Target& target);
    void tidyFolder(const QString& folder);
    void reportFailure(const Target& target, const Failure& failure);
    void reportWritten(const Target& target);
    // Plays back the journal beside `path`, whose file is open and locked.
    JournalOutcome recoverLocked(const QString& path, OpenFile& file);
    JournalOutcome setAside(const QString& path, const QString& reason);
    int rewriteFile(const QString& path, const Plan& plan, const Rewrite& rewrite);

    FileSystem& fs_;
    DataFileStoreListener* listener_ = nullptr;
    QString root_;
    struct TargetKey {
        TitelId id;
        Kursart kind;
        friend bool operator==(const TargetKey&, const TargetKey&) = default;
        friend size_t qHash(const TargetKey& k, size_t seed = 0) noexcept {
            return qHash(k.id, seed) ^ static_cast<size_t>(k.kind);
        }
    };
    QHash<TargetKey, Target*> targets_;
    std::vector<std::unique_ptr<Target>> ownedTargets_;
    std::list<Target*> kept_;  // the targets whose files are open, most recently used first
    size_t keptLimit_;
    std::uint64_t appends_ = 0;                          // appends so far (the age of a kept file)
    QHash<CaseInsensitiveKey, QString> folderSpelling_;  // a folder in any case → its name
    QSet<QString> tidiedFolders_;
    QSet<QString> unsyncedFolders_;
    // A syncFolders() still posted, and the watch for the end of a turn, go with the store.
    QObject syncContext_;
    // The queued ticks by file, the files in the order of their first tick.
    std::vector<QueuedFile> queuedFiles_;
    size_t queuedCount_ = 0;
    std::vector<char> burst_;   // a file's records for its write
    bool flushing_ = false;     // the listener hears of a flush: a flush it causes does nothing
    bool turnWatched_ = false;  // the event dispatcher tells us when a turn has ended
    bool resumePosted_ = false;
    QHash<QString, std::vector<HeldTick>> heldTicks_;
    QHash<QString, int> held_;
    QHash<QString, double> covered_;
    QHash<QString, QString> faults_;
    QHash<QString, Error> unrecovered_;
};

}  // namespace vqs
