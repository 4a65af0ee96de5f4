#pragma once

#include <QTreeView>

class QFileSystemModel;

namespace vqs {

// A tree of folders (no files): the chosen folder's path can be read and written, and every
// change of the chosen folder is told by folderChanged.
class OrdnerBaum final : public QTreeView {
    Q_OBJECT
public:
    explicit OrdnerBaum(QWidget* parent = nullptr);

    QString folderPath() const;
    // Shows and chooses the folder; folderChanged follows when it is another one.
    void setFolderPath(const QString& path);

Q_SIGNALS:
    void folderChanged(const QString& path);

protected:
    void showEvent(QShowEvent* event) override;

private:
    void bringIntoView();

    QFileSystemModel* model_;
    QString current_;
};

}  // namespace vqs
