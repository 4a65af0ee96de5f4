#include "datafiles/naming.h"

#include <QDir>

namespace vqs {
namespace {

QString kindSuffix(Kursart kind) {
    if (kind == kGeld) return QStringLiteral("-G");
    if (kind == kBrief) return QStringLiteral("-B");
    if (isAskDepth(kind)) return QStringLiteral("-BMT") + QString::number(depthLevel(kind));
    if (isBidDepth(kind)) return QStringLiteral("-GMT") + QString::number(depthLevel(kind));
    return {};
}

}  // namespace

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
