#include "gui/dateninspektor/ordner_baum.h"

#include <QDir>
#include <QFileSystemModel>
#include <QHeaderView>
#include <QTimer>

namespace vqs {

OrdnerBaum::OrdnerBaum(QWidget* parent) : QTreeView(parent), model_(new QFileSystemModel(this)) {
    model_->setFilter(QDir::AllDirs | QDir::NoDotAndDotDot | QDir::Drives);
    model_->setRootPath(QDir::rootPath());
    setModel(model_);
    for (int column = 1; column < model_->columnCount(); ++column) hideColumn(column);
    header()->hide();
    setSelectionMode(QAbstractItemView::SingleSelection);
    // The folders load in the background: the chosen one is brought into view once they are in.
    connect(model_, &QFileSystemModel::directoryLoaded, this, &OrdnerBaum::bringIntoView);
    connect(selectionModel(), &QItemSelectionModel::currentChanged, this,
            [this](const QModelIndex& current) {
                const QString path = model_->filePath(current);
                if (path.isEmpty() || path == current_) return;
                current_ = path;
                Q_EMIT folderChanged(path);
            });
}

QString OrdnerBaum::folderPath() const { return current_; }

void OrdnerBaum::bringIntoView() {
    // After the view has laid out what came in.
    QTimer::singleShot(0, this, [this] {
        if (currentIndex().isValid()) scrollTo(currentIndex(), QAbstractItemView::PositionAtTop);
    });
}

void OrdnerBaum::showEvent(QShowEvent* event) {
    QTreeView::showEvent(event);
    bringIntoView();
}

void OrdnerBaum::setFolderPath(const QString& path) {
    const QString clean = QDir::cleanPath(QDir(path).absolutePath());
    const QModelIndex index = model_->index(clean);
    if (!index.isValid()) {
        // A folder that is not there: nothing shown, but the caller's path is kept.
        current_ = clean;
        Q_EMIT folderChanged(clean);
        return;
    }
    setCurrentIndex(index);  // folderChanged comes from the selection
    for (QModelIndex above = index.parent(); above.isValid(); above = above.parent()) expand(above);
    expand(index);  // its sub-folders: the title folders below the data folder
    bringIntoView();
    if (current_ != clean) {
        current_ = clean;
        Q_EMIT folderChanged(clean);
    }
}

}  // namespace vqs
