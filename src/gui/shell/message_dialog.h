#pragma once

#include "common/ui_ports.h"

#include <QDialog>
#include <QPointer>

#include <array>

class QLabel;
class QPushButton;

namespace vqs {

// The system's own message box: German captions, sized to its text. exec() returns the
// standard result code of the button pressed (msg::kResultOk ...), msg::kResultNone when it
// was closed without one.
class frmMessageDialog final : public QDialog {
    Q_OBJECT
public:
    explicit frmMessageDialog(QWidget* parent = nullptr);

    int ButtonStyle() const { return buttonStyle_; }
    void setButtonStyle(int style) { buttonStyle_ = style; }

    // Sets captions, roles, size and button places for the text and the full style.
    void prepare(const QString& text, int style);

    QLabel* Meldung() const { return meldung_; }
    QPushButton* btn(int index) const { return buttons_[static_cast<size_t>(index)]; }
    int cancelIndex() const { return cancelIndex_; }

protected:
    void keyPressEvent(QKeyEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    void changeEvent(QEvent* event) override;
    void showEvent(QShowEvent* event) override;

private:
    void clicked(int index);
    void focusDefault();

    QLabel* image_;
    QLabel* meldung_;
    std::array<QPushButton*, 3> buttons_{};
    int buttonStyle_ = 0;
    int cancelIndex_ = -1;
};

// Shows text with the style's buttons and waits for the answer (result codes of the standard
// message box; 0 when the dialog was closed without a button). While mainWindow is minimized,
// the system message box is shown instead, so that the question reaches the user in the
// notification area.
int ShowMessage(const QString& text, int style, const QWidget* mainWindow);

// The message presenter of the running program.
class QtMessagePresenter final : public MessagePresenter {
public:
    void setMainWindow(QWidget* w) { mainWindow_ = w; }
    int ShowMessage(const QString& text, int style) override;

private:
    QPointer<QWidget> mainWindow_;
};

// Lets the event loop run and shows the hourglass, for the core's long operations.
class QtEventLoop final : public EventLoopPort {
public:
    void yield() override;
    void setBusy(bool busy) override;
};

}  // namespace vqs
