#include "datafiles/raw_file.h"

#include <QFile>
#include <QRandomGenerator>

#ifdef _WIN32
#include <windows.h>
#else
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#endif

namespace vqs {
namespace {

RawFile::NativePath asideName(const RawFile::NativePath& path) {
    const QString suffix = QStringLiteral(".neu-%1").arg(QRandomGenerator::global()->generate(), 8,
                                                         16, QLatin1Char('0'));
#ifdef _WIN32
    return path + suffix;
#else
    return path + suffix.toLatin1();
#endif
}

}  // namespace

#ifdef _WIN32

RawFile::NativePath RawFile::nativePath(const QString& path) { return path; }

RawFile::Open RawFile::open(const NativePath& path, bool writable) {
    close();
    DWORD access = GENERIC_READ | (writable ? GENERIC_WRITE : 0);
    HANDLE h = CreateFileW(reinterpret_cast<const wchar_t*>(path.utf16()), access,
                           FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                           OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (h == INVALID_HANDLE_VALUE) {
        DWORD e = GetLastError();
        return (e == ERROR_FILE_NOT_FOUND || e == ERROR_PATH_NOT_FOUND) ? Open::Missing
                                                                        : Open::Failed;
    }
    handle_ = h;
    return Open::Ok;
}

bool RawFile::isOpen() const { return handle_ != nullptr; }

std::int64_t RawFile::size() const {
    LARGE_INTEGER s;
    return handle_ && GetFileSizeEx(handle_, &s) ? s.QuadPart : -1;
}

bool RawFile::readAt(std::int64_t offset, char* data, std::int64_t length) const {
    OVERLAPPED ov{};
    ov.Offset = static_cast<DWORD>(offset);
    ov.OffsetHigh = static_cast<DWORD>(offset >> 32);
    DWORD got = 0;
    return handle_ && ReadFile(handle_, data, static_cast<DWORD>(length), &got, &ov) &&
           got == static_cast<DWORD>(length);
}

bool RawFile::writeAt(std::int64_t offset, const char* data, std::int64_t length) {
    OVERLAPPED ov{};
    ov.Offset = static_cast<DWORD>(offset);
    ov.OffsetHigh = static_cast<DWORD>(offset >> 32);
    DWORD put = 0;
    return handle_ && WriteFile(handle_, data, static_cast<DWORD>(length), &put, &ov) &&
           put == static_cast<DWORD>(length);
}

bool RawFile::truncate(std::int64_t length) {
    LARGE_INTEGER pos;
    pos.QuadPart = length;
    return handle_ && SetFilePointerEx(handle_, pos, nullptr, FILE_BEGIN) && SetEndOfFile(handle_);
}

void RawFile::close() {
    if (handle_) CloseHandle(handle_);
    handle_ = nullptr;
}

CreateResult createFileWhole(const RawFile::NativePath& path, const QByteArray& content,
                             bool replaceExisting) {
    const QString aside = asideName(path);
    {
        QFile f(aside);
        if (!f.open(QIODevice::WriteOnly | QIODevice::NewOnly) ||
            f.write(content) != content.size()) {
            f.remove();
            return CreateResult::Failed;
        }
    }
    DWORD flags = replaceExisting ? MOVEFILE_REPLACE_EXISTING : 0;
    if (MoveFileExW(reinterpret_cast<const wchar_t*>(aside.utf16()),
                    reinterpret_cast<const wchar_t*>(path.utf16()), flags))
        return CreateResult::Created;
    DWORD e = GetLastError();
    QFile::remove(aside);
    return (e == ERROR_ALREADY_EXISTS || e == ERROR_FILE_EXISTS) ? CreateResult::Exists
                                                                 : CreateResult::Failed;
}

#else

namespace {

// Positioned reads and writes may move fewer bytes than asked, or be interrupted: go on until
// all are moved or the call fails.
template <typename Transfer>
bool transferAll(Transfer transfer, std::int64_t offset, std::int64_t length) {
    std::int64_t done = 0;
    while (done < length) {
        const ssize_t n = transfer(offset + done, done, length - done);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return false;
        done += n;
    }
    return true;
}

}  // namespace

RawFile::NativePath RawFile::nativePath(const QString& path) { return QFile::encodeName(path); }

RawFile::Open RawFile::open(const NativePath& path, bool writable) {
    close();
    fd_ = ::open(path.constData(), (writable ? O_RDWR : O_RDONLY) | O_CLOEXEC);
    if (fd_ >= 0) return Open::Ok;
    return (errno == ENOENT || errno == ENOTDIR) ? Open::Missing : Open::Failed;
}

bool RawFile::isOpen() const { return fd_ >= 0; }

std::int64_t RawFile::size() const {
    struct stat st;
    return fd_ >= 0 && ::fstat(fd_, &st) == 0 ? static_cast<std::int64_t>(st.st_size) : -1;
}

bool RawFile::readAt(std::int64_t offset, char* data, std::int64_t length) const {
    return transferAll(
        [&](std::int64_t at, std::int64_t done, std::int64_t n) {
            return ::pread(fd_, data + done, static_cast<size_t>(n), static_cast<off_t>(at));
        },
        offset, length);
}

bool RawFile::writeAt(std::int64_t offset, const char* data, std::int64_t length) {
    return transferAll(
        [&](std::int64_t at, std::int64_t done, std::int64_t n) {
            return ::pwrite(fd_, data + done, static_cast<size_t>(n), static_cast<off_t>(at));
        },
        offset, length);
}

bool RawFile::truncate(std::int64_t length) {
    return fd_ >= 0 && ::ftruncate(fd_, static_cast<off_t>(length)) == 0;
}

void RawFile::close() {
    if (fd_ >= 0) ::close(fd_);
    fd_ = -1;
}

CreateResult createFileWhole(const RawFile::NativePath& path, const QByteArray& content,
                             bool replaceExisting) {
    const QByteArray& target = path;
    const QByteArray aside = asideName(path);
    int fd = ::open(aside.constData(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
    if (fd < 0) return CreateResult::Failed;
    bool ok = transferAll(
        [&](std::int64_t at, std::int64_t done, std::int64_t n) {
            return ::pwrite(fd, content.constData() + done, static_cast<size_t>(n),
                            static_cast<off_t>(at));
        },
        0, content.size());
    ok = (::close(fd) == 0) && ok;
    if (!ok) {
        ::unlink(aside.constData());
        return CreateResult::Failed;
    }
    CreateResult result = CreateResult::Created;
    if (replaceExisting) {
        if (::rename(aside.constData(), target.constData()) != 0) result = CreateResult::Failed;
    } else if (::link(aside.constData(), target.constData()) != 0) {
        if (errno == EEXIST) {
            result = CreateResult::Exists;
        } else if (errno == EPERM || errno == EOPNOTSUPP || errno == ENOSYS) {
            // File systems without hard links: check, then rename.
            struct stat st;
            if (::stat(target.constData(), &st) == 0)
                result = CreateResult::Exists;
            else if (::rename(aside.constData(), target.constData()) != 0)
                result = CreateResult::Failed;
        } else {
            result = CreateResult::Failed;
        }
    }
    ::unlink(aside.constData());  // after a rename it is gone already
    return result;
}

#endif

}  // namespace vqs
