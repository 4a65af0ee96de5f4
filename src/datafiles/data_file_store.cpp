#include "datafiles/data_file_store.h"

#include "common/process.h"
#include "datafiles/naming.h"

#include <QDir>
#include <QFileInfo>
#include <QRandomGenerator>
#include <QScopeGuard>

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstring>

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
    bool tidied = false;
};

DataFileStore::DataFileStore(FileSystem& fs) : fs_(fs) {}
DataFileStore::~DataFileStore() = default;

void DataFileStore::setRoot(const QString& root) {
    if (root == root_) return;
    root_ = root;
    targets_.clear();
    ownedTargets_.clear();
    folderSpelling_.clear();
    tidiedFolders_.clear();
}

QString DataFileStore::describe(int error) {
    if (error == kNoDataFile)
        return QStringLiteral("Die Datei ist keine Datendatei (fremder oder unvollständiger Kopf)");
    return describeFileError(error);
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
    t->tidied = tidiedFolders_.contains(t->folder);
    return *t;
}

QString DataFileStore::filePath(const TitelDef& def, Kursart kind) {
    return target(def, kind).path;
}

Appended DataFileStore::append(const TitelId& id, const TitelDef& def, Kursart kind,
                               const KursSatz& satz) {
    if (def.WKN.isEmpty() && def.RT_WKN.isEmpty()) return Appended::Failed;  // no definition
    if (!std::isfinite(satz.Zeit) || !std::isfinite(satz.Kurs) || !std::isfinite(satz.Volume))
        return Appended::Failed;
    Target& t = target(id, def, kind);
    if (!held_.isEmpty() && held_.contains(t.path)) {
        heldTicks_[t.path].push_back({def, kind, satz});
        return Appended::Held;
    }
    if (!covered_.isEmpty()) {
        if (auto it = covered_.find(t.path); it != covered_.end()) {
            // Time stamps of the two ways differ in their last bits.
            if (satz.Zeit <= *it + 1e-9) return Appended::Covered;
            covered_.erase(it);
        }
    }
    char record[kRecordSize];
    encodeKursSatz(satz, record);
    const Failure failure = appendNow(t, def, kind, record, kRecordSize);
    if (failure.error) {
        reportFailure(t, failure);
        return Appended::Failed;
    }
    if (!faults_.isEmpty()) reportWritten(t);
    return Appended::Written;
}

int DataFileStore::appendAll(const TitelDef& def, Kursart kind,
                             const std::vector<KursSatz>& records) {
    if (records.empty()) return 0;
    Target& t = target(def, kind);
    QByteArray bytes(static_cast<qsizetype>(records.size()) * kRecordSize, Qt::Uninitialized);
    for (size_t i = 0; i < records.size(); ++i)
        encodeKursSatz(records[i], bytes.data() + i * kRecordSize);
    const Failure failure = appendNow(t, def, kind, bytes.constData(), bytes.size());
    if (failure.error) {
        reportFailure(t, failure);
        return failure.error;
    }
    if (!faults_.isEmpty()) reportWritten(t);
    return 0;
}

DataFileStore::Failure DataFileStore::appendNow(Target& t, const TitelDef& def, Kursart kind,
                                                const char* records, std::int64_t length) {
    if (!t.tidied) {
        tidyFolder(t.folder);
        t.tidied = true;
    }
    if (!unrecovered_.isEmpty()) {
        // Appended to now, the file would lose these records when its journal is played back.
        const auto it = unrecovered_.find(t.path);
        if (it != unrecovered_.end()) {
            if (const int error = recoverJournal(t.path)) return {*it = error};
            unrecovered_.erase(it);
        }
    }
    OpenFile file(fs_);
    int error = file.open(t.nativePath, FileSystem::Access::ReadWrite);
    if (error == ENOENT) {
        const Failure created = createFile(t, buildHeader(def, kind), records, length, false);
        if (created.error != EEXIST) return created;
        error = file.open(t.nativePath, FileSystem::Access::ReadWrite);  // made meanwhile
    }
    // A rewrite by another program (a merge, the Dateninspektor's save) ends before we look.
    if (!error) error = file.lock();
    if (error) return {error};

    DateiKopf kopf;
    std::int64_t got = 0;
    if ((error = fs_.read(file.handle(), 0, kopf.bytes.data(), kHeaderSize, got))) return {error};
    if (got == 0) {
        // An empty file under the name gets its header: written whole, as a new file.
        file.close();
        return createFile(t, buildHeader(def, kind), records, length, true);
    }
    if (got < kHeaderSize || !kopf.hasKennung()) return {kNoDataFile};
    if (!kopf.isCompleted()) {
        completeHeader(kopf, kind, def);
        if ((error = file.write(0, kopf.bytes.data(), kHeaderSize))) return {error};
    }
    std::int64_t size = 0;
    if ((error = file.size(size))) return {error};
    // A record torn by a crash or a full disk is overwritten, so later records stay aligned.
    const std::int64_t end = kHeaderSize + recordCount(size) * kRecordSize;
    if ((error = file.write(end, records, length))) {
        // Whatever part went in is cut off again: the file keeps whole records only.
        file.truncate(end);
        return {error};
    }
    return {};
}

