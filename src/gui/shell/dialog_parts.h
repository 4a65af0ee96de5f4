#pragma once

// Controls every small dialog builds the same way.

#include <QString>

class QAbstractButton;
class QCheckBox;
class QHBoxLayout;
class QPushButton;
class QWidget;

namespace vqs {

// A push button of the dialogs' size that Enter does not press unless it is the default.
QPushButton* makeButton(const QString& caption, const char* name, QWidget* parent);
QCheckBox* makeCheckBox(const QString& caption, const char* name, const QString& tip,
                        QWidget* parent);

// A caption that marks more than one letter ("&Hinweis &beim ..."): Qt answers only the first
// with the button; the others are made to press it too, so that no underlined letter is dead.
void answerEveryMnemonic(QAbstractButton* button);

// "Hilfe" on the left; the confirming button (the default) and "Abbrechen" on the right.
struct DialogButtons {
    QPushButton* hilfe;
    QPushButton* okay;
    QPushButton* abbruch;
    QHBoxLayout* row;
};
DialogButtons makeDialogButtons(const QString& okayCaption, QWidget* dialog);

}  // namespace vqs
