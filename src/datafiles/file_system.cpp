#include "datafiles/file_system.h"

#include <QDir>
#include <QFile>

#include <algorithm>
#include <cstring>
#include <vector>

#ifdef _WIN32
#include <windows.h>
#else
#include <dirent.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace vqs {

int FileSystem::lock(Handle) { return 0; }
int FileSystem::unlock(Handle) { return 0; }

int FileSystem::copy(Handle from, std::int64_t fromOffset, Handle to, std::int64_t toOffset,
                     std::int64_t length) {
    std::vector<char> buffer(static_cast<size_t>(std::min<std::int64_t>(length, 1 << 20)));
    for (std::int64_t done = 0; done < length;) {
        const std::int64_t n =
            std::min<std::int64_t>(static_cast<std::int64_t>(buffer.size()), length - done);
        std::int64_t got = 0;
        if (int error = read(from, fromOffset + done, buffer.data(), n, got)) return error;
        if (got != n) return EIO;
        if (int error = write(to, toOffset + done, buffer.data(), n)) return error;
        done += n;
    }
    return 0;
}

QString describeFileError(int error) {
    switch (error) {
        case 0:
            return {};
        case ENOSPC:
            return QStringLiteral("Auf dem Datenträger ist kein Platz mehr frei");
#ifdef EDQUOT
        case EDQUOT:
            return QStringLiteral("Das Speicherkontingent auf dem Datenträger ist erschöpft");
#endif
        case EACCES:
        case EPERM:
            return QStringLiteral("Zugriff verweigert");
        case EROFS:
            return QStringLiteral("Der Datenträger ist schreibgeschützt");
        case EIO:
            return QStringLiteral("Ein- oder Ausgabefehler des Datenträgers");
        case ENOENT:
            return QStringLiteral("Datei oder Verzeichnis nicht vorhanden");
        case ENOTDIR:
            return QStringLiteral("Ein Teil des Pfades ist kein Verzeichnis");
        case EISDIR:
            return QStringLiteral("Unter dem Namen steht ein Verzeichnis");
        case ESPIPE:
        case ENXIO:
            return QStringLiteral("Unter dem Namen steht keine gewöhnliche Datei");
        case EMFILE:
        case ENFILE:
            return QStringLiteral("Zu viele offene Dateien");
        case ENAMETOOLONG:
            return QStringLiteral("Der Dateiname ist zu lang");
        case EBUSY:
            return QStringLiteral("Die Datei ist gesperrt");
        case ELOOP:
            return QStringLiteral("Unter dem Namen steht ein symbolischer Verweis");
        default:
            return QStringLiteral("Systemfehler %1 (%2)")
                .arg(error)
                .arg(QString::fromLocal8Bit(std::strerror(error)));
    }
}

#ifdef _WIN32

namespace {

int mappedError(DWORD e) {
    switch (e) {
        case ERROR_FILE_NOT_FOUND:
        case ERROR_PATH_NOT_FOUND:
            return ENOENT;
        case ERROR_ACCESS_DENIED:
            return EACCES;
        case ERROR_SHARING_VIOLATION:
        case ERROR_LOCK_VIOLATION:
            return EBUSY;
        case ERROR_DISK_FULL:
        case ERROR_HANDLE_DISK_FULL:
            return ENOSPC;
        case ERROR_WRITE_PROTECT:
            return EROFS;
        case ERROR_FILE_EXISTS:
        case ERROR_ALREADY_EXISTS:
            return EEXIST;
        case ERROR_TOO_MANY_OPEN_FILES:
            return EMFILE;
        case ERROR_NOT_SUPPORTED:
        case ERROR_INVALID_FUNCTION:
            return ENOTSUP;
        default:
            return EIO;
    }
}
int lastError() { return mappedError(GetLastError()); }
FileSystem::Status statusOf(const BY_HANDLE_FILE_INFORMATION& info) {
    return {
        info.dwVolumeSerialNumber,
        (static_cast<std::uint64_t>(info.nFileIndexHigh) << 32) | info.nFileIndexLow,
        (info.dwFileAttributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT)) == 0};
}
HANDLE h(FileSystem::Handle handle) { return reinterpret_cast<HANDLE>(handle); }
const wchar_t* w(const QString& path) { return reinterpret_cast<const wchar_t*>(path.utf16()); }