DataFileStore::Failure DataFileStore::createFile(Target& t, const DateiKopf& header,
                                                 const char* records, std::int64_t length,
                                                 bool replace) {
    if (int error = makeFolder(t)) return {error, true};
    QByteArray content(header.bytes.data(), kHeaderSize);
    content.append(records, length);
    return {createWhole(t.path, content, replace)};
}

int DataFileStore::create(const TitelDef& def, Kursart kind, const DateiKopf& header,
                          const std::vector<KursSatz>& records) {
    Target& t = target(def, kind);
    QByteArray bytes(static_cast<qsizetype>(records.size()) * kRecordSize, Qt::Uninitialized);
    for (size_t i = 0; i < records.size(); ++i)
        encodeKursSatz(records[i], bytes.data() + i * kRecordSize);
    OpenFile existing(fs_);
    bool replace = false;
    if (existing.open(t.nativePath, FileSystem::Access::Read) == 0) {
        std::int64_t size = -1;
        existing.size(size);
        if (size != 0) return EEXIST;
        replace = true;  // an empty file under the name
    }
    existing.close();
    const Failure failure = createFile(t, header, bytes.constData(), bytes.size(), replace);
    if (failure.error) {
        reportFailure(t, failure);
        return failure.error;
    }
    if (!faults_.isEmpty()) reportWritten(t);
    return 0;
}

int DataFileStore::makeFolder(Target& t) {
    if (t.folder == root_) return 0;
    const int error = fs_.makeDirectory(t.nativeFolder);
    if (error == EEXIST) return 0;
    if (error) return error;
    fs_.syncDirectory(FileSystem::nativePath(root_));  // the new folder survives a power loss
    return 0;
}

int DataFileStore::createWhole(const QString& path, QByteArrayView content, bool replace) {
    const FileSystem::Path target = FileSystem::nativePath(path);
    const FileSystem::Path aside = FileSystem::nativePath(asideName(path));
    OpenFile file(fs_);
    int error = file.open(aside, FileSystem::Access::CreateNew);
    if (error) return error;
    error = file.write(0, content.data(), content.size());
    if (!error) error = file.sync();
    file.close();
    if (!error) {
        if (replace) {
            error = fs_.rename(aside, target);
        } else {
            error = fs_.link(aside, target);
            if (error == ENOTSUP) {
                // Without links: look, then rename (a file made in between would be replaced).
                OpenFile existing(fs_);
                error = existing.open(target, FileSystem::Access::Read) == 0
                            ? EEXIST
                            : fs_.rename(aside, target);
            }
        }
    }
    fs_.remove(aside);  // after a rename it is gone already
    if (!error) fs_.syncDirectory(FileSystem::nativePath(folderOf(path)));
    return error;
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

// A journal: what a rewrite will overwrite, kept before the file is touched.
//   "VQSJRNL1", the rewrite's start and the file's old length (64 bits each, little-endian),
//   the old header (856 bytes), the old bytes from the start to the old end,
//   "ENDE" and a checksum of what comes before the old bytes.
// The end is written only once the old bytes are on disk: a journal without it was cut short by
// a crash before the file was touched.
constexpr char kJournalMagic[] = "VQSJRNL1";
constexpr std::int64_t kJournalHead = 8 + 8 + 8;
constexpr char kJournalEnd[] = "ENDE";
constexpr std::int64_t kJournalTail = 4 + 8;
// FNV-1a over the journal's head and old header: a torn or foreign head does not pass.
std::uint64_t checksum(const char* data, std::int64_t length) {
    std::uint64_t h = 0xcbf29ce484222325ULL;
    for (std::int64_t i = 0; i < length; ++i) {
        h ^= static_cast<unsigned char>(data[i]);
        h *= 0x100000001b3ULL;
    }
    return h;
}

void putLe(char* out, std::uint64_t v) {
    for (int i = 0; i < 8; ++i) out[i] = static_cast<char>(v >> (8 * i));
}
std::uint64_t getLe(const char* in) {
    std::uint64_t v = 0;
    for (int i = 7; i >= 0; --i) v = (v << 8) | static_cast<unsigned char>(in[i]);
    return v;
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
        return fs_.read(journal_, kJournalHead + kHeaderSize + offset, data, length, got);
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
    if (!error)
        error = fs.copy(journal, kJournalHead + kHeaderSize, file.handle(), from, length - from);
    if (!error) error = file.truncate(length);
    if (!error) error = file.sync();
    return error;
}

}  // namespace

