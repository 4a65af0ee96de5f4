#include "datafiles/naming.h"

#include <QDir>

namespace vqs {
namespace {

// One pass; a name without those characters is returned without a copy (this runs per tick).
QString replaceAll(const QString& text, QStringView characters) {
    QString out = text;
    for (qsizetype i = 0; i < out.size(); ++i) {
        const QChar c = out.at(i);
        if (c.unicode() < 0x20 || c.unicode() == 0x7F || characters.contains(c))
            out[i] = QLatin1Char('-');
    }
    return out;
}

QString kindSuffix(Kursart kind) {
    if (kind == kGeld) return QStringLiteral("-G");
    if (kind == kBrief) return QStringLiteral("-B");
    if (isAskDepth(kind)) return QStringLiteral("-BMT") + QString::number(depthLevel(kind));
    if (isBidDepth(kind)) return QStringLiteral("-GMT") + QString::number(depthLevel(kind));
    return {};
}

}  // namespace

QString DateinameBereinigen(const QString& name) { return replaceAll(name, u"/\\:*?\"<>|"); }

QString OrdnerNameBereinigen(const QString& name) {
    QString folder = replaceAll(name, u"()[]{}/\\:*?'\"<>|");
    bool onlyDots = !folder.isEmpty() && folder.front() == u'.' &&
                    folder.count(QLatin1Char('.')) == folder.size();
    return onlyDots ? QString(folder.size(), QLatin1Char('-')) : folder;
}

QString ordnerAusEingabe(const QString& typed) { return OrdnerNameBereinigen(typed.trimmed()); }

QString buildFileName(const TitelDef& def, Kursart kind) {
    QString name = DateinameBereinigen(def.WKN) + kindSuffix(kind);
    // Exchange and broker code are sanitised too, so that no title can name a path.
    if (def.NeueNamen)
        name += QStringLiteral("-BRAVOL-") + DateinameBereinigen(def.RT_Boerse);
    else
        name += QStringLiteral("-BRAVOL") + DateinameBereinigen(def.RT_WKN);
    name += QStringLiteral(".VQS");
    return name;
}

QString folderPath(const QString& dataRoot, const TitelDef& def) {
    return dataRoot + QDir::separator() + OrdnerNameBereinigen(def.Ordner) + QDir::separator();
}

}  // namespace vqs
