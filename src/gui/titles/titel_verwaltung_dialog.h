#pragma once

#include <QDialog>
#include <QString>
#include <QStringList>

#include <exception>
#include <functional>
#include <vector>

class QComboBox;
class QPushButton;
class QTreeView;

namespace vqs {

class Recorder;
class TitellistenModell;

// "Titelverwaltung": the titles already defined, by folder; switches their recording, deletes
// them, opens the Dateninspektor on one of their files, back-fills them, and changes the
// recording options. Accepted when closed with "&Schließen".
class frmTitelverwaltung final : public QDialog {
    Q_OBJECT
public:
    // Opens the Dateninspektor on a data file, owned by the given window.
    using InspektorOeffnen = std::function<void(const QString& path, QWidget* owner)>;

    frmTitelverwaltung(Recorder& recorder, InspektorOeffnen openInspektor,
                       QWidget* parent = nullptr);
    ~frmTitelverwaltung() override;

    void ZeigeOrdner();
    void ShowTitel();
    void TitelAktivieren(bool bezahlt, bool bidAsk);
    void btnLoeschen_Click();
    void btnDateninspektor_Click();
    void btnDatenpflege_Click();
    void btnEinstellungen_Click();

    QComboBox* ordnerliste() const { return lOrdner_; }
    QTreeView* titelliste() const { return lTitelliste_; }
    // The tags of the marked rows, in list order.
    QStringList markierteTags() const;

    // Every close (button, Escape, close box) remembers the folder.
    void done(int result) override;

private:
    void buildControls();
    // The tag of the row the user means: the current row when marked, else the first marked.
    QString gemeinterTag() const;
    // The marked rows, first to last.
    std::vector<int> markierteZeilen() const;
    void showError(const std::exception& e);

    Recorder& recorder_;
    InspektorOeffnen openInspektor_;
    QComboBox* lOrdner_;
    QTreeView* lTitelliste_;
    TitellistenModell* model_;
    std::vector<QPushButton*> titelButtons_;  // usable only with titles defined
};

}  // namespace vqs