int DataFileStore::rewriteInPlace(const QString& path, std::int64_t from, const DateiKopf* header,
                                  const Rewrite& rewrite) {
    const FileSystem::Path native = FileSystem::nativePath(path);
    const FileSystem::Path journalNative = FileSystem::nativePath(journalPath(path));
    const FileSystem::Path folder = FileSystem::nativePath(folderOf(path));
    // A journal left by a crash is played back first: the rewrite starts from the old file.
    if (int error = recoverJournal(path)) return error;
    unrecovered_.remove(path);

    // This program's own ticks for the file wait meanwhile (an append would wait for the lock
    // below for ever); they follow once the file is closed and unlocked.
    hold(path);
    const auto released = qScopeGuard([&] { release(path); });
    OpenFile file(fs_);
    int error = file.open(native, FileSystem::Access::ReadWrite);
    // Appends of other programs wait until the rewrite is done, and the records they appended
    // before are part of what is rewritten.
    if (!error) error = file.lock();
    std::int64_t length = 0;
    if (!error) error = file.size(length);
    if (error) return error;
    if (from < kHeaderSize || from > length) return EINVAL;
    char oldHeader[kHeaderSize];
    if ((error = file.readAll(0, oldHeader, kHeaderSize))) return error;

    // 1. What will be overwritten goes into the journal, which is flushed with its name.
    OpenFile journal(fs_);
    if ((error = journal.open(journalNative, FileSystem::Access::CreateNew))) return error;
    auto dropJournal = [&] {
        journal.close();
        fs_.remove(journalNative);
    };
    {
        char head[kJournalHead + kHeaderSize];
        std::memcpy(head, kJournalMagic, 8);
        putLe(head + 8, static_cast<std::uint64_t>(from));
        putLe(head + 16, static_cast<std::uint64_t>(length));
        std::memcpy(head + kJournalHead, oldHeader, kHeaderSize);
        char tail[kJournalTail];
        std::memcpy(tail, kJournalEnd, 4);
        putLe(tail + 4, checksum(head, sizeof head));
        const std::int64_t body = kJournalHead + kHeaderSize;
        error = journal.write(0, head, sizeof head);
        if (!error) error = fs_.copy(file.handle(), from, journal.handle(), body, length - from);
        if (!error) error = journal.sync();
        if (!error) error = journal.write(body + (length - from), tail, kJournalTail);
        if (!error) error = journal.sync();
        if (!error) error = fs_.syncDirectory(folder);
    }
    if (error) {
        dropJournal();
        return error;
    }
    journal.close();
    if ((error = journal.open(journalNative, FileSystem::Access::Read))) {
        dropJournal();
        return error;
    }

    // 2. The new content, then the file's end and header, flushed.
    JournalBytes old(fs_, journal.handle(), length - from);
    FileBytes out(file, from);
    error = rewrite(old, out);
    const std::int64_t end = from + out.written();
    if (!error && end < length) error = file.truncate(end);
    if (!error && header) error = file.write(0, header->bytes.data(), kHeaderSize);
    if (!error) error = file.sync();
    if (error) {
        // The old content goes back; when even that fails, the journal stays for the next start
        // and the file takes no tick until it is played back.
        if (const int failed = playBack(fs_, journal.handle(), file, from, length))
            unrecovered_.insert(path, failed);
        else
            dropJournal();
        return error;
    }

    // 3. The journal goes: from now on the new content is the file.
    dropJournal();
    fs_.syncDirectory(folder);
    return 0;
}

