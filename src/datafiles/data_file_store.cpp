#include "datafiles/data_file_store.h"

#include "common/crc32c.h"
#include "common/process.h"
#include "datafiles/naming.h"

#include <QAbstractEventDispatcher>
#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QRandomGenerator>
#include <QScopeGuard>
#include <QThread>

#include <thread>

#ifndef _WIN32
#include <sys/resource.h>
#endif

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstring>
#include <utility>

namespace vqs {
namespace {

// A new file is written aside under "<name>.neu-<process>-<random>" before it gets its name.
const QString kAsideMark = QStringLiteral(".neu-");

QString asideName(const QString& path) {
    return path + kAsideMark +
           QStringLiteral("%1-%2")
               .arg(processId())
               .arg(QRandomGenerator::global()->generate(), 8, 16, QLatin1Char('0'));
}

// The process that wrote an aside file, or 0 for one named without it (an older version).
qint64 asideWriter(const QString& name) {
    const qsizetype at = name.lastIndexOf(kAsideMark);
    const QString rest = name.mid(at + kAsideMark.size());
    const qsizetype dash = rest.indexOf(QLatin1Char('-'));
    return dash > 0 ? rest.left(dash).toLongLong() : 0;
}

// Files kept open between ticks: what the process may open, less a reserve (an eighth, at least
// 512) for the rest of the program. Ten thousand titles of all kinds are 30,000 files; an open
// and a close per tick would cost a third of the recording's time.
size_t openFilesKept() {
#ifdef _WIN32
    return 2048;
#else
    struct rlimit limit;
    if (::getrlimit(RLIMIT_NOFILE, &limit) != 0 || limit.rlim_cur == RLIM_INFINITY) return 1024;
    const size_t may = static_cast<size_t>(limit.rlim_cur);
    const size_t reserve = std::max<size_t>(512, may / 8);
    return std::clamp<size_t>(may > reserve ? may - reserve : 0, 16, 65536);
#endif
}

QString folderOf(const QString& path) {
    const qsizetype slash = path.lastIndexOf(QDir::separator());
    return slash < 0 ? QString() : path.left(slash);
}

}  // namespace

struct DataFileStore::Target {
    QString name;
    QString ordner;  // as the definition had it when the path was built
    QString folder;  // without trailing separator
    QString path;
    FileSystem::Path nativeFolder;
    FileSystem::Path nativePath;
    FileSystem::Path nativeJournal;
    bool tidied = false;
    // Kept open between ticks (at most keptLimit_ files, the least recently used closed first).
    std::unique_ptr<OpenFile> file;
    std::list<Target*>::iterator kept;
    std::int64_t checkedEnd = -1;  // the file's length after our last append, header checked
    int queuedSlot = -1;           // its place in queuedFiles_ while ticks of it are queued
    size_t createdWith = 0;        // made by createTogether() with this many of its queued ticks
    bool known = false;            // its file was found or made: createTogether() passes it by
    std::uint64_t lastUse = 0;     // the store's append count at its last append
    bool passing = false;          // open for one append only, not kept
};

QString journalSetAsideText(const QString& file, const QString& aside, const QString& reason) {
    return QStringLiteral(
               "Das Journal neben %1 wurde nicht zurückgespielt: %2. Es liegt nun unter %3; die "
               "Datei blieb, wie sie war.")
        .arg(QDir::toNativeSeparators(file), reason, QDir::toNativeSeparators(aside));
}

DataFileStore::DataFileStore(FileSystem& fs) : fs_(fs), keptLimit_(openFilesKept()) {}
DataFileStore::~DataFileStore() {
    flushQueued();
    syncFolders();
    closeFiles();
}

void DataFileStore::syncFolders() {
    const QSet<QString> folders = std::exchange(unsyncedFolders_, {});
    for (const QString& folder : folders) fs_.syncDirectory(FileSystem::nativePath(folder));
}

void DataFileStore::setRoot(const QString& root) {
    if (root == root_) return;
    flushQueued();
    root_ = root;
    closeFiles();
    targets_.clear();
    ownedTargets_.clear();
    folderSpelling_.clear();
    tidiedFolders_.clear();
}

Error DataFileStore::errorOf(int code) {
    if (code == kNoDataFile)
        return {code, QStringLiteral(
                          "Die Datei ist keine Datendatei (fremder oder unvollständiger Kopf)")};
    return {code, describeFileError(code)};
}

QString DataFileStore::resolveFolder(const QString& ordner) {
    const QString sanitised = OrdnerNameBereinigen(ordner);
    if (sanitised.isEmpty()) return sanitised;
    auto known = folderSpelling_.constFind({sanitised});
    if (known != folderSpelling_.cend()) return *known;
    // A folder made by an earlier run under another spelling is the same folder.
    QString onDisk = sanitised;
    QStringList names;
    if (fs_.list(FileSystem::nativePath(root_), names) == 0) {
        for (const QString& name : names) {
            if (name.compare(sanitised, Qt::CaseInsensitive) == 0 &&
                QFileInfo(root_ + QDir::separator() + name).isDir()) {
                onDisk = name;
                break;
            }
        }
    }
    folderSpelling_.insert({sanitised}, onDisk);
    return onDisk;
}

DataFileStore::Target& DataFileStore::target(const TitelId& id, const TitelDef& def, Kursart kind) {
    const TargetKey key{id, kind};
    Target* t = targets_.value(key);
    if (t && t->ordner == def.Ordner) return *t;
    if (t && t->queuedSlot >= 0) flushQueued();  // they go where the file was
    if (!t) {
        ownedTargets_.push_back(std::make_unique<Target>());
        t = ownedTargets_.back().get();
        targets_.insert(key, t);
        // The name is built once: a title's file keeps its name for the run.
        t->name = buildFileName(def, kind);
    }
    const QString folder = resolveFolder(def.Ordner);
    t->ordner = def.Ordner;
    t->folder = folder.isEmpty() ? root_ : root_ + QDir::separator() + folder;
    t->path = t->folder + QDir::separator() + t->name;
    t->nativeFolder = FileSystem::nativePath(t->folder);
    t->nativePath = FileSystem::nativePath(t->path);
    t->nativeJournal = FileSystem::nativePath(journalPath(t->path));
    t->tidied = tidiedFolders_.contains(t->folder);
    return *t;
}

QString DataFileStore::filePath(const TitelDef& def, Kursart kind) {
    return target(def, kind).path;
}

DataFileStore::Target* DataFileStore::admit(const TitelId& id, const TitelDef& def, Kursart kind,
                                            const KursSatz& satz, Appended& outcome) {
    outcome = Appended::kFailed;
    if (def.WKN.isEmpty() && def.RT_WKN.isEmpty()) return nullptr;  // no definition
    if (!std::isfinite(satz.Zeit) || !std::isfinite(satz.Kurs) || !std::isfinite(satz.Volume))
        return nullptr;
    Target& t = target(id, def, kind);
    if (!held_.isEmpty() && held_.contains(t.path)) {
        heldTicks_[t.path].push_back({def, kind, satz});
        outcome = Appended::kHeld;
        return nullptr;
    }
    if (!covered_.isEmpty()) {
        if (auto it = covered_.find(t.path); it != covered_.end()) {
            // Time stamps of the two ways differ in their last bits.
            if (satz.Zeit <= *it + 1e-9) {
                outcome = Appended::kCovered;
                return nullptr;
            }
            covered_.erase(it);
        }
    }
    return &t;
}

Appended DataFileStore::append(const TitelId& id, const TitelDef& def, Kursart kind,
                               const KursSatz& satz) {
    flushQueued();  // a file's records stand in the order of their ticks
    Appended outcome;
    Target* t = admit(id, def, kind, satz, outcome);
    return t ? appendOne(*t, def, kind, satz) : outcome;
}

Appended DataFileStore::appendOne(Target& t, const TitelDef& def, Kursart kind,
                                  const KursSatz& satz) {
    char record[kRecordSize];
    encodeKursSatz(satz, record);
    std::int64_t written = 0;
    const Failure failure =
        appendNow(t, def, kind, record, kRecordSize, Whole::kAllOrNone, written);
    if (failure.error) {
        reportFailure(t, failure);
        return Appended::kFailed;
    }
    if (!faults_.isEmpty()) reportWritten(t);
    return Appended::kWritten;
}

bool DataFileStore::turnEndsLater() {
    // A tick raised by a handler of a running event loop (the broker's quote events): the loop
    // comes back when the handler ends, and its dispatcher says so before it waits or looks for
    // the next events (in nested loops too, and in a processEvents() that lets a long operation
    // breathe). That ends the turn: its ticks are written then. Called in from outside any
    // loop, nothing would.
    QThread* const thread = QThread::currentThread();
    if (!QCoreApplication::instance() || thread != syncContext_.thread() ||
        thread->loopLevel() == 0)
        return false;
    if (!turnWatched_) {
        QAbstractEventDispatcher* const dispatcher = QAbstractEventDispatcher::instance(thread);
        if (!dispatcher) return false;
        const auto ended = [this] { turnEnded(); };
        QObject::connect(dispatcher, &QAbstractEventDispatcher::aboutToBlock, &syncContext_, ended);
        QObject::connect(dispatcher, &QAbstractEventDispatcher::awake, &syncContext_, ended);
        turnWatched_ = true;
    }
    return true;
}

void DataFileStore::turnEnded() {
    if (queuedFiles_.empty() || flushQueued(QDeadlineTimer(kTurnMs)) || resumePosted_) return;
    // Time is up with files left: the loop goes on with them once it has looked for other
    // events, without waiting for one.
    resumePosted_ = true;
    QMetaObject::invokeMethod(
        &syncContext_, [this] { resumePosted_ = false; }, Qt::QueuedConnection);
}

Appended DataFileStore::queue(const TitelId& id, const TitelDef& def, Kursart kind,
                              const KursSatz& satz, double givenZeit) {
    Appended outcome;
    Target* t = admit(id, def, kind, satz, outcome);
    if (!t) return outcome;
    if (queuedFiles_.empty() && !turnEndsLater()) return appendOne(*t, def, kind, satz);
    if (t->queuedSlot < 0) {
        t->queuedSlot = static_cast<int>(queuedFiles_.size());
        queuedFiles_.push_back({t, def, kind, {}});
    }
    queuedFiles_[static_cast<size_t>(t->queuedSlot)].ticks.push_back({satz, givenZeit});
    // Memory stays bounded: from kMostQueued on the ticks are written in parts of a turn's time
    // (the loop still hears other events between them); past sixteen times as many, the quotes
    // wait for the disk (a disk slower than the market for minutes).
    if (++queuedCount_ % kMostQueued == 0)
        flushQueued(queuedCount_ >= 16 * kMostQueued ? QDeadlineTimer(QDeadlineTimer::Forever)
                                                     : QDeadlineTimer(kTurnMs));
    return Appended::kQueued;
}

void DataFileStore::flushQueued() { flushQueued(QDeadlineTimer(QDeadlineTimer::Forever)); }

bool DataFileStore::flushQueued(QDeadlineTimer deadline) {
    if (flushing_) return queuedFiles_.empty();
    flushing_ = true;
    const auto done = qScopeGuard([this] { flushing_ = false; });
    size_t next = 0, created = 0;
    while (next < queuedFiles_.size()) {
        if (next > 0 && deadline.hasExpired()) break;
        if (next == created) {
            created = std::min(queuedFiles_.size(), next + kCreatedTogether);
            createTogether(next, created);
        }
        // Taken out first: a tick the listener queues for this file meanwhile starts a new entry.
        QueuedFile f = std::move(queuedFiles_[next++]);
        f.target->queuedSlot = -1;
        burst_.resize(f.ticks.size() * kRecordSize);
        for (size_t i = 0; i < f.ticks.size(); ++i)
            encodeKursSatz(f.ticks[i].satz, burst_.data() + i * kRecordSize);
        // Those a new file was made with are in it; any that came since are appended.
        const std::int64_t length = static_cast<std::int64_t>(burst_.size());
        std::int64_t written =
            static_cast<std::int64_t>(std::exchange(f.target->createdWith, 0)) * kRecordSize;
        Failure failure;
        if (written < length) {
            std::int64_t more = 0;
            failure = appendNow(*f.target, f.def, f.kind, burst_.data() + written, length - written,
                                Whole::kAsMany, more);
            written += more;
        }
        if (failure.error)
            reportFailure(*f.target, failure);
        else if (!faults_.isEmpty())
            reportWritten(*f.target);
        queuedCount_ -= f.ticks.size();
        if (listener_)
            listener_->queuedTicksDone(f.def, f.kind, f.ticks,
                                       static_cast<size_t>(written / kRecordSize));
    }
    // The files not reached keep their places, in order.
    queuedFiles_.erase(queuedFiles_.begin(), queuedFiles_.begin() + static_cast<qsizetype>(next));
    for (size_t i = 0; i < queuedFiles_.size(); ++i)
        queuedFiles_[i].target->queuedSlot = static_cast<int>(i);
    if (burst_.capacity() > kKeptRoom) burst_ = {};  // after a backlog
    return queuedFiles_.empty();
}

QStringList DataFileStore::dropQueued() {
    QStringList paths;
    std::vector<QueuedFile> files;
    files.swap(queuedFiles_);
    queuedCount_ = 0;
    for (QueuedFile& f : files) {
        f.target->queuedSlot = -1;
        // Those a new file was made with are in it.
        const size_t made = std::exchange(f.target->createdWith, 0);
        if (made < f.ticks.size()) paths << f.target->path;
        if (listener_) listener_->queuedTicksDone(f.def, f.kind, f.ticks, made);
    }
    return paths;
}

Result<void> DataFileStore::appendAll(const TitelDef& def, Kursart kind,
                                      const std::vector<KursSatz>& records) {
    if (records.empty()) return {};
    flushQueued();
    Target& t = target(def, kind);
    QByteArray bytes(static_cast<qsizetype>(records.size()) * kRecordSize, Qt::Uninitialized);
    for (size_t i = 0; i < records.size(); ++i)
        encodeKursSatz(records[i], bytes.data() + i * kRecordSize);
    std::int64_t written = 0;
    const Failure failure =
        appendNow(t, def, kind, bytes.constData(), bytes.size(), Whole::kAllOrNone, written);
    if (failure.error) {
        reportFailure(t, failure);
        return errorOf(failure.error);
    }
    if (!faults_.isEmpty()) reportWritten(t);
    return {};
}

DataFileStore::Failure DataFileStore::appendNow(Target& t, const TitelDef& def, Kursart kind,
                                                const char* records, std::int64_t length,
                                                Whole whole, std::int64_t& written) {
    written = 0;
    t.lastUse = ++appends_;
    if (!t.tidied) {
        // Once per folder and run: the targets of a folder are made before its first tick.
        if (!tidiedFolders_.contains(t.folder)) tidyFolder(t.folder);
        t.tidied = true;
    }
    // A file kept open from an earlier tick that was deleted or replaced since is opened anew.
    for (int attempt = 0;; ++attempt) {
        if (!t.file) {
            auto file = std::make_unique<OpenFile>(fs_);
            int error = file->open(t.nativePath, FileSystem::Access::kReadWrite);
            if (error == ENOENT) {
                const Failure created =
                    createFile(t, buildHeader(def, kind), records, length, false);
                if (!created.error) written = length;
                if (created.error != EEXIST) return created;
                error = file->open(t.nativePath, FileSystem::Access::kReadWrite);  // made meanwhile
            }
            if (error) return {error};
            keepOpen(t, std::move(file));
        } else {
            touchKept(t);
        }
        bool reopen = false;
        const Failure failure = appendLocked(t, def, kind, records, length, whole, written, reopen);
        if (failure.error || reopen || t.passing) closeKept(t);
        if (!reopen || attempt > 0) return failure;
    }
}

DataFileStore::Failure DataFileStore::appendLocked(Target& t, const TitelDef& def, Kursart kind,
                                                   const char* records, std::int64_t length,
                                                   Whole whole, std::int64_t& written,
                                                   bool& reopen) {
    OpenFile& file = *t.file;
    // A rewrite by another program (a merge, the Dateninspektor's save) ends before we look;
    // the lock is given back at once, the file stays open for the next tick.
    int error = file.lock();
    if (error) return {error};
    const auto unlocked = qScopeGuard([&] {
        if (t.file) t.file->unlock();
    });
    // A journal that stands now is a dead rewrite's: appended to first, the file would lose the
    // new records when the journal is played back. One look-up of the name, as a rule ENOENT.
    FileSystem::Status journal;
    error = fs_.status(t.nativeJournal, journal);
    if (error != ENOENT) {
        if (error) return {error};
        const JournalOutcome outcome = recoverLocked(t.path, file);
        if (outcome.kind == JournalOutcome::kFailed) {
            unrecovered_.insert(t.path, outcome.error);
            return {outcome.error.code};
        }
        unrecovered_.remove(t.path);
        t.checkedEnd = -1;
    }
    FileSystem::Status status;
    if ((error = fs_.status(file.handle(), status))) return {error};
    if (status.links == 0) {
        // Deleted or replaced since the last tick: its name is another file's now, or none's.
        reopen = true;
        return {ENOENT};
    }
    const std::int64_t size = status.size;
    // The header was checked when the file had this length after our last append (of one tick
    // or of a turn's burst), and it is still the file of that name (links above). Every other
    // writer of data files appends or rewrites under this lock, which we hold from this look
    // until our write: an append by anyone changes the length, a rewrite of another length too,
    // and a rewrite of the same length (a save that changed values only) leaves a data file's
    // header a data file's. Any other length, a reopened file or a failed write: checked again.
    if (size != t.checkedEnd) {
        DateiKopf kopf;
        std::int64_t got = 0;
        if ((error = fs_.read(file.handle(), 0, kopf.bytes.data(), kHeaderSize, got)))
            return {error};
        if (got == 0) {
            // An empty file under the name gets its header: written whole, as a new file.
            closeKept(t);
            const Failure created = createFile(t, buildHeader(def, kind), records, length, true);
            if (!created.error) written = length;
            return created;
        }
        if (got < kHeaderSize || !kopf.hasKennung()) return {kNoDataFile};
        if (!kopf.isCompleted()) {
            completeHeader(kopf, kind, def);
            if ((error = file.write(0, kopf.bytes.data(), kHeaderSize))) return {error};
        }
    }
    // A record torn by a crash or a full disk is overwritten, so later records stay aligned.
    const std::int64_t end = kHeaderSize + recordCount(size) * kRecordSize;
    if ((error = file.write(end, records, length))) {
        // Whatever part went in is cut off again: the file keeps whole records only.
        file.truncate(end);
        if (whole == Whole::kAsMany && length > kRecordSize) {
            // A full disk may take some: record by record, in order, until one does not fit
            // (cut off too). The ticks after it are failed; none goes in behind a gap.
            while (written < length && !file.write(end + written, records + written, kRecordSize))
                written += kRecordSize;
            if (written < length) file.truncate(end + written);
        }
        return {error};
    }
    written = length;
    t.checkedEnd = end + length;
    return {};
}

void DataFileStore::keepOpen(Target& t, std::unique_ptr<OpenFile> file) {
    t.file = std::move(file);
    t.checkedEnd = -1;
    if (kept_.size() >= keptLimit_) {
        // More files take ticks than may stay open (ten thousand titles of all kinds under a
        // limit of 20,000 files): each turn comes to all of them in turn, and closing the least
        // recently used one would close every file just before its next tick, so that every
        // append opens its file. The files kept stay while they take ticks, the others are
        // opened for their append only; a kept file that has taken none for a while (four
        // times as many appends as files may be kept) makes room.
        if (appends_ - kept_.back()->lastUse < 4 * std::uint64_t{keptLimit_}) {
            t.passing = true;
            return;
        }
        closeKept(*kept_.back());
    }
    kept_.push_front(&t);
    t.kept = kept_.begin();
}

void DataFileStore::touchKept(Target& t) {
    if (t.kept != kept_.begin()) kept_.splice(kept_.begin(), kept_, t.kept);
}

void DataFileStore::closeKept(Target& t) {
    if (!t.file) return;
    if (!t.passing) kept_.erase(t.kept);
    t.passing = false;
    t.file.reset();
    t.checkedEnd = -1;
}

void DataFileStore::closeFiles() {
    flushQueued();
    while (!kept_.empty()) closeKept(*kept_.front());
}

DataFileStore::Failure DataFileStore::createFile(Target& t, const DateiKopf& header,
                                                 const char* records, std::int64_t length,
                                                 bool replace) {
    if (int error = makeFolder(t)) return {error, true};
    QByteArray content(header.bytes.data(), kHeaderSize);
    content.append(records, length);
    return {writeWhole(t.path, content, replace)};
}

Result<void> DataFileStore::create(const TitelDef& def, Kursart kind, const DateiKopf& header,
                                   const std::vector<KursSatz>& records) {
    flushQueued();
    Target& t = target(def, kind);
    QByteArray bytes(static_cast<qsizetype>(records.size()) * kRecordSize, Qt::Uninitialized);
    for (size_t i = 0; i < records.size(); ++i)
        encodeKursSatz(records[i], bytes.data() + i * kRecordSize);
    OpenFile existing(fs_);
    bool replace = false;
    if (existing.open(t.nativePath, FileSystem::Access::kRead) == 0) {
        std::int64_t size = -1;
        existing.size(size);
        if (size != 0) return errorOf(EEXIST);
        replace = true;  // an empty file under the name
    }
    existing.close();
    const Failure failure = createFile(t, header, bytes.constData(), bytes.size(), replace);
    if (failure.error) {
        reportFailure(t, failure);
        return errorOf(failure.error);
    }
    if (!faults_.isEmpty()) reportWritten(t);
    return {};
}

int DataFileStore::makeFolder(Target& t) {
    if (t.folder == root_) return 0;
    const int error = fs_.makeDirectory(t.nativeFolder);
    if (error == EEXIST) return 0;
    if (error) return error;
    fs_.syncDirectory(FileSystem::nativePath(root_));  // the new folder survives a power loss
    return 0;
}

Result<void> DataFileStore::createWhole(const QString& path, QByteArrayView content, bool replace) {
    return resultOf(writeWhole(path, content, replace));
}

int DataFileStore::writeWhole(const QString& path, QByteArrayView content, bool replace) {
    NewFile made{path, FileSystem::nativePath(asideName(path)), OpenFile(fs_)};
    int error = writeAside(made, content);
    if (!error) error = made.file.sync();
    return error ? dropAside(made, error) : nameWhole(made, replace);
}

int DataFileStore::writeAside(NewFile& made, QByteArrayView content) {
    const int error = made.file.open(made.aside, FileSystem::Access::kCreateNew);
    return error ? error : made.file.write(0, content.data(), content.size());
}

int DataFileStore::dropAside(NewFile& made, int error) {
    made.file.close();
    fs_.remove(made.aside);
    return error;
}

int DataFileStore::nameWhole(NewFile& made, bool replace) {
    made.file.close();
    const FileSystem::Path target = FileSystem::nativePath(made.path);
    int error = 0;
    if (replace) {
        error = fs_.rename(made.aside, target);
    } else {
        error = fs_.link(made.aside, target);
        if (error == ENOTSUP) {
            // Without links: look, then rename (a file made in between would be replaced).
            OpenFile existing(fs_);
            error = existing.open(target, FileSystem::Access::kRead) == 0
                        ? EEXIST
                        : fs_.rename(made.aside, target);
        }
    }
    fs_.remove(made.aside);  // after a rename it is gone already
    if (error) return error;
    const bool first = unsyncedFolders_.isEmpty();
    unsyncedFolders_.insert(folderOf(made.path));
    if (!QCoreApplication::instance() || QThread::currentThread() != syncContext_.thread())
        syncFolders();
    else if (first)
        QMetaObject::invokeMethod(
            &syncContext_, [this] { syncFolders(); }, Qt::QueuedConnection);
    return 0;
}

void DataFileStore::createTogether(size_t from, size_t to) {
    // New files of queued ticks are made together: each is written aside, then all are flushed
    // at once, then each gets its name. One flush after the other costs the disk a round trip
    // each (4 ms here: 30,000 new files of a first start took two minutes, and a turn's writing
    // seconds); flushed at the same time, the file system commits them together.
    struct Made {
        Target* target;
        std::unique_ptr<NewFile> file;
        size_t ticks;
    };
    std::vector<Made> made;
    for (size_t i = from; i < to; ++i) {
        QueuedFile& f = queuedFiles_[i];
        Target& t = *f.target;
        if (t.file || t.known || t.createdWith) continue;
        if (!t.tidied) {
            if (!tidiedFolders_.contains(t.folder)) tidyFolder(t.folder);
            t.tidied = true;
        }
        FileSystem::Status status;
        if (fs_.status(t.nativePath, status) != ENOENT) {
            t.known = true;
            continue;
        }
        if (makeFolder(t)) continue;
        QByteArray content(buildHeader(f.def, f.kind).bytes.data(), kHeaderSize);
        content.resize(kHeaderSize + static_cast<qsizetype>(f.ticks.size()) * kRecordSize);
        for (size_t k = 0; k < f.ticks.size(); ++k)
            encodeKursSatz(f.ticks[k].satz, content.data() + kHeaderSize + k * kRecordSize);
        std::unique_ptr<NewFile> n(
            new NewFile{t.path, FileSystem::nativePath(asideName(t.path)), OpenFile(fs_)});
        if (const int error = writeAside(*n, content)) {
            dropAside(*n, error);  // made one at a time later, where a failure is told
            continue;
        }
        made.push_back({&t, std::move(n), f.ticks.size()});
    }
    if (made.empty()) return;
    std::vector<int> synced(made.size(), 0);
    const size_t threads = std::min<size_t>(made.size(), 16);
    std::vector<std::thread> flushing;
    for (size_t k = 0; k < threads; ++k) {
        flushing.emplace_back([&, k] {
            for (size_t i = k; i < made.size(); i += threads) synced[i] = made[i].file->file.sync();
        });
    }
    for (std::thread& thread : flushing) thread.join();
    for (size_t i = 0; i < made.size(); ++i) {
        Made& m = made[i];
        if (synced[i]) {
            dropAside(*m.file, synced[i]);
        } else if (nameWhole(*m.file, false) == 0) {
            m.target->createdWith = m.ticks;
            m.target->known = true;
        }
    }
}

void DataFileStore::tidyFolder(const QString& folder) {
    // Files a killed run left aside while it created a data file: they never got their name.
    tidiedFolders_.insert(folder);
    QStringList names;
    if (fs_.list(FileSystem::nativePath(folder), names) != 0) return;
    for (const QString& name : names) {
        if (!name.contains(kAsideMark)) continue;
        // A file of another process that runs may be on its way to its name; one under our own
        // number is an earlier run's (this run's are gone before the call that made them ends).
        const qint64 writer = asideWriter(name);
        if (writer != processId() && processRuns(writer)) continue;
        fs_.remove(FileSystem::nativePath(folder + QDir::separator() + name));
    }
}

namespace {

// A journal: what a rewrite will overwrite, kept before the file is touched, and what it
// belongs to:
//   "VQSJRNL2"; the rewrite's start, the file's old length, the file's device and inode (64 bits
//   each, little-endian); the old header (856 bytes); the old bytes from the start to the old
//   end; "ENDE" and the CRC-32C of everything before it.
// The end is written only once everything before it is on disk: a journal without it was cut
// short by a crash before the file was touched. Journals of the first format named neither their
// file nor their bytes' checksum: one is set aside, never played back.
constexpr char kJournalMagic[] = "VQSJRNL2";
constexpr char kOldJournalMagic[] = "VQSJRNL1";
constexpr std::int64_t kJournalHead = 8 + 4 * 8;
constexpr std::int64_t kJournalBody = kJournalHead + kHeaderSize;  // where the old bytes start
constexpr char kJournalEnd[] = "ENDE";
constexpr std::int64_t kJournalTail = 4 + 4;
// No rewrite takes a larger file: a journal that names more is not one of ours.
constexpr std::int64_t kLargestRewrite = std::int64_t{64} << 30;
constexpr std::int64_t kPiece = 1 << 20;  // bytes copied at once into and out of a journal
const QString kAsideSuffix = QStringLiteral(".passt-nicht");

void putLe(char* out, std::uint64_t v, int bytes = 8) {
    for (int i = 0; i < bytes; ++i) out[i] = static_cast<char>(v >> (8 * i));
}
std::uint64_t getLe(const char* in, int bytes = 8) {
    std::uint64_t v = 0;
    for (int i = bytes - 1; i >= 0; --i) v = (v << 8) | static_cast<unsigned char>(in[i]);
    return v;
}

// The fields that say which title, code and exchange a header is of.
bool sameTitle(const DateiKopf& a, const DateiKopf& b) {
    for (KopfFeld f : {kopf::kKurzcode, kopf::kKurzcodeLang, kopf::kTitelKey}) {
        if (std::memcmp(a.bytes.data() + f.offset, b.bytes.data() + f.offset,
                        static_cast<size_t>(f.width)) != 0)
            return false;
    }
    return true;
}

// The old bytes of a rewrite, read back from its journal.
class JournalBytes final : public DataFileStore::OldBytes {
public:
    JournalBytes(FileSystem& fs, FileSystem::Handle journal, std::int64_t size)
        : fs_(fs), journal_(journal), size_(size) {}
    std::int64_t size() const override { return size_; }
    int read(std::int64_t offset, char* data, std::int64_t length, std::int64_t& got) override {
        got = 0;
        length = std::max<std::int64_t>(0, std::min(length, size_ - offset));
        if (length == 0) return 0;
        return fs_.read(journal_, kJournalBody + offset, data, length, got);
    }

private:
    FileSystem& fs_;
    FileSystem::Handle journal_;
    std::int64_t size_;
};

// The new bytes of a rewrite, written into the file from the rewrite's start on.
class FileBytes final : public DataFileStore::NewBytes {
public:
    FileBytes(OpenFile& file, std::int64_t from) : file_(file), from_(from) {}
    int write(const char* data, std::int64_t length) override {
        const int error = file_.write(from_ + written_, data, length);
        if (!error) written_ += length;
        return error;
    }
    std::int64_t written() const override { return written_; }

private:
    OpenFile& file_;
    std::int64_t from_;
    std::int64_t written_ = 0;
};

// Puts the journal's old bytes and header back into the file and cuts it to its old length.
int playBack(FileSystem& fs, FileSystem::Handle journal, OpenFile& file, std::int64_t from,
             std::int64_t length) {
    char header[kHeaderSize];
    std::int64_t got = 0;
    int error = fs.read(journal, kJournalHead, header, kHeaderSize, got);
    if (!error && got != kHeaderSize) error = EIO;
    if (!error) error = file.write(0, header, kHeaderSize);
    if (!error) error = fs.copy(journal, kJournalBody, file.handle(), from, length - from);
    if (!error) error = file.truncate(length);
    if (!error) error = file.sync();
    return error;
}

// What a journal says, once it has been read whole and its checksum holds.
struct JournalHead {
    std::int64_t from = 0, length = 0;
    FileSystem::Status file;
    DateiKopf oldHeader;
};

// Why a journal is not played back, or an empty text when it may be: read whole from `journal`
// (of `size` bytes). `cutShort` says that it never got its end (its file was not touched yet).
QString readJournal(OpenFile& journal, std::int64_t size, JournalHead& head, bool& cutShort,
                    int& error) {
    cutShort = false;
    error = 0;
    char start[kJournalBody];
    char tail[kJournalTail];
    if (size < kJournalBody + kJournalTail) {
        cutShort = true;
        return {};
    }
    if ((error = journal.readAll(0, start, kJournalBody)) ||
        (error = journal.readAll(size - kJournalTail, tail, kJournalTail)))
        return {};
    if (std::memcmp(start, kOldJournalMagic, 8) == 0)
        return QStringLiteral(
            "Das Journal hat das Format einer älteren Programmversion, das "
            "seine Datei nicht nennt");
    if (std::memcmp(tail, kJournalEnd, 4) != 0) {
        cutShort = true;
        return {};
    }
    if (std::memcmp(start, kJournalMagic, 8) != 0)
        return QStringLiteral("Die Datei ist kein Journal dieses Programms");
    head.from = static_cast<std::int64_t>(getLe(start + 8));
    head.length = static_cast<std::int64_t>(getLe(start + 16));
    head.file.device = getLe(start + 24);
    head.file.inode = getLe(start + 32);
    std::memcpy(head.oldHeader.bytes.data(), start + kJournalHead, kHeaderSize);
    if (head.from < kHeaderSize || head.length < head.from || head.length > kLargestRewrite ||
        size != kJournalBody + (head.length - head.from) + kJournalTail)
        return QStringLiteral("Das Journal ist beschädigt: seine Längen passen nicht");
    // The checksum of the whole journal: a torn or altered byte anywhere shows.
    std::uint32_t crc = crc32c(0, start, kJournalBody);
    std::vector<char> piece(static_cast<size_t>(std::min(kPiece, head.length - head.from + 1)));
    for (std::int64_t at = kJournalBody; at < size - kJournalTail;) {
        const std::int64_t n = std::min<std::int64_t>(static_cast<std::int64_t>(piece.size()),
                                                      size - kJournalTail - at);
        if ((error = journal.readAll(at, piece.data(), n))) return {};
        crc = crc32c(crc, piece.data(), static_cast<size_t>(n));
        at += n;
    }
    if (crc != static_cast<std::uint32_t>(getLe(tail + 4, 4)))
        return QStringLiteral("Das Journal ist beschädigt: seine Prüfsumme stimmt nicht");
    return {};
}

}  // namespace

Result<void> DataFileStore::rewriteInPlace(const QString& path, std::int64_t from,
                                           const DateiKopf* header, const Rewrite& rewrite) {
    return rewriteInPlace(
        path,
        [&](OpenFile&, std::int64_t, const DateiKopf&, RewriteStart& start) {
            start.from = from;  // checked against the file's length by the rewrite
            if (header) start.header = *header;
            return 0;
        },
        rewrite);
}

Result<void> DataFileStore::rewriteInPlace(const QString& path, const Plan& plan,
                                           const Rewrite& rewrite) {
    return resultOf(rewriteFile(path, plan, rewrite));
}

int DataFileStore::rewriteFile(const QString& path, const Plan& plan, const Rewrite& rewrite) {
    const FileSystem::Path native = FileSystem::nativePath(path);
    const FileSystem::Path journalNative = FileSystem::nativePath(journalPath(path));
    const FileSystem::Path folder = FileSystem::nativePath(folderOf(path));

    // This program's own ticks for the file wait meanwhile (an append would wait for the lock
    // below for ever); they follow once the file is closed and unlocked.
    hold(path);
    const auto released = qScopeGuard([&] { release(path); });
    OpenFile file(fs_);
    // Never through a link: the journal lies beside the file it names.
    int error = file.open(native, FileSystem::Access::kReadWriteOwn);
    // From here until the journal is gone the file's lock is ours: appends of other programs
    // wait (the records they appended before are part of what is rewritten), and no other
    // program plays back a journal of ours while it is still being written or used.
    if (!error) error = file.lock();
    if (error) return error;
    // A journal a crashed rewrite left is played back first: the rewrite starts from the old
    // file.
    if (const JournalOutcome standing = recoverLocked(path, file);
        standing.kind == JournalOutcome::kFailed) {
        unrecovered_.insert(path, standing.error);
        return standing.error.code;
    }
    unrecovered_.remove(path);

    FileSystem::Status identity;  // named in the journal
    if ((error = fs_.status(file.handle(), identity))) return error;
    const std::int64_t length = identity.size;
    DateiKopf oldHeader;
    if (length < kHeaderSize) return kNoDataFile;
    if ((error = file.readAll(0, oldHeader.bytes.data(), kHeaderSize))) return error;
    if (!oldHeader.hasKennung()) return kNoDataFile;
    RewriteStart start;
    if ((error = plan(file, length, oldHeader, start))) return error;
    const std::int64_t from = start.from;
    if (from < kHeaderSize || from > length || length > kLargestRewrite) return EINVAL;

    // 1. What will be overwritten goes into the journal, which is flushed with its name.
    OpenFile journal(fs_);
    if ((error = journal.open(journalNative, FileSystem::Access::kCreateNew))) return error;
    auto dropJournal = [&] {
        journal.close();
        fs_.remove(journalNative);
    };
    {
        char head[kJournalBody];
        std::memcpy(head, kJournalMagic, 8);
        putLe(head + 8, static_cast<std::uint64_t>(from));
        putLe(head + 16, static_cast<std::uint64_t>(length));
        putLe(head + 24, identity.device);
        putLe(head + 32, identity.inode);
        std::memcpy(head + kJournalHead, oldHeader.bytes.data(), kHeaderSize);
        std::uint32_t crc = crc32c(0, head, sizeof head);
        error = journal.write(0, head, sizeof head);
        // The old bytes pass through here for their checksum.
        std::vector<char> piece(static_cast<size_t>(std::min(kPiece, length - from + 1)));
        for (std::int64_t at = from; !error && at < length;) {
            const std::int64_t n =
                std::min<std::int64_t>(static_cast<std::int64_t>(piece.size()), length - at);
            error = file.readAll(at, piece.data(), n);
            if (!error) error = journal.write(kJournalBody + (at - from), piece.data(), n);
            crc = crc32c(crc, piece.data(), static_cast<size_t>(n));
            at += n;
        }
        char tail[kJournalTail];
        std::memcpy(tail, kJournalEnd, 4);
        putLe(tail + 4, crc, 4);
        if (!error) error = journal.sync();
        if (!error) error = journal.write(kJournalBody + (length - from), tail, kJournalTail);
        if (!error) error = journal.sync();
        if (!error) error = fs_.syncDirectory(folder);
    }
    if (error) {
        dropJournal();
        return error;
    }
    journal.close();
    if ((error = journal.open(journalNative, FileSystem::Access::kReadOwn))) {
        dropJournal();
        return error;
    }

    // 2. The new content, then the file's end and header, flushed.
    JournalBytes old(fs_, journal.handle(), length - from);
    FileBytes out(file, from);
    error = rewrite(old, out);
    const std::int64_t end = from + out.written();
    if (!error && end < length) error = file.truncate(end);
    if (!error && start.header) error = file.write(0, start.header->bytes.data(), kHeaderSize);
    if (!error) error = file.sync();
    if (error) {
        // The old content goes back; when even that fails, the journal stays for the next start
        // and the file takes no tick until it is played back.
        if (const int failed = playBack(fs_, journal.handle(), file, from, length))
            unrecovered_.insert(path, errorOf(failed));
        else
            dropJournal();
        return error;
    }

    // 3. The journal goes: from now on the new content is the file. The lock goes after it.
    dropJournal();
    fs_.syncDirectory(folder);
    return 0;
}

DataFileStore::JournalOutcome DataFileStore::recoverJournal(const QString& path) {
    FileSystem::Status seen;
    const int error = fs_.status(FileSystem::nativePath(journalPath(path)), seen);
    if (error == ENOENT) return {};
    if (error) return JournalOutcome::failure(error);
    OpenFile file(fs_);
    // Never through a link: a journal is played back onto the file beside it, never elsewhere.
    if (const int e = file.open(FileSystem::nativePath(path), FileSystem::Access::kReadWriteOwn)) {
        switch (e) {
            case ENOENT:
                return setAside(path, QStringLiteral("Die Datei des Journals gibt es nicht"));
            case ELOOP:
                return setAside(path, QStringLiteral("Die Datei ist ein symbolischer Verweis"));
            case EISDIR:
            case ENXIO:
                return setAside(path,
                                QStringLiteral("Unter dem Namen steht keine gewöhnliche Datei"));
            default:
                return JournalOutcome::failure(e);
        }
    }
    // A rewrite that still runs holds this lock until its journal is gone: waiting for it means
    // that a journal found afterwards is a dead rewrite's.
    if (const int e = file.lock()) return JournalOutcome::failure(e);
    return recoverLocked(path, file);
}

DataFileStore::JournalOutcome DataFileStore::recoverLocked(const QString& path, OpenFile& file) {
    const FileSystem::Path journalNative = FileSystem::nativePath(journalPath(path));
    // Opened only now, under the lock: the journal of a rewrite that ended while we waited is
    // gone, and one that stands is the dead rewrite's.
    OpenFile journal(fs_);
    int error = journal.open(journalNative, FileSystem::Access::kReadOwn);
    if (error == ENOENT) return {};
    if (error == ELOOP)
        return setAside(path, QStringLiteral("Das Journal ist ein symbolischer Verweis"));
    if (error) return JournalOutcome::failure(error);
    FileSystem::Status journalIs;
    if ((error = fs_.status(journal.handle(), journalIs))) return JournalOutcome::failure(error);
    if (!journalIs.regular)
        return setAside(path, QStringLiteral("Das Journal ist keine gewöhnliche Datei"));

    JournalHead head;
    bool cutShort = false;
    QString foreign = readJournal(journal, journalIs.size, head, cutShort, error);
    if (error) return JournalOutcome::failure(error);
    if (cutShort) {
        journal.close();
        if ((error = fs_.remove(journalNative)) && error != ENOENT)
            return JournalOutcome::failure(error);
        fs_.syncDirectory(FileSystem::nativePath(folderOf(path)));
        return JournalOutcome::of(JournalOutcome::kCutShort);
    }

    // It belongs to this file: the same file (not another one under the name, nor reached
    // through a link), of the same title, as long as the journal says, a data file still.
    FileSystem::Status fileIs, nameIs;
    DateiKopf header;
    if (foreign.isEmpty()) {
        if ((error = fs_.status(file.handle(), fileIs)) ||
            (error = fs_.status(FileSystem::nativePath(path), nameIs)))
            return JournalOutcome::failure(error);
        if (!nameIs.regular || !nameIs.sameFile(fileIs))
            foreign = QStringLiteral(
                "Die Datei ist ein symbolischer Verweis oder keine "
                "gewöhnliche Datei");
        else if (!fileIs.sameFile(head.file))
            foreign = QStringLiteral("Das Journal gehört zu einer anderen Datei");
        else if (fileIs.size < head.from)
            foreign = QStringLiteral("Die Datei ist kürzer, als das Journal erlaubt");
    }
    if (foreign.isEmpty()) {
        if ((error = file.readAll(0, header.bytes.data(), kHeaderSize)))
            return JournalOutcome::failure(error);
        if (!header.hasKennung() || !head.oldHeader.hasKennung())
            foreign = QStringLiteral("Die Datei ist keine Datendatei");
        else if (!sameTitle(header, head.oldHeader))
            foreign = QStringLiteral("Das Journal gehört zu einem anderen Titel");
    }
    if (!foreign.isEmpty()) {
        journal.close();
        return setAside(path, foreign);
    }

    if ((error = playBack(fs_, journal.handle(), file, head.from, head.length)))
        return JournalOutcome::failure(error);
    journal.close();
    // Still under the lock: nobody can find the journal once its bytes are back.
    if ((error = fs_.remove(journalNative)) && error != ENOENT)
        return JournalOutcome::failure(error);
    fs_.syncDirectory(FileSystem::nativePath(folderOf(path)));
    return JournalOutcome::of(JournalOutcome::kPlayedBack);
}

DataFileStore::JournalOutcome DataFileStore::setAside(const QString& path, const QString& reason) {
    const QString journal = journalPath(path);
    const FileSystem::Path from = FileSystem::nativePath(journal);
    // Under a name no start looks for, beside the file; an earlier one is never replaced.
    QString aside = journal + kAsideSuffix;
    for (int n = 2;; ++n) {
        FileSystem::Status taken;
        const int error = fs_.status(FileSystem::nativePath(aside), taken);
        if (error == ENOENT) break;
        if (error) return JournalOutcome::failure(error);
        if (n > 1000) return JournalOutcome::failure(EEXIST);
        aside = journal + kAsideSuffix + QStringLiteral("-%1").arg(n);
    }
    if (const int error = fs_.rename(from, FileSystem::nativePath(aside)))
        return JournalOutcome::failure(error);
    fs_.syncDirectory(FileSystem::nativePath(folderOf(path)));
    if (listener_) listener_->journalSetAside(path, aside, reason);
    return {JournalOutcome::kSetAside, {}, aside, reason};
}

QStringList DataFileStore::recoverJournals() {
    QStringList recovered;
    QStringList folders{root_}, names;
    if (fs_.list(FileSystem::nativePath(root_), names) == 0) {
        for (const QString& name : names) {
            const QString folder = root_ + QDir::separator() + name;
            if (QFileInfo(folder).isDir()) folders << folder;
        }
    }
    const QString suffix = QStringLiteral(".journal");
    for (const QString& folder : folders) {
        if (fs_.list(FileSystem::nativePath(folder), names) != 0) continue;
        for (const QString& name : names) {
            if (!name.endsWith(suffix, Qt::CaseInsensitive)) continue;
            const QString path = folder + QDir::separator() + name.chopped(suffix.size());
            const JournalOutcome outcome = recoverJournal(path);
            if (outcome.kind == JournalOutcome::kFailed)
                unrecovered_.insert(path, outcome.error);
            else if (outcome.kind == JournalOutcome::kPlayedBack)
                recovered << path;
        }
    }
    return recovered;
}

std::optional<KursSatz> DataFileStore::lastRecord(const TitelDef& def, Kursart kind) {
    flushQueued();  // the last record may be a queued one
    Target& t = target(def, kind);
    OpenFile file(fs_);
    if (file.open(t.nativePath, FileSystem::Access::kRead)) return std::nullopt;
    DateiKopf kopf;
    std::int64_t size = 0;
    if (file.readAll(0, kopf.bytes.data(), kHeaderSize) || !kopf.hasKennung() || file.size(size))
        return std::nullopt;
    const std::int64_t records = recordCount(size);
    if (records == 0) return std::nullopt;
    char record[kRecordSize];
    if (file.readAll(kHeaderSize + (records - 1) * kRecordSize, record, kRecordSize))
        return std::nullopt;
    return decodeKursSatz(record);
}

void DataFileStore::hold(const QString& path) {
    flushQueued();
    ++held_[path];
}

void DataFileStore::release(const QString& path) {
    auto it = held_.find(path);
    if (it == held_.end()) return;
    if (--*it > 0) return;
    held_.erase(it);
    const std::vector<HeldTick> waiting = heldTicks_.take(path);
    for (const HeldTick& h : waiting) {
        if (append(h.def, h.kind, h.satz) == Appended::kWritten && listener_)
            listener_->heldTickWritten(h.def, h.kind, h.satz);
    }
}

void DataFileStore::reportFailure(const Target& t, const Failure& failure) {
    const QString where = failure.inFolder ? t.folder : t.path;
    const QString reason = errorOf(failure.error).text;
    auto it = faults_.find(where);
    if (it != faults_.end() && *it == reason) return;  // told already
    faults_.insert(where, reason);
    if (listener_) listener_->failed(where, reason);
}

void DataFileStore::reportWritten(const Target& t) {
    for (const QString& where : {t.path, t.folder}) {
        if (faults_.remove(where) && listener_) listener_->faultEnded(where);
    }
}

void DataFileStore::endFaultsOf(const TitelDef& def) {
    flushQueued();  // what the title got before it stopped still goes in
    if (faults_.isEmpty()) return;
    for (Kursart kind : {kBezahlt, kGeld, kBrief}) {
        Target* t = targets_.value({def.id(), kind});
        if (t && faults_.remove(t->path) && listener_) listener_->faultEnded(t->path);
    }
}

}  // namespace vqs
