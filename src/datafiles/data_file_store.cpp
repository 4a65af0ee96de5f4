#include "datafiles/data_file_store.h"

#include "common/process.h"
#include "datafiles/naming.h"

#include <QDir>
#include <QFileInfo>
#include <QRandomGenerator>

#include <cerrno>
#include <cmath>

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
    OpenFile file(fs_);
    int error = file.open(t.nativePath, FileSystem::Access::ReadWrite);
    if (error == ENOENT) {
        const Failure created = createFile(t, def, kind, records, length, false);
        if (created.error != EEXIST) return created;
        error = file.open(t.nativePath, FileSystem::Access::ReadWrite);  // made meanwhile
    }
    if (error) return {error};

    DateiKopf kopf;
    std::int64_t got = 0;
    if ((error = fs_.read(file.handle(), 0, kopf.bytes.data(), kHeaderSize, got))) return {error};
    if (got == 0) {
        // An empty file under the name gets its header: written whole, as a new file.
        file.close();
        return createFile(t, def, kind, records, length, true);
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

DataFileStore::Failure DataFileStore::createFile(Target& t, const TitelDef& def, Kursart kind,
                                                 const char* records, std::int64_t length,
                                                 bool replace) {
    if (int error = makeFolder(t)) return {error, true};
    const DateiKopf kopf = buildHeader(def, kind);
    QByteArray content(kopf.bytes.data(), kHeaderSize);
    content.append(records, length);
    return {createWhole(t.path, content, replace)};
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
