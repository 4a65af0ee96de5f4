#pragma once

#include <QString>

#include <array>
#include <cstdint>
#include <vector>

namespace vqs {

// Commands of the notification-area shell function.
enum class NotifyCommand : std::uint32_t { Add = 0, Modify = 1, Delete = 2, SetVersion = 4 };

// Flags of a notify record: which fields a command carries.
namespace nif {
inline constexpr std::uint32_t kMessage = 1;
inline constexpr std::uint32_t kIcon = 2;
inline constexpr std::uint32_t kTip = 4;
inline constexpr std::uint32_t kInfo = 16;
}  // namespace nif

// The notify record in its version-2 layout, in both variants: the 8-bit one (text fields as
// single bytes) and the UTF-16 one. Only the variant chosen at load is used; the size field
// tells the shell which layout it gets (88, 152, 488 or 936 bytes).
struct NotifyIconData {
    std::uint32_t cbSize = 0;
    std::uintptr_t hWnd = 0;
    std::uint32_t uID = 0;
    std::uint32_t uFlags = 0;
    std::uint32_t uCallbackMessage = 0;
    std::uintptr_t hIcon = 0;
    std::array<char, 128> szTip8{};       // 8-bit record
    std::array<char16_t, 128> szTip16{};  // UTF-16 record
    std::uint32_t dwState = 0;
    std::uint32_t dwStateMask = 0;
    std::array<char, 256> szInfo8{};
    std::array<char16_t, 256> szInfo16{};
    std::uint32_t uTimeoutOrVersion = 0;
    std::array<char, 64> szInfoTitle8{};
    std::array<char16_t, 64> szInfoTitle16{};
    std::uint32_t dwInfoFlags = 0;
};

// Notification codes the shell sends with the callback message.
namespace notify {
inline constexpr std::uint32_t kMouseMove = 512;
inline constexpr std::uint32_t kLeftDown = 513;
inline constexpr std::uint32_t kLeftUp = 514;
inline constexpr std::uint32_t kLeftDoubleClick = 515;
inline constexpr std::uint32_t kRightDown = 516;
inline constexpr std::uint32_t kRightUp = 517;
inline constexpr std::uint32_t kRightDoubleClick = 518;
inline constexpr std::uint32_t kBalloonShow = 1026;
inline constexpr std::uint32_t kBalloonHide = 1027;
inline constexpr std::uint32_t kBalloonTimeOut = 1028;
inline constexpr std::uint32_t kBalloonClicked = 1029;
}  // namespace notify

struct TrayMenuItem {
    QString caption;  // "-" makes a separator
    QString key;
    bool checked = false;
    bool checkable = false;  // once checked or unchecked: shows its box either way
    bool enabled = true;
    bool visible = false;
};

// What the component needs from the platform. The real one drives the system tray icon and a
// popup menu; tests record every call.
class TrayShell {
public:
    virtual ~TrayShell() = default;
    // The hidden window that receives the callbacks, and its own icon.
    virtual std::uintptr_t windowHandle() const = 0;
    virtual std::uintptr_t windowIcon() const = 0;
    // Shell_NotifyIconA (unicode false) or Shell_NotifyIconW (unicode true).
    virtual bool notifyIcon(NotifyCommand command, const NotifyIconData& data, bool unicode) = 0;
    virtual void setForegroundWindow(std::uintptr_t hWnd) = 0;
    // Pops the menu up at the mouse; the index of the chosen item, or -1.
    virtual int popupMenu(const std::vector<TrayMenuItem>& items, int defaultIndex) = 0;
};

// The owner's side: the events of the component.
class SysTrayEvents {
public:
    virtual ~SysTrayEvents() = default;
    virtual void MenuClick(std::int32_t /*lIndex*/, const QString& /*sKey*/) {}
    virtual void SysTrayMouseDown(std::int32_t /*eButton*/) {}
    virtual void SysTrayMouseUp(std::int32_t /*eButton*/) {}
    virtual void SysTrayMouseMove() {}
    virtual void SysTrayDoubleClick(std::int32_t /*eButton*/) {}
    virtual void BalloonShow() {}
    virtual void BalloonHide() {}
    virtual void BalloonTimeOut() {}
    virtual void BalloonClicked() {}
};

// The notification-area icon with its tip and popup menu. Adds the icon when created (load),
// removes it when closed; translates the shell's callback codes into events.
class frmSysTray {
public:
    // platformVersion: major in the low byte, minor in the second byte, the high bit set for a
    // 9x system. fileDescription: the program's file description, the initial tip.
    frmSysTray(TrayShell& shell, SysTrayEvents& owner, std::uint32_t platformVersion,
               const QString& fileDescription);
    ~frmSysTray();  // closes, if not closed yet
    frmSysTray(const frmSysTray&) = delete;
    frmSysTray& operator=(const frmSysTray&) = delete;

    void ShowBalloonTip(const QString& sMessage, const QString& sTitle = QString(),
                        std::int32_t eIcon = 0, std::int32_t lTimeOutMs = 0);
    QString ToolTip() const;
    void setToolTip(const QString& sTip);
    std::uintptr_t IconHandle() const;
    void setIconHandle(std::uintptr_t hIcon);
    std::int32_t AddMenuItem(const QString& sCaption, const QString& sKey = QString(),
                             bool bDefault = false);
    bool IsCheckedMenuItem(std::int32_t lIndex) const;
    void CheckMenuItem(std::int32_t lIndex, bool bState);
    void EnableMenuItem(std::int32_t lIndex, bool bState);
    std::int32_t RemoveMenuItem(std::int32_t iIndex);
    std::int32_t DefaultMenuIndex() const { return defaultIndex_; }
    void setDefaultMenuIndex(std::int32_t lIndex);
    void ShowMenu();

    // The shell's callback: the notification code (512 to 518, 1026 to 1029).
    void handleCallback(std::uint32_t code);
    // Query-unload: removes the icon.
    void close();

    bool unicode() const { return unicode_; }
    bool balloons() const { return balloons_; }
    const std::vector<TrayMenuItem>& menuItems() const { return items_; }
    const NotifyIconData& record() const { return nid_; }

private:
    bool validIndex(std::int32_t index) const;
    void modify(std::uint32_t flags);

    TrayShell& shell_;
    SysTrayEvents& owner_;
    bool unicode_ = false;
    bool balloons_ = false;
    bool menuStarted_ = false;
    bool closed_ = false;
    std::int32_t defaultIndex_ = 0;
    NotifyIconData nid_;
    std::vector<TrayMenuItem> items_;  // item 0 exists from the start
};

}  // namespace vqs
