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
    const QString& tag() const { return tag_; }

protected:
    // The close box acts as "Abbrechen": the wait ends, the start goes on.
    void closeEvent(QCloseEvent* event) override;

private:
    QLabel* label1_;
    QProgressBar* fortschritt_;
    QString tag_;
};

}  // namespace vqs
