#include "gui/shell/list_sort.h"

#include <QHeaderView>
#include <QTreeWidget>

namespace vqs {
namespace {

const char* const kSortKey = "vqsSortKey";
const char* const kSortOrder = "vqsSortOrder";
const char* const kSorted = "vqsSorted";

// A tree widget sorts its items; any other list asks its model.
void sortList(QTreeView* list, int column, Qt::SortOrder order) {
    if (auto* widget = qobject_cast<QTreeWidget*>(list))
        widget->sortItems(column, order);
    else
        list->model()->sort(column, order);
}

}  // namespace

void ListeSortieren(QTreeView* list, int column) {
    if (!list || !list->model() || column < 0 || column >= list->model()->columnCount()) return;
    const QVariant key = list->property(kSortKey);
    Qt::SortOrder order = Qt::AscendingOrder;
    if (key.isValid() && key.toInt() == column && list->property(kSorted).toBool())
        order = list->property(kSortOrder).toInt() == Qt::AscendingOrder ? Qt::DescendingOrder
                                                                         : Qt::AscendingOrder;
    list->setProperty(kSortKey, column);
    list->setProperty(kSortOrder, static_cast<int>(order));
    list->setProperty(kSorted, true);
    sortList(list, column, order);
    list->header()->setSortIndicatorShown(true);
    list->header()->setSortIndicator(column, order);
    if (list->currentIndex().isValid()) list->scrollTo(list->currentIndex());
}

void sortiereWieZuletzt(QTreeView* list) {
    if (!list || !list->property(kSorted).toBool()) return;
    sortList(list, list->property(kSortKey).toInt(),
             static_cast<Qt::SortOrder>(list->property(kSortOrder).toInt()));
}

void sortiereBeiSpaltenklick(QTreeView* list) {
    list->header()->setSectionsClickable(true);
    QObject::connect(list->header(), &QHeaderView::sectionClicked, list,
                     [list](int column) { ListeSortieren(list, column); });
}

}  // namespace vqs
