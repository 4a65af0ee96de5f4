#pragma once

class QTreeView;

namespace vqs {

// Column-click sorting of a list: a new column sorts ascending, the same column again flips the
// order; the marked row stays in view. Every sortable list of the program uses it.
void ListeSortieren(QTreeView* list, int column);
// Sorts newly filled rows the way the list was last sorted (a sorted list stays sorted).
void sortiereWieZuletzt(QTreeView* list);
// Sorts the list by ListeSortieren whenever a column header is clicked.
void sortiereBeiSpaltenklick(QTreeView* list);

}  // namespace vqs
