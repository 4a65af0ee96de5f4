#include "titles/titel_definitionen_datei.h"

#include "app/app_context.h"
#include "common/error.h"

#include <QFile>
#include <QFileInfo>
#include <QSaveFile>

#include <algorithm>
#include <climits>

namespace vqs {
namespace {

// A definitions file of tens of thousands of titles stays far below this.
constexpr qint64 kMaxFileSize = 64LL * 1024 * 1024;

QByteArrayView kennung() {
    return QByteArrayView(kTitelDefinitionenKennung, kTitelDefinitionenKennungLength);
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

std::optional<TaggedValue> decodeTitelDefinitionen(QByteArrayView bytes) {
    if (bytes.size() < kTitelDefinitionenKennungLength ||
        bytes.first(kTitelDefinitionenKennungLength) != kennung())
        return std::nullopt;
    qsizetype pos = kTitelDefinitionenKennungLength;
    return readTaggedValue(bytes, pos);
}

std::optional<TaggedValue> readTitelDefinitionenFile(const QString& path) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        throw VqsError(QStringLiteral("Die Datei %1 kann nicht gelesen werden (%2).")
                           .arg(path, file.errorString()));
    if (file.size() > kMaxFileSize)
        throw VqsError(
            QStringLiteral("Die Datei %1 ist mit %2 Bytes zu groß.").arg(path).arg(file.size()));
    QByteArray bytes = file.readAll();
    if (file.error() != QFileDevice::NoError)
        throw VqsError(QStringLiteral("Die Datei %1 kann nicht gelesen werden (%2).")
                           .arg(path, file.errorString()));
    return decodeTitelDefinitionen(bytes);
}

void writeTitelDefinitionenFile(const QString& path, const KeyedCollection<TitelDef>& definitions) {
    QByteArray bytes = encodeTitelDefinitionen(definitions);
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(bytes) != bytes.size() || !file.commit())
        throw VqsError(QStringLiteral("Die Datei %1 kann nicht geschrieben werden (%2).")
                           .arg(path, file.errorString()));
}

void LoadTitelDefinitionen(AppContext& ctx, TitelLoadListener& listener) {
    const QString path = ctx.definitionsFilePath();
    TaggedValue value;
    try {
        if (!QFileInfo::exists(path)) {
            // Created empty, as a first start leaves it; nothing to load.
            QFile file(path);
            if (!file.open(QIODevice::WriteOnly))
                throw VqsError(QStringLiteral("Die Datei %1 kann nicht angelegt werden (%2).")
                                   .arg(path, file.errorString()));
            return;
        }
        QFile probe(path);
        if (!probe.open(QIODevice::ReadOnly))
            throw VqsError(QStringLiteral("Die Datei %1 kann nicht gelesen werden (%2).")
                               .arg(path, probe.errorString()));
        if (probe.read(kTitelDefinitionenKennungLength) != kennung()) return;
        probe.close();

        ctx.mainWindow().setStartInfo(
            QStringLiteral("Die Titeldefinitionen werden geladen. Bitte warten..."));
        ctx.loop().yield();

        std::optional<TaggedValue> read = readTitelDefinitionenFile(path);
        if (!read) return;  // changed under our feet to a foreign file: leave it
        value = std::move(*read);
    } catch (const VqsError& e) {
        ctx.messages().ShowMessage(
            QStringLiteral("Fehler beim Laden der Titeldefinitionen aufgetreten: ") + e.message(),
            msg::kOk);
        return;
    }

    ctx.TitelDefinitionen.clear();
    ctx.Ordnerliste.clear();
    BusyGuard busy(ctx.loop());
    listener.replaceTitleObjects();

    ctx.mainWindow().setStartInfo(
        QStringLiteral("Der Datenstrom wird initialisiert. Bitte warten..."));
    if (value.isList()) {
        qint64 upper = qint64(value.lowerBound()) + qint64(value.items().size()) - 1;
        ctx.mainWindow().setProgressMaximum(
            static_cast<int>(std::clamp<qint64>(upper, 0, INT_MAX)));
    }
    ctx.loop().yield();

    if (value.isList()) {
        qint64 index = value.lowerBound();
        for (const TaggedValue& element : value.items()) {
            std::optional<TitelDef> def = TitelDef::fromTagged(element);
            if (def && ctx.TitelDefinitionen.add(def->collectionKey(), *def)) {
                if (def->Aktiv) listener.activeTitleLoaded(*def);
                if (!def->Ordner.isEmpty() && !ctx.Ordnerliste.contains(def->Ordner))
                    ctx.Ordnerliste.add(def->Ordner, def->Ordner);
            }
            if (index % 20 == 0)
                ctx.mainWindow().setProgressValue(
                    static_cast<int>(std::clamp<qint64>(index, 0, INT_MAX)));
            ++index;
        }
    }
    ctx.mainWindow().TitelInfoAktualisieren();
}

bool SaveTitelDefinitionen(AppContext& ctx) {
    BusyGuard busy(ctx.loop());
    try {
        writeTitelDefinitionenFile(ctx.definitionsFilePath(), ctx.TitelDefinitionen);
        return true;
    } catch (const VqsError& e) {
        ctx.messages().ShowMessage(
            QStringLiteral("Fehler beim Speichern der Titeldefinitionen aufgetreten: ") +
                e.message(),
            msg::kOk);
        return false;
    }
}

}  // namespace vqs
