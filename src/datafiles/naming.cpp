#include "datafiles/naming.h"

#include <QDir>

namespace vqs {
namespace {

// One pass; a name without those characters is returned without a copy (this runs per tick).
QString replaceAll(const QString& text, QStringView characters) {
    QString out = text;
    for (qsizetype i = 0; i < out.size(); ++i) {
        if (characters.contains(out.at(i))) out[i] = QLatin1Char('-');
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

QString buildFileName(TitelDef& def, Kursart kind) {
    QString name = DateinameBereinigen(def.WKN) + kindSuffix(kind);
    // Exchange and broker code are sanitised too, so that no title can name a path.
    if (def.NeueNamen)
        name += QStringLiteral("-BRAVOL-") + DateinameBereinigen(def.RT_Boerse);
    else
        name += QStringLiteral("-BRAVOL") + DateinameBereinigen(def.RT_WKN);
    name += QStringLiteral(".VQS");
    if (kind >= 0 && kind <= 2) {
        if (!def.Dateinamen) def.Dateinamen.emplace();
        (*def.Dateinamen)[static_cast<size_t>(kind)] = name;
    }
    return name;
}

QString folderPath(const QString& dataRoot, const TitelDef& def) {
    return dataRoot + QDir::separator() + OrdnerNameBereinigen(def.Ordner) + QDir::separator();
}

QString buildFolder(const QString& dataRoot, const TitelDef& def) {
    QString folder = folderPath(dataRoot, def);
    if (!def.Ordner.isEmpty()) {
        QDir dir(folder);
        if (!dir.exists()) QDir().mkdir(folder);
    }
    return folder;
}

}  // namespace vqs
