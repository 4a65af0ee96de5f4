#include "gui/inspector/ordner_baum.h"

#include <QDir>
#include <QFileSystemModel>
#include <QHeaderView>

namespace vqs {

OrdnerBaum::OrdnerBaum(QWidget* parent) : QTreeView(parent), model_(new QFileSystemModel(this)) {
    model_->setFilter(QDir::AllDirs | QDir::NoDotAndDotDot | QDir::Drives);
    model_->setRootPath(QDir::rootPath());
    setModel(model_);
    for (int column = 1; column < model_->columnCount(); ++column) hideColumn(column);
    header()->hide();
    setSelectionMode(QAbstractItemView::SingleSelection);
    connect(selectionModel(), &QItemSelectionModel::currentChanged, this,
            [this](const QModelIndex& current) {
                const QString path = model_->filePath(current);
                if (path.isEmpty() || path == current_) return;
                current_ = path;
                Q_EMIT folderChanged(path);
            });
}

QString OrdnerBaum::folderPath() const { return current_; }

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
    scrollTo(index);
    if (current_ != clean) {
        current_ = clean;
        Q_EMIT folderChanged(clean);
    }
}

}  // namespace vqs
