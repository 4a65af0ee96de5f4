#pragma once

#include <QString>

#include <vector>

namespace vqs {

// A data file as the file selection lists it: by the title and code in its header.
struct ListedDataFile {
    QString path;  // the file's real path: its name cannot be rebuilt from a cut or old code
    QString titel;
    QString code;
    QString beschreibung;  // untrimmed
};

struct DataFileListing {
    std::vector<ListedDataFile> files;
    QString error;  // the first file that could not be read and why; empty when none
};

// Every "*.vqs" (any letter case) of the folder longer than a bare header, in the directory's
// order. The Kennung is not checked here: the Dateninspektor refuses a foreign file when it opens
// it. A file that cannot be read is skipped and named in `error`; the others are still listed.
DataFileListing listDataFiles(const QString& folder);

}  // namespace vqs
