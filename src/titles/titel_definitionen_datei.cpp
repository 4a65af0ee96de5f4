#include "titles/titel_definitionen_datei.h"

#include "common/cp1252.h"
#include "common/error.h"
#include "titles/titel_registry.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>

#include <algorithm>
#include <array>
#include <climits>
#include <string>
#include <vector>

namespace vqs {
namespace {

// Positions of a definition that are read; further ones are stepped over.
constexpr std::int32_t kPositions = 9;
// Positions whose texts are taken as they stand: the codes, the name, folder and exchange.
constexpr std::int32_t kTextPositions = 5;
// What a save hands to the file at once.
constexpr qsizetype kWritePiece = 1 << 20;

QByteArrayView kennung() {
    return QByteArrayView(kTitelDefinitionenKennung, kTitelDefinitionenKennungLength);
}

// Reads the elements of the stored list one after the other. Titles in a row mostly share
// their folder and exchange, and a title's two codes are mostly the same: such texts are
// decoded once and shared, so that a large file loads without a copy of each.
class ElementReader {
public:
    explicit ElementReader(TaggedReader& reader) : reader_(reader) {}

    std::optional<TitelDef> next() {
        const std::optional<TaggedReader::ListHeader> header = reader_.listHeader();
        if (!header) {
            reader_.skip();
            return std::nullopt;
        }
        TitelDef::Positions p;
        p.count = static_cast<size_t>(header->count);
        for (std::int32_t i = 0; i < header->count; ++i) {
            const std::uint16_t tag = reader_.nextTag();
            // A list is no value of a definition: its position stays empty. Position 7 is
            // never read, nor those beyond 8.
            if (i >= kPositions || i == 7 || tag == TaggedValue::kList) {
                reader_.skip(1);
            } else if (i < kTextPositions) {
                p.texts[static_cast<size_t>(i)] = tag == TaggedValue::kText
                                                      ? text(i, *reader_.textBytes())
                                                      : reader_.value(1).toText();
            } else {
                const bool truth = reader_.value(1).toBool();
                (i == 5 ? p.aktiv : i == 6 ? p.useBidAsk : p.neueNamen) = truth;
            }
        }
        return TitelDef::fromPositions(std::move(p));
    }

private:
    QString text(std::int32_t position, QByteArrayView bytes) {
        Last& last = last_[static_cast<size_t>(position)];
        const Last& code = last_[0];
        if (position == 1 && bytes == QByteArrayView(code.bytes)) return code.text;
        if (bytes != QByteArrayView(last.bytes)) {
            last.bytes.assign(bytes.data(), static_cast<size_t>(bytes.size()));
            last.text = decodeCp1252(bytes);
        }
        return last.text;
    }

    struct Last {
        std::string bytes;
        QString text;
    };
    TaggedReader& reader_;
    std::array<Last, kTextPositions> last_;
};

TitelDefinitionenScan scan(TaggedReader& reader, QByteArrayView head, qint64 size,
                           const TitelDefinitionenHandlers& handlers) {
    TitelDefinitionenScan scan;
    if (size == 0) return scan;
    if (head.size() < kTitelDefinitionenKennungLength ||
        head.first(kTitelDefinitionenKennungLength) != kennung()) {
        scan.status = TitelDefinitionenScan::kForeign;
        scan.problem = QStringLiteral("Die Datei ist keine Titeldefinitionsdatei (fremder Kopf).");
        return scan;
    }
    if (handlers.onKennung) handlers.onKennung();
    try {
        const std::optional<TaggedReader::ListHeader> list = reader.listHeader();
        if (!list) {
            reader.skip();  // an empty value: no definitions
            return scan;
        }
        const qint64 lower = list->lowerBound;
        if (handlers.onCount) handlers.onCount(lower + list->count - 1);
        ElementReader elements(reader);
        for (std::int32_t i = 0; i < list->count; ++i) {
            std::optional<TitelDef> def = elements.next();
            if (handlers.onDefinition) handlers.onDefinition(lower + i, std::move(def));
        }
    } catch (const VqsError& e) {
        scan.status = TitelDefinitionenScan::kDamaged;
        scan.problem = e.message();
    }
    return scan;
}

// A definitions file open for reading, with its size; throws VqsError when it is none that may
// be read (not a regular file, unreadable, too large). A missing file is empty.
struct OpenedDefinitions {
    explicit OpenedDefinitions(const QString& path, FileSystem& fs) : file(fs) {
        int error = file.open(FileSystem::nativePath(path), FileSystem::Access::kRead);
        if (error == ENOENT) return;
        if (!error) error = file.size(size);
        if (error)
            throw VqsError(QStringLiteral("Die Datei %1 kann nicht gelesen werden (%2).")
                               .arg(path, describeFileError(error)));
        if (size > kMaxTitelDefinitionenSize)
            throw VqsError(
                QStringLiteral("Die Datei %1 ist mit %2 Bytes zu groß.").arg(path).arg(size));
    }
    OpenFile file;
    std::int64_t size = 0;
};

// A file handed to the reader in pieces, one piece in memory at a time.
class FilePieces final : public TaggedByteSource {
public:
    FilePieces(const QString& path, FileSystem& fs, OpenFile& file, qint64 pieceSize)
        : path_(path), fs_(fs), file_(file), pieceSize_(std::max<qint64>(pieceSize, 1)) {}

