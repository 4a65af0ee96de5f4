#include "datafiles/tick_writer.h"

#include "datafiles/datei_kopf.h"
#include "datafiles/naming.h"
#include "datafiles/raw_file.h"

#include <cmath>

namespace vqs {

double completeTimestamp(double zeit, const Clock& clock) {
    if (zeit >= 1.0) return zeit;
    const auto [today, timeOfDay] = clock.localNow();
    if (zeit > 0.666 && timeOfDay < 0.375) return zeit + today - 1;
    if (zeit < 0.05) return zeit + today + (timeOfDay > 0.95 ? 1 : 0);
    return zeit + today;
}

QString TickWriter::fileNameFor(TitelDef& def, Kursart kind, const QString& titelKey) {
    if (kind >= 0 && kind <= 2 && def.Dateinamen) {
        const QString& known = (*def.Dateinamen)[static_cast<size_t>(kind)];
        if (known.size() > 4) return known;
    }
    QString name = buildFileName(def, kind);
    if (kind >= 0) definitions_.replace(TitelDef::collectionKey(titelKey), def);
    return name;
}

const RawFile::NativePath& TickWriter::pathFor(const TitelDef& def, Kursart kind,
                                               const QString& titelKey, const QString& name) {
    CachedPath& cached = paths_[{titelKey, kind}];
    if (cached.name != name || cached.ordner != def.Ordner || cached.root != dataRoot_) {
        cached = {dataRoot_, def.Ordner, name,
                  RawFile::nativePath(folderPath(dataRoot_, def) + name)};
    }
    return cached.path;
}

bool TickWriter::append(TitelDef& def, Kursart kind, const QString& titelKey, float kurs,
                        float volume, double zeit) {
    if (def.WKN.isEmpty() && def.RT_WKN.isEmpty()) return false;  // no definition
    if (!std::isfinite(zeit) || !std::isfinite(kurs) || !std::isfinite(volume)) return false;

    const QString name = fileNameFor(def, kind, titelKey);
    const RawFile::NativePath& path = pathFor(def, kind, titelKey, name);
    char record[kRecordSize];
    encodeKursSatz({completeTimestamp(zeit, clock_), kurs, volume}, record);
    // A new file appears with its header and first record at once, never short.
    auto createWhole = [&](bool replaceEmpty) {
        DateiKopf kopf = buildHeader(def, kind);
        QByteArray content(kopf.bytes.data(), kHeaderSize);
        content.append(record, kRecordSize);
        return createFileWhole(path, content, replaceEmpty);
    };

    RawFile file;
    RawFile::Open opened = file.open(path);
    if (opened == RawFile::Open::Missing) {
        buildFolder(dataRoot_, def);
        switch (createWhole(false)) {
            case CreateResult::Created:
                return true;
            case CreateResult::Failed:
                return false;
            case CreateResult::Exists:
                opened = file.open(path);
                break;
        }
    }
    if (opened != RawFile::Open::Ok) return false;

    const std::int64_t length = file.size();
    if (length < 0) return false;
    if (length == 0) {
        file.close();
        return createWhole(true) == CreateResult::Created;
    }
    if (length < kHeaderSize) return false;

    DateiKopf kopf;
    if (!file.readAt(0, kopf.bytes.data(), kHeaderSize) || !kopf.hasKennung()) return false;
    if (!kopf.isCompleted()) {
        completeHeader(kopf, kind, def);
        if (!file.writeAt(0, kopf.bytes.data(), kHeaderSize)) return false;
    }
    // A record torn by a crash or a full disk is overwritten, so later records stay aligned.
    const std::int64_t end = kHeaderSize + recordCount(length) * kRecordSize;
    return file.writeAt(end, record, kRecordSize);
}

}  // namespace vqs
