#include "gui/shell/dialog_parts.h"

#include <QAbstractButton>
#include <QCheckBox>
#include <QHBoxLayout>
#include <QKeySequence>
#include <QPushButton>
#include <QShortcut>

#include <utility>

namespace vqs {

QPushButton* makeButton(const QString& caption, const char* name, QWidget* parent) {
    auto* b = new QPushButton(caption, parent);
    b->setObjectName(QString::fromUtf8(name));
    b->setMinimumWidth(89);
    b->setAutoDefault(false);
    return b;
}

QCheckBox* makeCheckBox(const QString& caption, const char* name, const QString& tip,
                        QWidget* parent) {
    auto* c = new QCheckBox(caption, parent);
    c->setObjectName(QString::fromUtf8(name));
    c->setToolTip(tip);
    return c;
}

void answerEveryMnemonic(QAbstractButton* button) {
    const QString text = button->text();
    bool first = true;
    for (qsizetype at = text.indexOf(QLatin1Char('&')); at >= 0 && at + 1 < text.size();
         at = text.indexOf(QLatin1Char('&'), at + 2)) {
        const QChar letter = text.at(at + 1);
        if (letter == QLatin1Char('&')) continue;   // "&&" is a plain "&"
        if (std::exchange(first, false)) continue;  // the button's own
        auto* shortcut = new QShortcut(QKeySequence(QStringLiteral("Alt+") + letter.toUpper()),
                                       button->window());
        QObject::connect(shortcut, &QShortcut::activated, button, [button] {
            if (!button->isVisible() || !button->isEnabled()) return;
            button->setFocus(Qt::ShortcutFocusReason);
            button->click();
        });
    }
}

DialogButtons makeDialogButtons(const QString& okayCaption, QWidget* dialog) {
    DialogButtons b{};
    b.hilfe = makeButton(QStringLiteral("Hilfe"), "Hilfe", dialog);
    b.abbruch = makeButton(QStringLiteral("Abbrechen"), "Abbruch", dialog);
    b.abbruch->setToolTip(QStringLiteral("Schließt den Dialog und verwirft alle Angaben"));
    b.okay = makeButton(okayCaption, "Okay", dialog);
    b.okay->setToolTip(QStringLiteral("Schließt den Dialog und speichert alle Einstellungen ab"));
    b.okay->setDefault(true);
    b.row = new QHBoxLayout;
    b.row->addWidget(b.hilfe);
    b.row->addStretch();
    b.row->addWidget(b.okay);
    b.row->addWidget(b.abbruch);
    return b;
}

}  // namespace vqs