int DataFileStore::recoverJournal(const QString& path, bool* playedBack) {
    if (playedBack) *playedBack = false;
    const FileSystem::Path journalNative = FileSystem::nativePath(journalPath(path));
    OpenFile journal(fs_);
    int error = journal.open(journalNative, FileSystem::Access::Read);
    if (error == ENOENT) return 0;
    std::int64_t size = 0;
    if (!error) error = journal.size(size);
    if (error) return error;

    // Only a whole journal with its checksum is played back; anything less was cut short before
    // the file was touched. A journal that cannot be read stays, and so does its error.
    bool whole = size >= kJournalHead + kHeaderSize + kJournalTail;
    std::int64_t from = 0, length = 0;
    if (whole) {
        char start[kJournalHead + kHeaderSize];
        char tail[kJournalTail];
        if ((error = journal.readAll(0, start, sizeof start)) ||
            (error = journal.readAll(size - kJournalTail, tail, kJournalTail)))
            return error;
        from = static_cast<std::int64_t>(getLe(start + 8));
        length = static_cast<std::int64_t>(getLe(start + 16));
        whole = std::memcmp(start, kJournalMagic, 8) == 0 && from >= kHeaderSize &&
                length >= from &&
                size == kJournalHead + kHeaderSize + (length - from) + kJournalTail &&
                std::memcmp(tail, kJournalEnd, 4) == 0 &&
                getLe(tail + 4) == checksum(start, sizeof start);
    }
    if (whole) {
        OpenFile file(fs_);
        if ((error = file.open(FileSystem::nativePath(path), FileSystem::Access::ReadWrite)) ||
            (error = file.lock()))
            return error;
        if ((error = playBack(fs_, journal.handle(), file, from, length))) return error;
        if (playedBack) *playedBack = true;
    }
    journal.close();
    if ((error = fs_.remove(journalNative)) && error != ENOENT) return error;
    fs_.syncDirectory(FileSystem::nativePath(folderOf(path)));
    return 0;
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
            bool playedBack = false;
            if (const int error = recoverJournal(path, &playedBack))
                unrecovered_.insert(path, error);
            else if (playedBack)
                recovered << path;
        }
    }
    return recovered;
}

std::optional<KursSatz> DataFileStore::lastRecord(const TitelDef& def, Kursart kind) {
    Target& t = target(def, kind);
    OpenFile file(fs_);
    if (file.open(t.nativePath, FileSystem::Access::Read)) return std::nullopt;
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

void DataFileStore::hold(const QString& path) { ++held_[path]; }

void DataFileStore::release(const QString& path) {
    auto it = held_.find(path);
    if (it == held_.end()) return;
    if (--*it > 0) return;
    held_.erase(it);
    const std::vector<HeldTick> waiting = heldTicks_.take(path);
    for (const HeldTick& h : waiting) {
        if (append(h.def, h.kind, h.satz) == Appended::Written && listener_)
            listener_->heldTickWritten(h.def, h.kind, h.satz);
    }
}

void DataFileStore::reportFailure(const Target& t, const Failure& failure) {
    const QString where = failure.inFolder ? t.folder : t.path;
    const QString reason = describe(failure.error);
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
    if (faults_.isEmpty()) return;
    for (Kursart kind : {kBezahlt, kGeld, kBrief}) {
        Target* t = targets_.value({def.id(), kind});
        if (t && faults_.remove(t->path) && listener_) listener_->faultEnded(t->path);
    }
}

}  // namespace vqs
