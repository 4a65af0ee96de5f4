#pragma once

#include "gui/shell/sys_tray.h"

#include <QIcon>
#include <QObject>

#include <cstdint>
#include <functional>
#include <map>

class QSystemTrayIcon;

namespace vqs {

// The tray component's shell on Qt: a QSystemTrayIcon for the icon, its tip and balloons, and a
// QMenu for the popup. Icons are addressed by handles; handle 1 is the program's own icon, the
// one the component starts with.
class QtTrayShell final : public QObject, public TrayShell {
public:
    static constexpr std::uintptr_t kWindowIcon = 1;

    explicit QtTrayShell(const QIcon& windowIcon, QObject* parent = nullptr);

    // Whether the desktop has a notification area at all.
    bool available() const;
    // Makes an icon known under a new handle, for frmSysTray::setIconHandle.
    std::uintptr_t addIcon(const QIcon& icon);
    // Where the notification codes go: normally the component's handleCallback.
    void setCallback(std::function<void(std::uint32_t)> callback);

    std::uintptr_t windowHandle() const override;
    std::uintptr_t windowIcon() const override;
    bool notifyIcon(NotifyCommand command, const NotifyIconData& data, bool unicode) override;
    void setForegroundWindow(std::uintptr_t hWnd) override;
    int popupMenu(const std::vector<TrayMenuItem>& items, int defaultIndex) override;

private:
    void deliver(std::uint32_t code) const;

    QSystemTrayIcon* icon_;
    std::map<std::uintptr_t, QIcon> icons_;
    std::function<void(std::uint32_t)> callback_;
};

}  // namespace vqs
