#include "gui/shell/qt_tray_shell.h"

#include <QAction>
#include <QCursor>
#include <QMenu>
#include <QSystemTrayIcon>

namespace vqs {

QtTrayShell::QtTrayShell(QObject* parent) : QObject(parent), icon_(new QSystemTrayIcon(this)) {}

bool QtTrayShell::available() const { return QSystemTrayIcon::isSystemTrayAvailable(); }

void QtTrayShell::showIcon() { icon_->show(); }

void QtTrayShell::hideIcon() { icon_->hide(); }

void QtTrayShell::setIcon(const QIcon& icon) { icon_->setIcon(icon); }

void QtTrayShell::setToolTip(const QString& tip) { icon_->setToolTip(tip); }

void QtTrayShell::showMessage(const QString& title, const QString& message,
                              QSystemTrayIcon::MessageIcon icon, int timeoutMs) {
    icon_->showMessage(title, message, icon, timeoutMs);
}

int QtTrayShell::popupMenu(const std::vector<TrayMenuItem>& items, int defaultIndex) {
    QMenu menu;
    menu.setObjectName(QStringLiteral("mnuPopup"));
    for (std::size_t i = 0; i < items.size(); ++i) {
        const TrayMenuItem& item = items[i];
        if (!item.visible) continue;
        QAction* action =
            item.caption == QLatin1String("-") ? menu.addSeparator() : menu.addAction(item.caption);
        action->setData(static_cast<int>(i));
        action->setCheckable(item.checkable || item.checked);
        action->setChecked(item.checked);
        action->setEnabled(item.enabled);
        if (static_cast<int>(i) == defaultIndex) menu.setDefaultAction(action);
    }
    if (menu.isEmpty()) return -1;
    const QAction* chosen = menu.exec(QCursor::pos());
    return chosen ? chosen->data().toInt() : -1;
}

}  // namespace vqs
