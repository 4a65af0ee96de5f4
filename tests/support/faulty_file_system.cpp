#include "support/faulty_file_system.h"

#include <QFileInfo>

namespace vqs::test {
namespace {

const char* const kNames[] = {"Open",          "Read",   "Write", "Size",   "Truncate",
                              "Sync",          "Rename", "Link",  "Remove", "MakeDirectory",
                              "SyncDirectory", "List",   "Status"};

}  // namespace

void FaultyFileSystem::fail(Call call, int error, const QString& pathPart, int times) {
    faults_.push_back({call, error, pathPart, times});
}

int FaultyFileSystem::count(Call call) const { return counts_.value(static_cast<int>(call)); }

int FaultyFileSystem::check(Call call, const QString& path) {
    const std::lock_guard<std::mutex> hold(mutex_);
    ++counts_[static_cast<int>(call)];
    journal << QString::fromLatin1(kNames[static_cast<int>(call)]) + QLatin1Char(' ') +
                   QFileInfo(path).fileName();
    for (Fault& f : faults_) {
        if (f.call != call || f.times == 0 || !path.contains(f.pathPart)) continue;
        if (f.times > 0) --f.times;
        return f.error;
    }
    return 0;
}

int FaultyFileSystem::open(const Path& path, Access access, Handle& handle) {
    if (int e = check(Call::Open, displayPath(path))) return e;
    const int e = real_.open(path, access, handle);
    if (!e) openPaths_.insert(handle, displayPath(path));
    return e;
}
int FaultyFileSystem::read(Handle handle, std::int64_t offset, char* data, std::int64_t length,
                           std::int64_t& got) {
    if (int e = check(Call::Read, openPaths_.value(handle))) return e;
    return real_.read(handle, offset, data, length, got);
}
int FaultyFileSystem::write(Handle handle, std::int64_t offset, const char* data,
                            std::int64_t length) {
    if (int e = check(Call::Write, openPaths_.value(handle))) return e;
    return real_.write(handle, offset, data, length);
}
int FaultyFileSystem::size(Handle handle, std::int64_t& size) {
    if (int e = check(Call::Size, openPaths_.value(handle))) return e;
    return real_.size(handle, size);
}
int FaultyFileSystem::truncate(Handle handle, std::int64_t length) {
    if (int e = check(Call::Truncate, openPaths_.value(handle))) return e;
    return real_.truncate(handle, length);
}
int FaultyFileSystem::sync(Handle handle) {
    if (int e = check(Call::Sync, openPaths_.value(handle))) return e;
    return real_.sync(handle);
}
void FaultyFileSystem::close(Handle handle) {
    openPaths_.remove(handle);
    real_.close(handle);
}
int FaultyFileSystem::status(Handle handle, FileSystem::Status& status) {
    if (int e = check(Call::Status, openPaths_.value(handle))) return e;
    return real_.status(handle, status);
}
int FaultyFileSystem::status(const Path& path, FileSystem::Status& status) {
    if (int e = check(Call::Status, displayPath(path))) return e;
    return real_.status(path, status);
}
int FaultyFileSystem::rename(const Path& from, const Path& to) {
    if (int e = check(Call::Rename, displayPath(to))) return e;
    return real_.rename(from, to);
}
int FaultyFileSystem::link(const Path& from, const Path& to) {
    if (int e = check(Call::Link, displayPath(to))) return e;
    return real_.link(from, to);
}
int FaultyFileSystem::remove(const Path& path) {
    if (int e = check(Call::Remove, displayPath(path))) return e;
    return real_.remove(path);
}
int FaultyFileSystem::makeDirectory(const Path& path) {
    if (int e = check(Call::MakeDirectory, displayPath(path))) return e;
    return real_.makeDirectory(path);
}
int FaultyFileSystem::syncDirectory(const Path& path) {
    if (int e = check(Call::SyncDirectory, displayPath(path))) return e;
    return real_.syncDirectory(path);
}
int FaultyFileSystem::list(const Path& directory, QStringList& names) {
    if (int e = check(Call::List, displayPath(directory))) return e;
    return real_.list(directory, names);
}

}  // namespace vqs::test
