#pragma once

#include "datafiles/datei_kopf.h"

#include <QString>

#include <functional>

namespace vqs {

// Reads a data file's header and walks its records in order, without holding the file in
// memory. Problems are described in German.
struct DataFileScan {
    bool readable = false;  // the file could be opened and read
    qint64 length = 0;
    DateiKopf kopf;
    QString problem;  // empty for a valid file with whole records in time order
};

// Calls onRecord for every whole record (index from 0) while it returns true.
DataFileScan scanDataFile(const QString& path,
                          const std::function<bool(qint64, const KursSatz&)>& onRecord = {});

}  // namespace vqs
