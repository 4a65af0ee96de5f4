#pragma once

#include <QIcon>
#include <QString>
#include <QSystemTrayIcon>

#include <cstdint>
#include <vector>

namespace vqs {

struct TrayMenuItem {
    QString caption;  // "-" makes a separator
    QString key;
    bool checked = false;
    bool checkable = false;  // once checked or unchecked: shows its box either way
    bool enabled = true;
    bool visible = false;
};

// What the component needs from the desktop. The real one drives a QSystemTrayIcon and a popup
// menu; tests record every call.
class TrayShell {
public:
    virtual ~TrayShell() = default;
    virtual void showIcon() = 0;
    virtual void hideIcon() = 0;
    virtual void setIcon(const QIcon& icon) = 0;
    virtual void setToolTip(const QString& tip) = 0;
    virtual void showMessage(const QString& title, const QString& message,
                             QSystemTrayIcon::MessageIcon icon, int timeoutMs) = 0;
    // Pops the menu up at the mouse; the index of the chosen item, or -1.
    virtual int popupMenu(const std::vector<TrayMenuItem>& items, int defaultIndex) = 0;
};

enum class TrayButton { kLeft, kRight };

// The owner's side: the events of the component.
class SysTrayEvents {
public:
    virtual ~SysTrayEvents() = default;
    virtual void MenuClick(std::int32_t /*index*/, const QString& /*key*/) {}
    virtual void SysTrayMouseDown(TrayButton /*button*/) {}
    virtual void SysTrayMouseUp(TrayButton /*button*/) {}
    virtual void SysTrayDoubleClick(TrayButton /*button*/) {}
    virtual void BalloonClicked() {}
};

// The notification-area icon with its tip and popup menu. Shows the icon when created, hides it
// when closed; turns what the icon reports into events.
class frmSysTray {
public:
    // The tip is cut to this many characters: notification areas show no more.
    static constexpr int kMaxToolTipLength = 127;

    // toolTip: the initial tip, the program's description.
    frmSysTray(TrayShell& shell, SysTrayEvents& owner, const QIcon& icon, const QString& toolTip);
    ~frmSysTray();  // closes, if not closed yet
    frmSysTray(const frmSysTray&) = delete;
    frmSysTray& operator=(const frmSysTray&) = delete;

    void ShowBalloonTip(const QString& message, const QString& title = QString(),
                        QSystemTrayIcon::MessageIcon icon = QSystemTrayIcon::NoIcon,
                        int timeoutMs = 10000);
    QString ToolTip() const { return toolTip_; }
    void setToolTip(const QString& tip);
    QIcon icon() const { return icon_; }
    void setIcon(const QIcon& icon);
    std::int32_t AddMenuItem(const QString& caption, const QString& key = QString(),
                             bool isDefault = false);
    bool IsCheckedMenuItem(std::int32_t index) const;
    void CheckMenuItem(std::int32_t index, bool checked);
    void EnableMenuItem(std::int32_t index, bool enabled);
    std::int32_t RemoveMenuItem(std::int32_t index);
    std::int32_t DefaultMenuIndex() const { return defaultIndex_; }
    void setDefaultMenuIndex(std::int32_t index);
    void ShowMenu();

    // What the icon reports: a click, a right click (the context menu's request) or a double
    // click; and a click on the balloon.
    void activated(QSystemTrayIcon::ActivationReason reason);
    void messageClicked();
    // Removes the icon.
    void close();

    const std::vector<TrayMenuItem>& menuItems() const { return items_; }

private:
    bool validIndex(std::int32_t index) const;

    TrayShell& shell_;
    SysTrayEvents& owner_;
    bool menuStarted_ = false;
    bool closed_ = false;
    std::int32_t defaultIndex_ = 0;
    QIcon icon_;
    QString toolTip_;
    std::vector<TrayMenuItem> items_;  // item 0 exists from the start
};

}  // namespace vqs
