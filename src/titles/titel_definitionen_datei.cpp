#include "titles/titel_definitionen_datei.h"

#include "common/error.h"
#include "titles/titel_registry.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>

#include <algorithm>
#include <climits>

namespace vqs {
namespace {

// A definitions file of tens of thousands of titles stays far below this.
constexpr qint64 kMaxFileSize = 64LL * 1024 * 1024;
// Positions of a definition that are read; further ones are stepped over.
constexpr std::int32_t kPositions = 9;

QByteArrayView kennung() {
    return QByteArrayView(kTitelDefinitionenKennung, kTitelDefinitionenKennungLength);
}

// One element of the stored list as a definition, keeping no more of it than its positions.
std::optional<TitelDef> readElement(TaggedReader& reader) {
    const std::optional<TaggedReader::ListHeader> header = reader.listHeader();
    if (!header) {
        reader.skip();
        return std::nullopt;
    }
    std::vector<TaggedValue> items;
    items.reserve(static_cast<size_t>(std::min(header->count, kPositions)));
    for (std::int32_t i = 0; i < header->count; ++i) {
        if (i >= kPositions || reader.nextTag() == TaggedValue::kList) {
            reader.skip(1);
            if (i < kPositions) items.emplace_back();  // a list is no value of a definition
        } else {
            items.push_back(reader.value(1));
        }
    }
    return TitelDef::fromTagged(TaggedValue::list(std::move(items), header->lowerBound));
}

}  // namespace

QByteArray encodeTitelDefinitionen(const KeyedCollection<TitelDef>& definitions) {
    QByteArray out(kennung().data(), kennung().size());
    if (definitions.isEmpty()) {
        writeTaggedValue(out, TaggedValue());
        return out;
    }
    std::vector<TaggedValue> items;
    items.reserve(static_cast<size_t>(definitions.size()));
    for (const auto& entry : definitions) items.push_back(entry.value.toTagged());
    writeTaggedValue(out, TaggedValue::list(std::move(items), 1));
    return out;
}

TitelDefinitionenScan scanTitelDefinitionen(
    QByteArrayView bytes, const std::function<void(qint64)>& onCount,
    const std::function<void(qint64, std::optional<TitelDef>&&)>& onDefinition) {
    TitelDefinitionenScan scan;
    if (bytes.isEmpty()) return scan;
    if (bytes.size() < kTitelDefinitionenKennungLength ||
        bytes.first(kTitelDefinitionenKennungLength) != kennung()) {
        scan.status = TitelDefinitionenScan::kForeign;
        scan.problem = QStringLiteral("Die Datei ist keine Titeldefinitionsdatei (fremder Kopf).");
        return scan;
    }
    try {
        TaggedReader reader(bytes, kTitelDefinitionenKennungLength);
        const std::optional<TaggedReader::ListHeader> list = reader.listHeader();
        if (!list) {
            reader.skip();  // an empty value: no definitions
            return scan;
        }
        const qint64 lower = list->lowerBound;
        if (onCount) onCount(lower + list->count - 1);
        for (std::int32_t i = 0; i < list->count; ++i) onDefinition(lower + i, readElement(reader));
    } catch (const VqsError& e) {
        scan.status = TitelDefinitionenScan::kDamaged;
        scan.problem = e.message();
    }
    return scan;
}

void writeTitelDefinitionenFile(const QString& path, const KeyedCollection<TitelDef>& definitions) {
    QByteArray bytes = encodeTitelDefinitionen(definitions);
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(bytes) != bytes.size() || !file.commit())
        throw VqsError(QStringLiteral("Die Datei %1 kann nicht geschrieben werden (%2).")
                           .arg(path, file.errorString()));
}

QByteArray readTitelDefinitionenBytes(const QString& path, FileSystem& fs) {
    OpenFile file(fs);
    int error = file.open(FileSystem::nativePath(path), FileSystem::Access::kRead);
    if (error == ENOENT) return {};
    std::int64_t size = 0;
    if (!error) error = file.size(size);
    if (error)
        throw VqsError(QStringLiteral("Die Datei %1 kann nicht gelesen werden (%2).")
                           .arg(path, describeFileError(error)));
    if (size > kMaxFileSize)
        throw VqsError(
            QStringLiteral("Die Datei %1 ist mit %2 Bytes zu groß.").arg(path).arg(size));
    QByteArray bytes(static_cast<qsizetype>(size), Qt::Uninitialized);
    std::int64_t got = 0;
    if ((error = fs.read(file.handle(), 0, bytes.data(), size, got)))
        throw VqsError(QStringLiteral("Die Datei %1 kann nicht gelesen werden (%2).")
                           .arg(path, describeFileError(error)));
    bytes.truncate(static_cast<qsizetype>(got));
    return bytes;
}

