#pragma once

#include <QByteArray>
#include <QString>

#include <cstdint>

namespace vqs {

// A data file opened for one operation with the plain calls of the operating system: no
// buffering, positioned reads and writes, and sharing that never blocks other programs
// (the charting program reads while we write).
class RawFile {
public:
    enum class Open { Ok, Missing, Failed };

    // A path in the form the operating system takes it, converted once.
#ifdef _WIN32
    using NativePath = QString;
#else
    using NativePath = QByteArray;
#endif
    static NativePath nativePath(const QString& path);

    RawFile() = default;
    ~RawFile() { close(); }
    RawFile(const RawFile&) = delete;
    RawFile& operator=(const RawFile&) = delete;

    // An existing file, for reading and writing (or reading only).
    Open open(const QString& path, bool writable = true) {
        return open(nativePath(path), writable);
    }
    Open open(const NativePath& path, bool writable = true);
    bool isOpen() const;
    std::int64_t size() const;                                                // -1 on failure
    bool readAt(std::int64_t offset, char* data, std::int64_t length) const;  // all or failure
    bool writeAt(std::int64_t offset, const char* data, std::int64_t length);
    bool truncate(std::int64_t length);
    void close();

private:
#ifdef _WIN32
    void* handle_ = nullptr;
#else
    int fd_ = -1;
#endif
};

enum class CreateResult { Created, Exists, Failed };

// Makes a file with exactly this content appear at path in one step: the content is written
// aside first, so a crash never leaves a partial file under the name. With replaceEmpty, an
// existing file is replaced (used for an empty file that is still to get its header);
// otherwise an existing file is left alone (Exists).
CreateResult createFileWhole(const RawFile::NativePath& path, const QByteArray& content,
                             bool replaceExisting);
inline CreateResult createFileWhole(const QString& path, const QByteArray& content,
                                    bool replaceExisting) {
    return createFileWhole(RawFile::nativePath(path), content, replaceExisting);
}

}  // namespace vqs
