#include "datafiles/history_merge.h"

#include <QLocale>

namespace vqs {

QString pflegedatumText(QDate day) {
    return QLocale::system().toString(day, QLocale::ShortFormat).left(8).leftJustified(8);
}

MergeResult mergeHistory(DataFileStore& /*store*/, const TitelDef& /*def*/,
                         std::vector<KursSatz> /*fetched*/, bool /*volumeFilter*/, QDate /*today*/,
                         MergeProgress& /*progress*/) {
    return {};
}

}  // namespace vqs
