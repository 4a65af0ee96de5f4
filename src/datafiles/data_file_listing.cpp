#include "datafiles/data_file_listing.h"

#include "datafiles/datei_kopf.h"
#include "datafiles/file_system.h"

#include <QDir>

namespace vqs {

DataFileListing listDataFiles(const QString& folder) {
    DataFileListing listing;
    QDir dir(folder);
    if (!dir.exists()) return listing;
    dir.setNameFilters({QStringLiteral("*.vqs")});
    // Without QDir::CaseSensitive the name filter ignores the letter case.
    // With what is no plain file under such a name (a FIFO, a broken link): it is named, not
    // passed over in silence.
    dir.setFilter(QDir::Files | QDir::Hidden | QDir::System);
    dir.setSorting(QDir::Unsorted);
    FileSystem& fs = systemFileSystem();
    for (const QString& name : dir.entryList()) {
        const QString path = dir.filePath(name);
        OpenFile file(fs);
        std::int64_t size = 0;
        DateiKopf kopf;
        int error = file.open(FileSystem::nativePath(path), FileSystem::Access::kRead);
        if (!error) error = file.size(size);
        if (!error && size > kHeaderSize) error = file.readAll(0, kopf.bytes.data(), kHeaderSize);
        if (error) {
            if (listing.error.isEmpty())
                listing.error = QDir::toNativeSeparators(path) + QStringLiteral(": ") +
                                describeFileError(error);
            continue;
        }
        if (size <= kHeaderSize) continue;  // a header without records
        listing.files.push_back(
            {path, kopf.displayName(), kopf.displayCode(), kopf.field(kopf::kBeschreibung)});
    }
    return listing;
}

}  // namespace vqs
