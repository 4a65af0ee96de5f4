#pragma once

#include "gui/shell/sys_tray.h"

#include <QObject>

class QSystemTrayIcon;

namespace vqs {

// The tray component's shell on Qt: a QSystemTrayIcon for the icon, its tip and balloons, and a
// QMenu for the popup.
class QtTrayShell final : public QObject, public TrayShell {
public:
    explicit QtTrayShell(QObject* parent = nullptr);

    // Whether the desktop has a notification area at all.
    bool available() const;
    // What the icon reports (activated, messageClicked) goes to the component from here.
    QSystemTrayIcon* trayIcon() const { return icon_; }

    void showIcon() override;
    void hideIcon() override;
    void setIcon(const QIcon& icon) override;
    void setToolTip(const QString& tip) override;
    void showMessage(const QString& title, const QString& message,
                     QSystemTrayIcon::MessageIcon icon, int timeoutMs) override;
    int popupMenu(const std::vector<TrayMenuItem>& items, int defaultIndex) override;

private:
    QSystemTrayIcon* icon_;
};

}  // namespace vqs