class SystemFileSystem final : public FileSystem {
public:
    int open(const Path& path, Access access, Handle& handle) override {
        const bool own = access == Access::ReadOwn || access == Access::ReadWriteOwn;
        const DWORD rights = access == Access::Read || access == Access::ReadOwn ? GENERIC_READ
                             : access == Access::CreateNew                       ? GENERIC_WRITE
                                                           : GENERIC_READ | GENERIC_WRITE;
        const DWORD disposition = access == Access::CreateNew ? CREATE_NEW : OPEN_EXISTING;
        HANDLE f = CreateFileW(
            w(path), rights, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
            disposition, FILE_ATTRIBUTE_NORMAL | (own ? FILE_FLAG_OPEN_REPARSE_POINT : 0), nullptr);
        if (f == INVALID_HANDLE_VALUE) return lastError();
        if (own) {
            // A link opened as itself is refused, as O_NOFOLLOW does.
            BY_HANDLE_FILE_INFORMATION info;
            if (GetFileInformationByHandle(f, &info) &&
                (info.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT)) {
                CloseHandle(f);
                return ELOOP;
            }
        }
        if (GetFileType(f) != FILE_TYPE_DISK) {
            CloseHandle(f);
            return ENXIO;
        }
        handle = reinterpret_cast<Handle>(f);
        return 0;
    }
    int read(Handle handle, std::int64_t offset, char* data, std::int64_t length,
             std::int64_t& got) override {
        got = 0;
        while (got < length) {
            OVERLAPPED ov{};
            const std::int64_t at = offset + got;
            ov.Offset = static_cast<DWORD>(at);
            ov.OffsetHigh = static_cast<DWORD>(at >> 32);
            DWORD n = 0;
            if (!ReadFile(h(handle), data + got, static_cast<DWORD>(length - got), &n, &ov)) {
                if (GetLastError() == ERROR_HANDLE_EOF) return 0;
                return lastError();
            }
            if (n == 0) return 0;
            got += n;
        }
        return 0;
    }
    int write(Handle handle, std::int64_t offset, const char* data, std::int64_t length) override {
        std::int64_t done = 0;
        while (done < length) {
            OVERLAPPED ov{};
            const std::int64_t at = offset + done;
            ov.Offset = static_cast<DWORD>(at);
            ov.OffsetHigh = static_cast<DWORD>(at >> 32);
            DWORD n = 0;
            if (!WriteFile(h(handle), data + done, static_cast<DWORD>(length - done), &n, &ov))
                return lastError();
            if (n == 0) return ENOSPC;
            done += n;
        }
        return 0;
    }
    int size(Handle handle, std::int64_t& size) override {
        LARGE_INTEGER s;
        if (!GetFileSizeEx(h(handle), &s)) return lastError();
        size = s.QuadPart;
        return 0;
    }
    int truncate(Handle handle, std::int64_t length) override {
        LARGE_INTEGER pos;
        pos.QuadPart = length;
        if (!SetFilePointerEx(h(handle), pos, nullptr, FILE_BEGIN) || !SetEndOfFile(h(handle)))
            return lastError();
        return 0;
    }
    int sync(Handle handle) override { return FlushFileBuffers(h(handle)) ? 0 : lastError(); }
    int lock(Handle handle) override {
        // One byte far past any end: Windows locks bar reads, and readers must stay free.
        OVERLAPPED at{};
        at.OffsetHigh = 0x7fffffff;
        return LockFileEx(h(handle), LOCKFILE_EXCLUSIVE_LOCK, 0, 1, 0, &at) ? 0 : lastError();
    }
    int unlock(Handle handle) override {
        OVERLAPPED at{};
        at.OffsetHigh = 0x7fffffff;
        return UnlockFileEx(h(handle), 0, 1, 0, &at) ? 0 : lastError();
    }
    void close(Handle handle) override { CloseHandle(h(handle)); }
    int status(Handle handle, Status& status) override {
        BY_HANDLE_FILE_INFORMATION info;
        if (!GetFileInformationByHandle(h(handle), &info)) return lastError();
        status = statusOf(info);
        return 0;
    }
    int status(const Path& path, Status& status) override {
        HANDLE f = CreateFileW(w(path), FILE_READ_ATTRIBUTES,
                               FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                               OPEN_EXISTING,
                               FILE_FLAG_OPEN_REPARSE_POINT | FILE_FLAG_BACKUP_SEMANTICS, nullptr);
        if (f == INVALID_HANDLE_VALUE) return lastError();
        const int error = this->status(reinterpret_cast<Handle>(f), status);
        CloseHandle(f);
        return error;
    }
    int rename(const Path& from, const Path& to) override {
        return MoveFileExW(w(from), w(to), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)
                   ? 0
                   : lastError();
    }
    int link(const Path& from, const Path& to) override {
        return CreateHardLinkW(w(to), w(from), nullptr) ? 0 : lastError();
    }
    int remove(const Path& path) override { return DeleteFileW(w(path)) ? 0 : lastError(); }
    int makeDirectory(const Path& path) override {
        return CreateDirectoryW(w(path), nullptr) ? 0 : lastError();
    }
    int syncDirectory(const Path&) override { return 0; }
    int list(const Path& directory, QStringList& names) override {
        names = QDir(directory).entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden |
                                          QDir::System);
        return 0;
    }
};

}  // namespace

