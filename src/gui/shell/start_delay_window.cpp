#include "gui/shell/start_delay_window.h"

#include "gui/shell/app_icon.h"

#include <QCloseEvent>
#include <QHBoxLayout>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QVBoxLayout>

namespace vqs {

frmStartverzoegerung::frmStartverzoegerung(QWidget* parent) : QWidget(parent, Qt::Window) {
    setObjectName(QStringLiteral("frmStartverzögerung"));
    setWindowTitle(QStringLiteral("Tradomir VQS Startverzögerung"));
    setWindowIcon(programIcon());
    label1_ = new QLabel(this);
    label1_->setObjectName(QStringLiteral("Label1"));
    label1_->setWordWrap(true);
    label1_->setFixedWidth(380);
    fortschritt_ = new QProgressBar(this);
    fortschritt_->setObjectName(QStringLiteral("Fortschritt"));
    fortschritt_->setTextVisible(false);
    auto* abbruch = new QPushButton(QStringLiteral("Abbrechen"), this);
    abbruch->setObjectName(QStringLiteral("Abbruch"));
    abbruch->setMinimumWidth(89);
    connect(abbruch, &QPushButton::clicked, this, [this] { abgebrochen_ = true; });
    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(abbruch);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(label1_);
    layout->addWidget(fortschritt_);
    layout->addLayout(buttons);
    layout->setSizeConstraint(QLayout::SetFixedSize);
}

void frmStartverzoegerung::closeEvent(QCloseEvent* event) {
    abgebrochen_ = true;
    QWidget::closeEvent(event);
}

}  // namespace vqs
