#include "datafiles/naming.h"

namespace vqs {
namespace {

QString replaceAll(QString text, QStringView characters) {
    for (QChar c : characters) text.replace(c, QLatin1Char('-'));
    return text;
}

}  // namespace

QString DateinameBereinigen(const QString& name) { return replaceAll(name, u"/\\:*?\"<>|"); }

QString OrdnerNameBereinigen(const QString& name) {
    QString folder = replaceAll(name, u"()[]{}/\\:*?'\"<>|");
    bool onlyDots = !folder.isEmpty() && folder.count(QLatin1Char('.')) == folder.size();
    return onlyDots ? QString(folder.size(), QLatin1Char('-')) : folder;
}

}  // namespace vqs