FileSystem::Path FileSystem::nativePath(const QString& path) {
    return QDir::toNativeSeparators(path);
}
QString FileSystem::displayPath(const Path& path) { return path; }

#else

namespace {

int openRetrying(const QByteArray& path, int flags) {
    int fd;
    do {
        fd = ::open(path.constData(), flags, 0666);
    } while (fd < 0 && errno == EINTR);
    return fd;
}

FileSystem::Status statusOf(const struct stat& st) {
    return {static_cast<std::uint64_t>(st.st_dev), static_cast<std::uint64_t>(st.st_ino),
            S_ISREG(st.st_mode), static_cast<std::uint64_t>(st.st_nlink),
            static_cast<std::int64_t>(st.st_size)};
}

// Calls that the kernel may interrupt or cut short are repeated until done.
class SystemFileSystem final : public FileSystem {
public:
    int open(const Path& path, Access access, Handle& handle) override {
        // Non-blocking, so that a FIFO under the name cannot hold the program: opening it
        // succeeds at once and the first positioned read fails (ESPIPE).
        int flags = O_CLOEXEC | O_NONBLOCK;
        switch (access) {
            case Access::kRead:
                flags |= O_RDONLY;
                break;
            case Access::kReadWrite:
                flags |= O_RDWR;
                break;
            case Access::kCreateNew:
                flags |= O_WRONLY | O_CREAT | O_EXCL;
                break;
            case Access::kReadOwn:
                flags |= O_RDONLY | O_NOFOLLOW;
                break;
            case Access::kReadWriteOwn:
                flags |= O_RDWR | O_NOFOLLOW;
                break;
        }
#ifdef O_NOATIME
        // Reading the header of every tick's file must not dirty its inode for the access time;
        // only the file's owner may ask for that, others open it as usual.
        int fd = openRetrying(path, access == Access::kCreateNew ? flags : flags | O_NOATIME);
        if (fd < 0 && errno == EPERM && access != Access::kCreateNew)
            fd = openRetrying(path, flags);
#else
        int fd = openRetrying(path, flags);
#endif
        if (fd < 0) return errno;
        handle = fd;
        return 0;
    }
    int read(Handle handle, std::int64_t offset, char* data, std::int64_t length,
             std::int64_t& got) override {
        got = 0;
        while (got < length) {
            const ssize_t n =
                ::pread(static_cast<int>(handle), data + got, static_cast<size_t>(length - got),
                        static_cast<off_t>(offset + got));
            if (n < 0 && errno == EINTR) continue;
            if (n < 0) return errno;
            if (n == 0) break;
            got += n;
        }
        return 0;
    }
    int write(Handle handle, std::int64_t offset, const char* data, std::int64_t length) override {
        std::int64_t done = 0;
        while (done < length) {
            const ssize_t n =
                ::pwrite(static_cast<int>(handle), data + done, static_cast<size_t>(length - done),
                         static_cast<off_t>(offset + done));
            if (n < 0 && errno == EINTR) continue;
            if (n < 0) return errno;
            if (n == 0) return ENOSPC;
            done += n;
        }
        return 0;
    }
    int size(Handle handle, std::int64_t& size) override {
        // The end by seeking: cheaper than asking for the whole status.
        const off_t end = ::lseek(static_cast<int>(handle), 0, SEEK_END);
        if (end < 0) return errno;
        size = end;
        return 0;
    }
    int truncate(Handle handle, std::int64_t length) override {
        int r;
        do {
            r = ::ftruncate(static_cast<int>(handle), static_cast<off_t>(length));
        } while (r != 0 && errno == EINTR);
        return r == 0 ? 0 : errno;
    }
    int sync(Handle handle) override { return ::fsync(static_cast<int>(handle)) == 0 ? 0 : errno; }
    int lock(Handle handle) override {
        int result;
        do {
            result = ::flock(static_cast<int>(handle), LOCK_EX);
        } while (result != 0 && errno == EINTR);
        return result == 0 ? 0 : errno;
    }
    int unlock(Handle handle) override {
        return ::flock(static_cast<int>(handle), LOCK_UN) == 0 ? 0 : errno;
    }
    void close(Handle handle) override { ::close(static_cast<int>(handle)); }
    int status(Handle handle, Status& status) override {
        struct stat st;
        if (::fstat(static_cast<int>(handle), &st) != 0) return errno;
        status = statusOf(st);
        return 0;
    }
    int status(const Path& path, Status& status) override {
        struct stat st;
        if (::lstat(path.constData(), &st) != 0) return errno;
        status = statusOf(st);
        return 0;
    }
    int rename(const Path& from, const Path& to) override {
        return ::rename(from.constData(), to.constData()) == 0 ? 0 : errno;
    }
    int link(const Path& from, const Path& to) override {
        if (::link(from.constData(), to.constData()) == 0) return 0;
        return (errno == EPERM || errno == EOPNOTSUPP || errno == ENOSYS) ? ENOTSUP : errno;
    }
    int remove(const Path& path) override { return ::unlink(path.constData()) == 0 ? 0 : errno; }
    int makeDirectory(const Path& path) override {
        return ::mkdir(path.constData(), 0777) == 0 ? 0 : errno;
    }
    int syncDirectory(const Path& path) override {
        const int fd = ::open(path.constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
        if (fd < 0) return errno;
        const int r = ::fsync(fd) == 0 ? 0 : errno;
        ::close(fd);
        // Some file systems cannot sync a directory; their names are as durable as they get.
        return r == EINVAL ? 0 : r;
    }
    int copy(Handle from, std::int64_t fromOffset, Handle to, std::int64_t toOffset,
             std::int64_t length) override {
#ifdef __linux__
        // The kernel copies without the bytes passing through the program.
        loff_t in = fromOffset, out = toOffset;
        std::int64_t done = 0;
        while (done < length) {
            const ssize_t n = ::copy_file_range(static_cast<int>(from), &in, static_cast<int>(to),
                                                &out, static_cast<size_t>(length - done), 0);
            if (n < 0 && errno == EINTR) continue;
            if (n < 0 && done == 0 &&
                (errno == EXDEV || errno == ENOSYS || errno == EOPNOTSUPP || errno == EINVAL))
                return FileSystem::copy(from, fromOffset, to, toOffset, length);
            if (n < 0) return errno;
            if (n == 0) return EIO;  // the source ended before
            done += n;
        }
        return 0;
#else
        return FileSystem::copy(from, fromOffset, to, toOffset, length);
#endif
    }
    int list(const Path& directory, QStringList& names) override {
        names.clear();
        DIR* dir = ::opendir(directory.constData());
        if (!dir) return errno;
        while (const dirent* e = ::readdir(dir)) {
            if (std::strcmp(e->d_name, ".") == 0 || std::strcmp(e->d_name, "..") == 0) continue;
            names << QFile::decodeName(e->d_name);
        }
        ::closedir(dir);
        return 0;
    }
};

}  // namespace

FileSystem::Path FileSystem::nativePath(const QString& path) { return QFile::encodeName(path); }
QString FileSystem::displayPath(const Path& path) { return QFile::decodeName(path); }

#endif

FileSystem& systemFileSystem() {
    static SystemFileSystem fs;
    return fs;
}

}  // namespace vqs
