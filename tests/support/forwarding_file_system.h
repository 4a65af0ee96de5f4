#pragma once

#include "datafiles/file_system.h"

namespace vqs::test {

// Hands every call on to another file system (the operating system's by default): a test's file
// system overrides only the calls it watches.
class ForwardingFileSystem : public FileSystem {
public:
    explicit ForwardingFileSystem(FileSystem& inner = systemFileSystem()) : inner_(inner) {}

    int open(const Path& p, Access a, Handle& h) override { return inner_.open(p, a, h); }
    int read(Handle h, std::int64_t o, char* d, std::int64_t l, std::int64_t& g) override {
        return inner_.read(h, o, d, l, g);
    }
    int write(Handle h, std::int64_t o, const char* d, std::int64_t l) override {
        return inner_.write(h, o, d, l);
    }
    int size(Handle h, std::int64_t& s) override { return inner_.size(h, s); }
    int truncate(Handle h, std::int64_t l) override { return inner_.truncate(h, l); }
    int sync(Handle h) override { return inner_.sync(h); }
    void close(Handle h) override { inner_.close(h); }
    int status(Handle h, Status& s) override { return inner_.status(h, s); }
    int status(const Path& p, Status& s) override { return inner_.status(p, s); }
    int rename(const Path& f, const Path& t) override { return inner_.rename(f, t); }
    int link(const Path& f, const Path& t) override { return inner_.link(f, t); }
    int remove(const Path& p) override { return inner_.remove(p); }
    int makeDirectory(const Path& p) override { return inner_.makeDirectory(p); }
    int syncDirectory(const Path& p) override { return inner_.syncDirectory(p); }
    int list(const Path& d, QStringList& n) override { return inner_.list(d, n); }
    int copy(Handle f, std::int64_t fo, Handle t, std::int64_t to, std::int64_t l) override {
        return inner_.copy(f, fo, t, to, l);
    }
    int lock(Handle h) override { return inner_.lock(h); }
    int unlock(Handle h) override { return inner_.unlock(h); }

private:
    FileSystem& inner_;
};

}  // namespace vqs::test