TitelDefinitionenDatei::TitelDefinitionenDatei(QString path, const Clock& clock, FileSystem& fs)
    : path_(std::move(path)), clock_(clock), fs_(fs) {}

QString TitelDefinitionenDatei::keepOriginal(const QByteArray& bytes) {
    const QFileInfo info(path_);
    const QString stamp = clock_.now().toString(QStringLiteral("yyyy-MM-dd_HH-mm-ss"));
    QString aside;
    for (int n = 1;; ++n) {
        aside = info.dir().filePath(info.completeBaseName() + QStringLiteral("_Original_") + stamp +
                                    (n > 1 ? QStringLiteral("_%1").arg(n) : QString()) +
                                    QLatin1Char('.') + info.suffix());
        if (!QFileInfo::exists(aside)) break;
    }
    QSaveFile copy(aside);
    if (!copy.open(QIODevice::WriteOnly) || copy.write(bytes) != bytes.size() || !copy.commit())
        throw VqsError(QStringLiteral("Die ursprüngliche Datei konnte nicht als %1 aufbewahrt "
                                      "werden (%2).")
                           .arg(aside, copy.errorString()));
    return aside;
}

TitelLoadResult TitelDefinitionenDatei::load(TitelRegistry& registry, bool subscribe,
                                             TitelLoadProgress& progress) {
    TitelLoadResult result;
    QByteArray bytes;
    try {
        if (!QFileInfo::exists(path_) && !QFileInfo(path_).isSymLink()) {
            // Created empty, as a first start leaves it; nothing to load.
            QFile file(path_);
            if (!file.open(QIODevice::WriteOnly))
                throw VqsError(QStringLiteral("Die Datei %1 kann nicht angelegt werden (%2).")
                                   .arg(path_, file.errorString()));
            return result;
        }
        bytes = readTitelDefinitionenBytes(path_, fs_);
    } catch (const VqsError& e) {
        // Unreadable: nothing is known of its content, so nothing may be saved over it unseen.
        originalToKeep_ = true;
        result.problem = e.message();
        return result;
    }
    if (bytes.isEmpty()) return result;

    if (bytes.startsWith(kennung())) {
        progress.status(QStringLiteral("Die Titeldefinitionen werden geladen. Bitte warten..."));
        progress.yield();
        registry.clear();
        progress.status(QStringLiteral("Der Datenstrom wird initialisiert. Bitte warten..."));
    }
    const TitelDefinitionenScan scan = scanTitelDefinitionen(
        bytes,
        [&](qint64 upper) {
            progress.progressMaximum(static_cast<int>(std::clamp<qint64>(upper, 0, INT_MAX)));
            progress.yield();
        },
        [&](qint64 index, std::optional<TitelDef>&& def) {
            if (def && registry.add(*def)) {
                ++result.definitions;
                const TitelDef& added = *registry.find(def->id());
                if (subscribe && added.Aktiv && !registry.startRecording(added))
                    result.refused << added.WKN;
            }
            if (index % 20 == 0)
                progress.progress(static_cast<int>(std::clamp<qint64>(index, 0, INT_MAX)));
        });
    if (scan.status == TitelDefinitionenScan::kWhole) return result;

    QString kept;
    try {
        kept = QStringLiteral(" Die ursprüngliche Datei ist als %1 aufbewahrt.")
                   .arg(keepOriginal(bytes));
    } catch (const VqsError& e) {
        originalToKeep_ = true;
        kept = QLatin1Char(' ') + e.message();
    }
    result.problem = scan.problem +
                     QStringLiteral(" %1 vollständige Titeldefinitionen wurden übernommen.")
                         .arg(result.definitions) +
                     kept;
    return result;
}

void TitelDefinitionenDatei::save(const KeyedCollection<TitelDef>& definitions) {
    if (originalToKeep_) {
        // The file did not load whole: its bytes go aside first, or it stays as it is.
        keepOriginal(readTitelDefinitionenBytes(path_, fs_));
        originalToKeep_ = false;
    }
    writeTitelDefinitionenFile(path_, definitions);
}

}  // namespace vqs
