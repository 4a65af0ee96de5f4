#include "datafiles/data_file_check.h"

#include "datafiles/file_system.h"

#include <cmath>
#include <vector>

namespace vqs {

DataFileScan scanDataFile(const QString& path,
                          const std::function<bool(qint64, const KursSatz&)>& onRecord) {
    DataFileScan scan;
    OpenFile file(systemFileSystem());
    if (int error = file.open(FileSystem::nativePath(path), FileSystem::Access::kRead)) {
        scan.problem = QStringLiteral("Die Datei kann nicht geöffnet werden (%1).")
                           .arg(describeFileError(error));
        return scan;
    }
    std::int64_t length = 0;
    if (int error = file.size(length)) {
        scan.problem = QStringLiteral("Die Datei kann nicht gelesen werden (%1).")
                           .arg(describeFileError(error));
        return scan;
    }
    scan.length = length;
    if (scan.length < kHeaderSize) {
        scan.readable = true;
        scan.problem = QStringLiteral("Der Dateikopf ist unvollständig (%1 von %2 Bytes).")
                           .arg(std::max<qint64>(scan.length, 0))
                           .arg(kHeaderSize);
        return scan;
    }
    if (file.readAll(0, scan.kopf.bytes.data(), kHeaderSize)) {
        scan.problem = QStringLiteral("Der Dateikopf kann nicht gelesen werden.");
        return scan;
    }
    scan.readable = true;
    if (!scan.kopf.hasKennung()) {
        scan.problem = QStringLiteral("Die Datei ist keine Tickarchivar-Datei (fremde Kennung).");
        return scan;
    }

    const qint64 records = recordCount(scan.length);
    constexpr qint64 kChunk = 4096;  // records per read
    std::vector<char> buffer(static_cast<size_t>(kChunk * kRecordSize));
    double previous = -INFINITY;
    bool wanted = static_cast<bool>(onRecord);
    for (qint64 first = 0; first < records && (wanted || scan.problem.isEmpty()); first += kChunk) {
        const qint64 n = std::min(kChunk, records - first);
        if (file.readAll(kHeaderSize + first * kRecordSize, buffer.data(), n * kRecordSize)) {
            scan.readable = false;
            scan.problem = QStringLiteral("Die Datensätze können nicht gelesen werden.");
            return scan;
        }
        for (qint64 i = 0; i < n; ++i) {
            const KursSatz satz = decodeKursSatz(buffer.data() + i * kRecordSize);
            const qint64 index = first + i;
            if (scan.problem.isEmpty()) {
                if (!std::isfinite(satz.Zeit) || !std::isfinite(satz.Kurs)) {
                    scan.problem = QStringLiteral(
                                       "Datensatz %1 hat keine gültige Zeit oder keinen "
                                       "gültigen Kurs.")
                                       .arg(index + 1);
                } else if (satz.Zeit < previous) {
                    scan.problem =
                        QStringLiteral("Datensatz %1 ist älter als sein Vorgänger.").arg(index + 1);
                }
                previous = satz.Zeit;
            }
            if (wanted) wanted = onRecord(index, satz);
        }
    }
    const qint64 rest = (scan.length - kHeaderSize) % kRecordSize;
    if (scan.problem.isEmpty() && rest != 0) {
        scan.problem =
            QStringLiteral("Am Ende steht ein unvollständiger Datensatz (%1 Bytes).").arg(rest);
    }
    return scan;
}

}  // namespace vqs
