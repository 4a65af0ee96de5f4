#include "gui/shell/list_sort.h"

#include <QHeaderView>
#include <QTreeWidget>

namespace vqs {
namespace {

const char* const kSortKey = "vqsSortKey";
const char* const kSortOrder = "vqsSortOrder";
const char* const kSorted = "vqsSorted";

}  // namespace

void ListeSortieren(QTreeWidget* list, int column) {
    if (!list || column < 0 || column >= list->columnCount()) return;
    const QVariant key = list->property(kSortKey);
    Qt::SortOrder order = Qt::AscendingOrder;
    if (key.isValid() && key.toInt() == column && list->property(kSorted).toBool())
        order = list->property(kSortOrder).toInt() == Qt::AscendingOrder ? Qt::DescendingOrder
                                                                         : Qt::AscendingOrder;
    list->setProperty(kSortKey, column);
    list->setProperty(kSortOrder, static_cast<int>(order));
    list->setProperty(kSorted, true);
    list->sortItems(column, order);
    list->header()->setSortIndicatorShown(true);
    list->header()->setSortIndicator(column, order);
    if (QTreeWidgetItem* marked = list->currentItem()) list->scrollToItem(marked);
}

void sortiereWieZuletzt(QTreeWidget* list) {
    if (!list || !list->property(kSorted).toBool()) return;
    list->sortItems(list->property(kSortKey).toInt(),
                    static_cast<Qt::SortOrder>(list->property(kSortOrder).toInt()));
}

void sortiereBeiSpaltenklick(QTreeWidget* list) {
    list->header()->setSectionsClickable(true);
    QObject::connect(list->header(), &QHeaderView::sectionClicked, list,
                     [list](int column) { ListeSortieren(list, column); });
}

}  // namespace vqs
