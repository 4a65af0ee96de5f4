#pragma once

#include <QWidget>

class QLabel;
class QProgressBar;

namespace vqs {

// "Tradomir VQS Startverzögerung": counts down a delayed start; "Abbrechen" cuts it short.
class frmStartverzoegerung final : public QWidget {
    Q_OBJECT
public:
    explicit frmStartverzoegerung(QWidget* parent = nullptr);
    QLabel* Label1() const { return label1_; }
    QProgressBar* Fortschritt() const { return fortschritt_; }
    // "Abbrechen" or the close box was pressed.
    bool abgebrochen() const { return abgebrochen_; }

protected:
    // The close box acts as "Abbrechen": the wait ends, the start goes on.
    void closeEvent(QCloseEvent* event) override;

private:
    QLabel* label1_;
    QProgressBar* fortschritt_;
    bool abgebrochen_ = false;
};

}  // namespace vqs