    QByteArrayView fetch(qint64 from, qint64 atLeast) override {
        const qint64 want = std::max(pieceSize_, atLeast);
        if (static_cast<qint64>(buffer_.size()) < want) buffer_.resize(static_cast<size_t>(want));
        std::int64_t got = 0;
        if (const int error = fs_.read(file_.handle(), from, buffer_.data(), want, got))
            throw VqsError(QStringLiteral("Die Datei %1 kann nicht gelesen werden (%2).")
                               .arg(path_, describeFileError(error)));
        return QByteArrayView(buffer_.data(), static_cast<qsizetype>(got));
    }

private:
    const QString& path_;
    FileSystem& fs_;
    OpenFile& file_;
    const qint64 pieceSize_;
    std::vector<char> buffer_;
};

// Hands the encoding of the definitions over in pieces of about kWritePiece bytes.
void encodeInPieces(const TitelDefCollection& definitions,
                    const std::function<void(const QByteArray&)>& write) {
    QByteArray out;
    out.reserve(kWritePiece + 4096);
    out.append(kennung().data(), kennung().size());
    if (definitions.isEmpty()) {
        writeTaggedEmpty(out);
        write(out);
        return;
    }
    writeTaggedListHeader(out, definitions.size(), 1);
    for (const TitelDef& def : definitions) {
        def.writeTagged(out);
        if (out.size() >= kWritePiece) {
            write(out);
            out.clear();
        }
    }
    if (!out.isEmpty()) write(out);
}

}  // namespace

QByteArray encodeTitelDefinitionen(const TitelDefCollection& definitions) {
    QByteArray bytes;
    encodeInPieces(definitions, [&](const QByteArray& piece) { bytes.append(piece); });
    return bytes;
}

TitelDefinitionenScan scanTitelDefinitionen(QByteArrayView bytes,
                                            const TitelDefinitionenHandlers& handlers) {
    TaggedReader reader(bytes, kTitelDefinitionenKennungLength);
    return scan(reader, bytes, bytes.size(), handlers);
}

TitelDefinitionenScan scanTitelDefinitionenFile(const QString& path, FileSystem& fs,
                                                const TitelDefinitionenHandlers& handlers,
                                                qint64 pieceSize) {
    OpenedDefinitions opened(path, fs);
    if (opened.size == 0) return {};
    FilePieces pieces(path, fs, opened.file, pieceSize);
    QByteArrayView head;
    try {
        head = pieces.fetch(0, kTitelDefinitionenKennungLength);
    } catch (const VqsError& e) {
        return {TitelDefinitionenScan::kDamaged, e.message()};
    }
    // The reader fetches its own piece: the head's may not outlive the next fetch.
    const bool rightHead = head.size() >= kTitelDefinitionenKennungLength &&
                           head.first(kTitelDefinitionenKennungLength) == kennung();
    const QByteArrayView checked = rightHead ? kennung() : QByteArrayView();
    TaggedReader reader(pieces, opened.size, kTitelDefinitionenKennungLength);
    return scan(reader, checked, opened.size, handlers);
}

void writeTitelDefinitionenFile(const QString& path, const TitelDefCollection& definitions) {
    // QSaveFile writes beside the file and puts the new one in its place only once it is
    // written whole and flushed to disk: a crash leaves the old file or the new one.
    QSaveFile file(path);
    auto failed = [&] {
        return VqsError(QStringLiteral("Die Datei %1 kann nicht geschrieben werden (%2).")
                            .arg(path, file.errorString()));
    };
    if (!file.open(QIODevice::WriteOnly)) throw failed();
    encodeInPieces(definitions, [&](const QByteArray& piece) {
        if (file.write(piece) != piece.size()) throw failed();
    });
    if (!file.commit()) throw failed();
}

void writeTitelDefinitionenFile(const QString& path, const KeyedCollection<TitelDef>& definitions) {
    TitelDefCollection collection;
    for (const auto& entry : definitions) collection.add(entry.value);
    writeTitelDefinitionenFile(path, collection);
}

TitelDefinitionenDatei::TitelDefinitionenDatei(QString path, const Clock& clock, FileSystem& fs)
    : path_(std::move(path)), clock_(clock), fs_(fs) {}

QString TitelDefinitionenDatei::keepOriginal() {
    const QFileInfo info(path_);
    const QString stamp = clock_.now().toString(QStringLiteral("yyyy-MM-dd_HH-mm-ss"));
    QString aside;
    for (int n = 1;; ++n) {
        aside = info.dir().filePath(info.completeBaseName() + QStringLiteral("_Original_") + stamp +
                                    (n > 1 ? QStringLiteral("_%1").arg(n) : QString()) +
                                    QLatin1Char('.') + info.suffix());
        if (!QFileInfo::exists(aside)) break;
    }
    // Read as loading reads it (the same refusals), copied in pieces.
    OpenedDefinitions original(path_, fs_);
    QSaveFile copy(aside);
    bool written = copy.open(QIODevice::WriteOnly);
    std::vector<char> piece(kWritePiece);
    for (std::int64_t at = 0; written && at < original.size;) {
        std::int64_t got = 0;
        if (const int error = fs_.read(original.file.handle(), at, piece.data(),
                                       static_cast<std::int64_t>(piece.size()), got))
            throw VqsError(QStringLiteral("Die Datei %1 kann nicht gelesen werden (%2).")
                               .arg(path_, describeFileError(error)));
        if (got == 0) break;  // it became shorter meanwhile: what is there is kept
        written = copy.write(piece.data(), got) == got;
        at += got;
    }
    if (!written || !copy.commit())
        throw VqsError(QStringLiteral("Die ursprüngliche Datei konnte nicht als %1 aufbewahrt "
                                      "werden (%2).")
                           .arg(aside, copy.errorString()));
    return aside;
}

TitelLoadResult TitelDefinitionenDatei::load(TitelRegistry& registry, bool subscribe,
                                             TitelLoadProgress& progress) {
    TitelLoadResult result;
    if (!QFileInfo::exists(path_) && !QFileInfo(path_).isSymLink()) {
        // Created empty, as a first start leaves it; nothing to load.
        QFile file(path_);
        if (!file.open(QIODevice::WriteOnly)) {
            originalToKeep_ = true;
            result.problem = QStringLiteral("Die Datei %1 kann nicht angelegt werden (%2).")
                                 .arg(path_, file.errorString());
        }
        return result;
    }
    // Room for as many definitions as the file can hold at about the size of one with short
    // texts (more are rare: the collections grow then), and for their texts: the file's bytes
    // less what each definition takes besides its texts (rows and room not used stay virtual).
    constexpr qint64 kTypicalDefinitionBytes = 64;
    constexpr qint64 kBytesBesidesTexts = 46;
    const qint64 fileSize = QFileInfo(path_).size();
    TitelDefinitionenHandlers handlers;
    handlers.onKennung = [&] {
        progress.status(QStringLiteral("Die Titeldefinitionen werden geladen. Bitte warten..."));
        progress.yield();
        registry.clear();
        progress.status(QStringLiteral("Der Datenstrom wird initialisiert. Bitte warten..."));
    };
    handlers.onCount = [&](qint64 upper) {
        const qint64 count = std::clamp<qint64>(upper, 0, fileSize / kTypicalDefinitionBytes);
        registry.reserve(
            static_cast<size_t>(count),
            static_cast<size_t>(std::max<qint64>(0, fileSize - count * kBytesBesidesTexts)));
        progress.progressMaximum(static_cast<int>(std::clamp<qint64>(upper, 0, INT_MAX)));
        progress.yield();
    };
    handlers.onDefinition = [&](qint64 index, std::optional<TitelDef>&& def) {
        const bool record = def && subscribe && def->Aktiv;
        if (def && registry.add(record ? *def : std::move(*def))) {
            ++result.definitions;
            if (record) {
                def->Ordner = registry.folderSpelling(def->Ordner);  // as it was added
                if (!registry.startRecording(*def)) result.refused << def->WKN;
            }
        }
        if (index % 20 == 0)
            progress.progress(static_cast<int>(std::clamp<qint64>(index, 0, INT_MAX)));
    };
    TitelDefinitionenScan scan;
    try {
        scan = scanTitelDefinitionenFile(path_, fs_, handlers);
    } catch (const VqsError& e) {
        // Unreadable: nothing is known of its content, so nothing may be saved over it unseen.
        originalToKeep_ = true;
        result.problem = e.message();
        return result;
    }
    if (scan.status == TitelDefinitionenScan::kWhole) return result;

    QString kept;
    try {
        kept =
            QStringLiteral(" Die ursprüngliche Datei ist als %1 aufbewahrt.").arg(keepOriginal());
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

void TitelDefinitionenDatei::save(const TitelDefCollection& definitions) {
    if (originalToKeep_) {
        // The file did not load whole: it goes aside first, or it stays as it is.
        keepOriginal();
        originalToKeep_ = false;
    }
    writeTitelDefinitionenFile(path_, definitions);
}

}  // namespace vqs
