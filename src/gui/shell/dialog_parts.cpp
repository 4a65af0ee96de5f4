#include "gui/shell/dialog_parts.h"

#include <QCheckBox>
#include <QHBoxLayout>
#include <QPushButton>

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
