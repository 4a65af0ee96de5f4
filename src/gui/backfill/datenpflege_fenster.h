#pragma once

// The back-fill windows: options, quote-kind choice, progress.

#include "common/kursart.h"
#include "model/titel_def.h"
#include "recording/datenpflege.h"

#include <QDialog>
#include <QString>

#include <functional>
#include <vector>

class QLabel;
class QProgressBar;
class QPushButton;
class QRadioButton;
class QTimeEdit;

namespace vqs {

class MessagePresenter;
class Recorder;
class SettingsStore;

// "Datenpflege": from which time of day the broker's ticks are taken. Accepted when started;
// the caller then stores the time with speichern().
class frmDatenpflegeOptionen final : public QDialog {
    Q_OBJECT
public:
    explicit frmDatenpflegeOptionen(const SettingsStore& settings, QWidget* parent = nullptr);
    // The time in the field as a fraction of a day.
    double startzeit() const;
    // Stores the time as the setting "BravoltUhrzeit".
    void speichern(SettingsStore& settings) const;

private:
    QTimeEdit* zeitfeld_;
};

// "Kursart für Dateninspektor wählen": paid, bid or ask. Accepted when confirmed; a
// double-click on a kind confirms it at once.
class frmKursartWahl final : public QDialog {
    Q_OBJECT
public:
    explicit frmKursartWahl(QWidget* parent = nullptr);
    Kursart kursart() const;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    QRadioButton* optKursart_[3];
};

// "Tradomir VQS Datenpflege mit Bravolt": runs the back-fill of the titles from the start time
// on as soon as it is shown, shows what the run reports, and closes by itself at the end.
class frmDatenpflegeFortschritt final : public QDialog, public DatenpflegeProgress {
    Q_OBJECT
public:
    using Run = std::function<DatenpflegeResult(const std::vector<TitelDef>&, double,
                                                DatenpflegeProgress&)>;

    // startzeit: the time of day, a fraction of a day.
    frmDatenpflegeFortschritt(MessagePresenter& messages, Run run,
                              std::vector<TitelDef> aktualTitel, double startzeit,
                              QWidget* parent = nullptr);

    const std::vector<TitelDef>& aktualTitel() const { return aktualTitel_; }
    double startzeit() const { return startzeit_; }
    // The user asked to cancel; set before the run, it never starts.
    bool abbruch() const { return abbruch_; }
    void setAbbruch(bool on) { abbruch_ = on; }

    // What the run returned (hides QDialog::result(), the dialog code exec() returns anyway).
    const DatenpflegeResult& result() const { return result_; }

    void titel(const QString& text) override;
    void status(const QString& text) override;
    void kursart(const QString& text) override;
    void datum(const QString& text) override;
    void progressMaximum(int maximum) override;
    void progress(int value) override;
    void cancelEnabled(bool enabled) override;
    void yield() override;
    bool cancelRequested() override { return abbruch_; }

    // Closes only once the run has ended: Escape does nothing while it goes on.
    void reject() override;

protected:
    void showEvent(QShowEvent* event) override;
    void closeEvent(QCloseEvent* event) override;

private:
    enum class State { kWaiting, kRunning, kEnded };

    void start();
    void askToCancel();
    void finish();

    MessagePresenter& messages_;
    Run run_;
    std::vector<TitelDef> aktualTitel_;
    double startzeit_;
    bool abbruch_ = false;
    State state_ = State::kWaiting;
    DatenpflegeResult result_;
    QLabel* titellabel_;
    QLabel* statuslabel_;
    QLabel* kursartlabel_;
    QLabel* datumlabel_;
    QProgressBar* fortschritt_;
    QPushButton* btnAbbruch_;
};

// Runs the back-fill of `titles` from `startzeit` (a fraction of a day) in the progress window,
// owned by `parent`. An error is told as "Fehler aufgetreten: " and its text.
void DatenpflegeAusfuehren(Recorder& recorder, std::vector<TitelDef> titles, double startzeit,
                           QWidget* parent);

}  // namespace vqs
