#pragma once

#include <QDialog>
#include <QString>
#include <QStringList>

class QLabel;
class QPushButton;
class QTreeWidget;

namespace vqs {

class OrdnerBaum;
class SettingsStore;

// "Tradomir Realtime-Titel wählen": a folder tree, and the data files of the chosen folder by
// the title and code in their headers. Accepted when files are chosen.
class FrmPLVRealtimeTitel final : public QDialog {
    Q_OBJECT
public:
    explicit FrmPLVRealtimeTitel(SettingsStore& settings, QWidget* parent = nullptr);
    ~FrmPLVRealtimeTitel() override;

    OrdnerBaum* Katalogliste() const { return katalogliste_; }
    QTreeWidget* Titelliste() const { return titelliste_; }
    // The real paths of the chosen rows, in the list's order.
    QStringList selectedPaths() const;

    // Fills the list from the folder's data files.
    void folderChanged(const QString& path);

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    void okay();

    SettingsStore& settings_;
    OrdnerBaum* katalogliste_;
    QTreeWidget* titelliste_;
    QLabel* pfadFeld_;
    QPushButton* okay_;
    QPushButton* abbruch_;
    bool saved_ = false;
};

}  // namespace vqs
