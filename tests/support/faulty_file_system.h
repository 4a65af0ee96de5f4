#pragma once

#include "datafiles/file_system.h"

#include <QHash>
#include <QStringList>

#include <mutex>
#include <vector>

namespace vqs::test {

// The operating system's file system with faults on demand: a call of a chosen kind fails with
// a chosen error on every path that contains a chosen text, until healed. Calls are counted and
// their order kept, so that a test can see what was done before what.
class FaultyFileSystem final : public FileSystem {
public:
    enum class Call {
        Open,
        Read,
        Write,
        Size,
        Truncate,
        Sync,
        Rename,
        Link,
        Remove,
        MakeDirectory,
        SyncDirectory,
        List,
        Status
    };

    // `times`: how many calls fail (-1: all until healed).
    void fail(Call call, int error, const QString& pathPart = {}, int times = -1);
    void heal() { faults_.clear(); }
    int count(Call call) const;
    // The calls so far, as "Open <file name>" etc.
    QStringList journal;

    int open(const Path& path, Access access, Handle& handle) override;
    int read(Handle handle, std::int64_t offset, char* data, std::int64_t length,
             std::int64_t& got) override;
    int write(Handle handle, std::int64_t offset, const char* data, std::int64_t length) override;
    int size(Handle handle, std::int64_t& size) override;
    int truncate(Handle handle, std::int64_t length) override;
    int sync(Handle handle) override;
    void close(Handle handle) override;
    int status(Handle handle, FileSystem::Status& status) override;
    int status(const Path& path, FileSystem::Status& status) override;
    int rename(const Path& from, const Path& to) override;
    int link(const Path& from, const Path& to) override;
    int remove(const Path& path) override;
    int makeDirectory(const Path& path) override;
    int syncDirectory(const Path& path) override;
    int list(const Path& directory, QStringList& names) override;
    int lock(Handle handle) override { return real_.lock(handle); }
    int unlock(Handle handle) override { return real_.unlock(handle); }

private:
    struct Fault {
        Call call;
        int error;
        QString pathPart;
        int times;
    };
    // The error of the first fault for this call and path, or 0; the call is journalled.
    int check(Call call, const QString& path);

    std::vector<Fault> faults_;
    QHash<Handle, QString> openPaths_;
    QHash<int, int> counts_;
    FileSystem& real_ = systemFileSystem();
    std::mutex mutex_;  // a data file's opening pass reads on two threads
};

}  // namespace vqs::test
