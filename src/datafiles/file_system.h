#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>

#include <cerrno>
#include <cstdint>

namespace vqs {

// The file-system calls that every write to a data file stands on. The real one is the operating
// system's; a test puts one in front that makes any call fail with the error it chooses (ENOSPC,
// EIO, ...). Every call returns 0 or an error number of <cerrno> (Windows errors are mapped).
class FileSystem {
public:
    // A path in the form the operating system takes it, converted once.
#ifdef _WIN32
    using Path = QString;
#else
    using Path = QByteArray;
#endif
    using Handle = std::intptr_t;
    static constexpr Handle kNoHandle = -1;

    enum class Access {
        kRead,       // an existing file, for reading
        kReadWrite,  // an existing file, for reading and writing
        kCreateNew,  // a new file for writing; EEXIST when the name is taken
        // The same as Read and ReadWrite, but never through a symbolic link (ELOOP): for what
        // only this file may be, such as a journal and the file it is played back onto.
        kReadOwn,
        kReadWriteOwn,
    };

    // What a file is, whatever name it is reached by (a journal names the file it belongs
    // to), and how long.
    struct Status {
        std::uint64_t device = 0;
        std::uint64_t inode = 0;
        bool regular = false;     // a plain file (not a link, folder, FIFO, ...)
        std::uint64_t links = 0;  // names it has: 0 once it was deleted or replaced
        std::int64_t size = 0;
        bool sameFile(const Status& o) const { return device == o.device && inode == o.inode; }
    };

    virtual ~FileSystem() = default;

    static Path nativePath(const QString& path);
    static QString displayPath(const Path& path);

    // Never waits on what is not a regular file: a FIFO under a data file's name makes the first
    // read fail instead of blocking. Other programs may read, write and delete meanwhile.
    virtual int open(const Path& path, Access access, Handle& handle) = 0;
    // Reads up to `length` bytes; `got` tells how many there were (fewer at the end of the file).
    virtual int read(Handle handle, std::int64_t offset, char* data, std::int64_t length,
                     std::int64_t& got) = 0;
    // All bytes, or an error (a short write because the disk is full is ENOSPC).
    virtual int write(Handle handle, std::int64_t offset, const char* data,
                      std::int64_t length) = 0;
    virtual int size(Handle handle, std::int64_t& size) = 0;
    virtual int truncate(Handle handle, std::int64_t length) = 0;
    virtual int sync(Handle handle) = 0;
    virtual void close(Handle handle) = 0;
    // What an open file is.
    virtual int status(Handle handle, Status& status) = 0;
    // What has the name, without following a link (a link is itself, not regular): one cheap
    // look-up. ENOENT when nothing has it.
    virtual int status(const Path& path, Status& status) = 0;

    // Replaces `to` when it exists.
    virtual int rename(const Path& from, const Path& to) = 0;
    // Gives the file `from` the second name `to`; EEXIST when `to` is taken. File systems
    // without links answer ENOTSUP.
    virtual int link(const Path& from, const Path& to) = 0;
    virtual int remove(const Path& path) = 0;
    virtual int makeDirectory(const Path& path) = 0;
    // Makes the names in a directory durable (nothing to do where the platform has no such call).
    virtual int syncDirectory(const Path& path) = 0;
    // The names of a directory's entries, without "." and "..".
    virtual int list(const Path& directory, QStringList& names) = 0;
    // Copies `length` bytes from one open file to another; where the system can, without
    // passing them through the program. The plain way reads and writes in pieces.
    virtual int copy(Handle from, std::int64_t fromOffset, Handle to, std::int64_t toOffset,
                     std::int64_t length);
    // Waits for the advisory lock of a data file, which every writer of data files in every
    // process takes before it looks at the file's length: an append and a rewrite by another
    // program never interleave. The lock goes with the handle's close. Without such locks
    // (the plain default) nothing is locked.
    virtual int lock(Handle handle);
    // Gives the lock back while the file stays open.
    virtual int unlock(Handle handle);
};

// The operating system's file system.
FileSystem& systemFileSystem();

// The system's reason for an error number, in German where we know the error.
QString describeFileError(int error);

// An open file that is closed when it goes out of scope.
class OpenFile {
public:
    explicit OpenFile(FileSystem& fs) : fs_(fs) {}
    ~OpenFile() { close(); }
    OpenFile(const OpenFile&) = delete;
    OpenFile& operator=(const OpenFile&) = delete;

    int open(const FileSystem::Path& path, FileSystem::Access access) {
        close();
        return fs_.open(path, access, handle_);
    }
    FileSystem::Handle handle() const { return handle_; }
    void close() {
        if (handle_ != FileSystem::kNoHandle) fs_.close(handle_);
        handle_ = FileSystem::kNoHandle;
    }

    // All `length` bytes at `offset`; EIO when the file ends before.
    int readAll(std::int64_t offset, char* data, std::int64_t length) {
        std::int64_t got = 0;
        const int error = fs_.read(handle_, offset, data, length, got);
        return error ? error : (got == length ? 0 : EIO);
    }
    int write(std::int64_t offset, const char* data, std::int64_t length) {
        return fs_.write(handle_, offset, data, length);
    }
    int size(std::int64_t& size) { return fs_.size(handle_, size); }
    int truncate(std::int64_t length) { return fs_.truncate(handle_, length); }
    int sync() { return fs_.sync(handle_); }
    int lock() { return fs_.lock(handle_); }
    int unlock() { return fs_.unlock(handle_); }

private:
    FileSystem& fs_;
    FileSystem::Handle handle_ = FileSystem::kNoHandle;
};

}  // namespace vqs
