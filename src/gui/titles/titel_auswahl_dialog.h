#pragma once

#include "broker/trading_api.h"

#include <QDialog>
#include <QStringList>

#include <utility>
#include <vector>

class QComboBox;
class QFrame;
class QLineEdit;
class QPushButton;
class QTabBar;
class QTreeWidget;
class QTreeWidgetItem;

namespace vqs {

class Recorder;

// "Titel zur Aufzeichnung auswählen": finds titles in the five catalogues or by search, and
// activates the marked ones for paid prices or all quote kinds, or deactivates them.
class frmTitelauswahl final : public QDialog {
    Q_OBJECT
public:
    explicit frmTitelauswahl(Recorder& recorder, QWidget* parent = nullptr);

    void ShowKataloge();
    void ShowTitelinKatalog();
    void btnSuchen_Click();
    void ShowSuchergebnisTitel(const std::vector<broker::Instrument>& suchergebnis);
    void TitelAktivieren(bool bezahlt, bool bidAsk);
    void selectTab(int index);  // 0: "&Kursliste", 1: "S&uchen"

    // The instrument classes: shown name and the letter sent to the broker ("" for all).
    const std::vector<std::pair<QString, QString>>& Wertpapierarten() const {
        return wertpapierarten_;
    }
    const QStringList& Boersencodes() const { return boersencodes_; }
    QTreeWidget* titelliste() const { return lTitelliste_; }
    QTreeWidget* katalogliste() const { return lKatalogliste_; }

private:
    void buildControls();
    // The frame of the tab: catalogues (0) or search (1); the title list is emptied.
    void showPage(int index);
    QTreeWidgetItem* newRow(const QString& name, const QString& wkn, const QString& boerse,
                            const QString& iconKey) const;
    void setRows(QList<QTreeWidgetItem*> rows);

    Recorder& recorder_;
    QTabBar* karteikasten_;
    QFrame* katalograhmen_;
    QTreeWidget* lKatalogliste_;
    QComboBox* lKatalogBoersenplatz_;
    QFrame* suchRahmen_;
    QLineEdit* suchbegriffFeld_;
    QComboBox* lWertpapierart_;
    QComboBox* lBoersenplaetze_;
    QComboBox* lSuchSpeicherOrdner_;
    QPushButton* btnSuchen_;
    QTreeWidget* lTitelliste_;
    std::vector<std::pair<QString, QString>> wertpapierarten_;
    QStringList boersencodes_;
};

}  // namespace vqs
