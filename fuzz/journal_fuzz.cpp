#include "common/crc32c.h"
#include "datafiles/data_file_store.h"
#include "support/forwarding_file_system.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <cstdint>
#include <cstdlib>
#include <cstring>

#include <sys/stat.h>
#include <unistd.h>

// Any bytes as the journal beside a small data file, played back: only bytes the journal may
// touch ever change, and nothing outside the data root is opened for writing, renamed or removed.
//
// The first byte chooses the setting: 1 the data file is a link to a file outside the root,
// 2 the journal names the real file (device and inode patched in), 4 its checksum is made to
// hold, 8 the journal is a link to a file outside, 16 there is no data file, 32 the journal
// holds the file's real header. The rest is the journal.

namespace {

using vqs::FileSystem;

// The system's file system, which aborts when a write lands outside the data root.
class GuardedFileSystem final : public vqs::test::ForwardingFileSystem {
public:
    QByteArray root;  // canonical, with a trailing separator
    int open(const Path& path, Access access, Handle& handle) override {
        const int error = ForwardingFileSystem::open(path, access, handle);
        if (!error && access != Access::kRead && access != Access::kReadOwn) inside(handle);
        return error;
    }
    int write(Handle h, std::int64_t o, const char* d, std::int64_t l) override {
        inside(h);
        return ForwardingFileSystem::write(h, o, d, l);
    }
    int truncate(Handle h, std::int64_t l) override {
        inside(h);
        return ForwardingFileSystem::truncate(h, l);
    }
    int copy(Handle f, std::int64_t fo, Handle t, std::int64_t to, std::int64_t l) override {
        inside(t);
        return ForwardingFileSystem::copy(f, fo, t, to, l);
    }
    int rename(const Path& f, const Path& t) override {
        named(f);
        named(t);
        return ForwardingFileSystem::rename(f, t);
    }
    int link(const Path& f, const Path& t) override {
        named(t);
        return ForwardingFileSystem::link(f, t);
    }
    int remove(const Path& p) override {
        named(p);
        return ForwardingFileSystem::remove(p);
    }

private:
    // The file an open handle reaches lies below the root.
    void inside(Handle h) const {
        char target[4096];
        const QByteArray fd = "/proc/self/fd/" + QByteArray::number(static_cast<qint64>(h));
        const ssize_t n = ::readlink(fd.constData(), target, sizeof target - 1);
        if (n <= 0 || !QByteArray(target, n).startsWith(root)) std::abort();
    }
    // A name that is changed lies below the root (its folder is the root's or one of its own).
    void named(const Path& p) const {
        if (!p.startsWith(root) || p.contains("/../")) std::abort();
    }
};

QByteArray content(const QString& path) {
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}
void put(const QString& path, const QByteArray& bytes) {
    QFile f(path);
    if (!f.open(QIODevice::WriteOnly | QIODevice::Truncate) || f.write(bytes) != bytes.size())
        std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, size_t size) {
    if (size < 1) return 0;
    const int flags = data[0];
    QByteArray journal(reinterpret_cast<const char*>(data + 1), static_cast<qsizetype>(size - 1));
    static QTemporaryDir base;
    const QString root = base.path() + QStringLiteral("/root");
    const QString outside = base.path() + QStringLiteral("/outside");
    QDir(root).removeRecursively();
    QDir(outside).removeRecursively();
    QDir().mkpath(root + QStringLiteral("/Dax 30"));
    QDir().mkpath(outside);

    vqs::TitelDef def;
    def.RT_WKN = def.WKN = QStringLiteral("710000");
    def.Name = QStringLiteral("Mercedes-Benz");
    def.Ordner = QStringLiteral("Dax 30");
    def.RT_Boerse = QStringLiteral("ETR");
    def.NeueNamen = true;
    QByteArray file(vqs::buildHeader(def, vqs::kBezahlt).bytes.data(), vqs::kHeaderSize);
    for (int i = 0; i < 20; ++i) {
        char r[vqs::kRecordSize];
        vqs::encodeKursSatz({46366.4 + i * 1e-5, 100.0f + static_cast<float>(i), 1}, r);
        file.append(r, vqs::kRecordSize);
    }
    GuardedFileSystem fs;
    fs.root = QFile::encodeName(QDir(root).canonicalPath()) + '/';
    vqs::DataFileStore store(fs);
    store.setRoot(QDir(root).canonicalPath());
    const QString path = store.filePath(def, vqs::kBezahlt);
    const QString outsideFile = outside + QStringLiteral("/710000-BRAVOL-ETR.VQS");
    put(outsideFile, file);
    if (!(flags & 16)) {
        if (flags & 1) {
            if (!QFile::link(outsideFile, path)) std::abort();
        } else {
            put(path, file);
        }
    }
    if ((flags & 32) && journal.size() >= 40 + vqs::kHeaderSize)
        journal.replace(40, vqs::kHeaderSize, file.left(vqs::kHeaderSize));
    if ((flags & 2) && journal.size() >= 40) {
        struct stat st;
        if (::stat(QFile::encodeName(path).constData(), &st) == 0) {
            for (int i = 0; i < 8; ++i) {
                journal[24 + i] =
                    static_cast<char>(static_cast<std::uint64_t>(st.st_dev) >> (8 * i));
                journal[32 + i] =
                    static_cast<char>(static_cast<std::uint64_t>(st.st_ino) >> (8 * i));
            }
        }
    }
    if ((flags & 4) && journal.size() >= 8) {
        const std::uint32_t crc =
            vqs::crc32c(0, journal.constData(), static_cast<size_t>(journal.size() - 8));
        for (int i = 0; i < 4; ++i)
            journal[journal.size() - 4 + i] = static_cast<char>(crc >> (8 * i));
    }
    const QString journalPath = vqs::DataFileStore::journalPath(path);
    if (flags & 8) {
        put(outside + QStringLiteral("/j"), journal);
        if (!QFile::link(outside + QStringLiteral("/j"), journalPath)) std::abort();
    } else {
        put(journalPath, journal);
    }
    const QByteArray outsideJournal = content(outside + QStringLiteral("/j"));

    const vqs::DataFileStore::JournalOutcome outcome = store.recoverJournal(path);

    // Nothing outside changed; a journal that was not played back left the file as it was.
    if (content(outsideFile) != file || content(outside + QStringLiteral("/j")) != outsideJournal)
        std::abort();
    const QByteArray after = content(path);
    if (outcome.kind != vqs::DataFileStore::JournalOutcome::kPlayedBack) {
        if (!(flags & 16) && after != file) std::abort();
        return 0;
    }
    // Played back: the old header and bytes it recorded, from its start to its old length; the
    // bytes before its start as they were.
    std::int64_t from = 0, length = 0;
    for (int i = 7; i >= 0; --i) {
        from = (from << 8) | static_cast<unsigned char>(journal[8 + i]);
        length = (length << 8) | static_cast<unsigned char>(journal[16 + i]);
    }
    if (from < vqs::kHeaderSize || from > file.size() || after.size() != length ||
        after.left(vqs::kHeaderSize) != journal.mid(40, vqs::kHeaderSize) ||
        after.mid(vqs::kHeaderSize, from - vqs::kHeaderSize) !=
            file.mid(vqs::kHeaderSize, from - vqs::kHeaderSize) ||
        after.mid(from) != journal.mid(40 + vqs::kHeaderSize, length - from) ||
        QFile::exists(journalPath))
        std::abort();
    return 0;
}
