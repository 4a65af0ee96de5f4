#include "gui/shell/sys_tray.h"

#include "common/cp1252.h"

#include <algorithm>

namespace vqs {
namespace {

using namespace notify;

constexpr std::int32_t kLeftButton = 1;
constexpr std::int32_t kRightButton = 2;

// Version 3 of the record makes the shell send the balloon notifications.
constexpr std::uint32_t kNotifyVersion = 3;

// The tip field is 128 characters in the layout with balloons, 64 in the older one.
constexpr int tipWidth(bool balloons) { return balloons ? 128 : 64; }

// UTF-16 field: code units up to one short of the field, so a NUL always ends the text; the
// rest is zero.
template <std::size_t N>
void setText(std::array<char16_t, N>& field, int width, QStringView text) {
    const auto count = std::min<std::size_t>(static_cast<std::size_t>(text.size()),
                                             static_cast<std::size_t>(width) - 1);
    field.fill(0);
    std::copy_n(text.utf16(), count, field.begin());
}

// 8-bit field: the text and its NUL, cut at the field width (a text that fills the field loses
// its NUL); the rest is zero.
template <std::size_t N>
void setText(std::array<char, N>& field, int width, QStringView text) {
    QByteArray bytes = encodeCp1252(text);
    bytes.append('\0');
    field.fill(0);
    std::copy_n(bytes.constData(), std::min<qsizetype>(bytes.size(), width), field.begin());
}

template <std::size_t N>
QString fieldText(const std::array<char16_t, N>& field) {
    const auto end = std::find(field.begin(), field.end(), u'\0');
    return QString::fromUtf16(field.data(), end - field.begin());
}

template <std::size_t N>
QString fieldText(const std::array<char, N>& field) {
    const auto end = std::find(field.begin(), field.end(), '\0');
    return decodeCp1252(QByteArrayView(field.data(), end - field.begin()));
}

}  // namespace

frmSysTray::frmSysTray(TrayShell& shell, SysTrayEvents& owner, std::uint32_t platformVersion,
                       const QString& fileDescription)
    : shell_(shell), owner_(owner) {
    const std::uint32_t major = platformVersion & 0xFF;
    const std::uint32_t minor = (platformVersion >> 8) & 0xFF;
    const bool win9x = (platformVersion & 0x80000000u) != 0;
    unicode_ = !win9x;
    balloons_ = (!win9x && major >= 5) || (win9x && major == 4 && minor == 90);

    nid_.hWnd = shell_.windowHandle();
    nid_.hIcon = shell_.windowIcon();
    nid_.uID = static_cast<std::uint32_t>(nid_.hIcon);
    nid_.uFlags = nif::kMessage | nif::kIcon | nif::kTip;
    nid_.uCallbackMessage = kMouseMove;
    if (unicode_) {
        setText(nid_.szTip16, tipWidth(balloons_), fileDescription);
    } else {
        setText(nid_.szTip8, tipWidth(balloons_), fileDescription);
    }
    if (balloons_) nid_.uTimeoutOrVersion = kNotifyVersion;
    if (unicode_) {
        nid_.cbSize = balloons_ ? 936 : 152;
    } else {
        nid_.cbSize = balloons_ ? 488 : 88;
    }

    shell_.notifyIcon(NotifyCommand::Add, nid_, unicode_);
    if (balloons_) shell_.notifyIcon(NotifyCommand::SetVersion, nid_, unicode_);

    items_.resize(1);  // item 0 is there before anything is added, hidden
}

frmSysTray::~frmSysTray() { close(); }

void frmSysTray::ShowBalloonTip(const QString& sMessage, const QString& sTitle, std::int32_t eIcon,
                                std::int32_t lTimeOutMs) {
    if (!balloons_) return;
    if (unicode_) {
        setText(nid_.szInfo16, 256, sMessage);
        setText(nid_.szInfoTitle16, 64, sTitle);
    } else {
        setText(nid_.szInfo8, 256, sMessage);
        setText(nid_.szInfoTitle8, 64, sTitle);
    }
    nid_.uTimeoutOrVersion = static_cast<std::uint32_t>(lTimeOutMs);
    nid_.dwInfoFlags = static_cast<std::uint32_t>(eIcon);
    modify(nif::kInfo);
}

QString frmSysTray::ToolTip() const {
    return unicode_ ? fieldText(nid_.szTip16) : fieldText(nid_.szTip8);
}

void frmSysTray::setToolTip(const QString& sTip) {
    if (unicode_) {
        setText(nid_.szTip16, tipWidth(balloons_), sTip);
    } else {
        // The 8-bit variant spares the shell a modify that would change nothing.
        auto tip = nid_.szTip8;
        setText(tip, tipWidth(balloons_), sTip);
        if (tip == nid_.szTip8) return;
        nid_.szTip8 = tip;
    }
    modify(nif::kTip);
}

std::uintptr_t frmSysTray::IconHandle() const { return nid_.hIcon; }

void frmSysTray::setIconHandle(std::uintptr_t hIcon) {
    if (hIcon == nid_.hIcon) return;
    nid_.hIcon = hIcon;
    modify(nif::kIcon);
}

std::int32_t frmSysTray::AddMenuItem(const QString& sCaption, const QString& sKey, bool bDefault) {
    std::int32_t index = 0;
    if (!menuStarted_) {
        menuStarted_ = true;
    } else {
        index = static_cast<std::int32_t>(items_.size());
        items_.emplace_back();
    }
    TrayMenuItem& item = items_[static_cast<std::size_t>(index)];
    item.visible = true;
    item.key = sKey;
    item.caption = sCaption;
    if (bDefault) defaultIndex_ = index;
    return index;
}

bool frmSysTray::IsCheckedMenuItem(std::int32_t lIndex) const {
    return validIndex(lIndex) && items_[static_cast<std::size_t>(lIndex)].checked;
}

void frmSysTray::CheckMenuItem(std::int32_t lIndex, bool bState) {
    if (!validIndex(lIndex)) return;
    items_[static_cast<std::size_t>(lIndex)].checked = bState;
    items_[static_cast<std::size_t>(lIndex)].checkable = true;
}

void frmSysTray::EnableMenuItem(std::int32_t lIndex, bool bState) {
    if (validIndex(lIndex)) items_[static_cast<std::size_t>(lIndex)].enabled = bState;
}

std::int32_t frmSysTray::RemoveMenuItem(std::int32_t iIndex) {
    if (!validIndex(iIndex)) return 0;
    const auto k = static_cast<std::size_t>(iIndex);
    if (k == 0) {
        // Item 0 can never be destroyed.
        items_[0].caption.clear();
        return 0;
    }
    // Only caption and key move down; checked and enabled stay with their places.
    for (std::size_t i = k + 1; i < items_.size(); ++i) {
        items_[i - 1].caption = items_[i].caption;
        items_[i - 1].key = items_[i].key;
    }
    items_.pop_back();
    return 0;
}

void frmSysTray::setDefaultMenuIndex(std::int32_t lIndex) {
    defaultIndex_ = validIndex(lIndex) ? lIndex : 0;
}

void frmSysTray::ShowMenu() {
    // Without the foreground the menu would stay open when the user clicks elsewhere.
    shell_.setForegroundWindow(nid_.hWnd);
    const int chosen = shell_.popupMenu(items_, defaultIndex_);
    if (!validIndex(chosen)) return;
    owner_.MenuClick(chosen, items_[static_cast<std::size_t>(chosen)].key);
}

void frmSysTray::handleCallback(std::uint32_t code) {
    switch (code) {
        case kLeftDown:
            owner_.SysTrayMouseDown(kLeftButton);
            break;
        case kRightDown:
            owner_.SysTrayMouseDown(kRightButton);
            break;
        case kLeftUp:
            owner_.SysTrayMouseUp(kLeftButton);
            break;
        case kRightUp:
            owner_.SysTrayMouseUp(kRightButton);
            break;
        case kMouseMove:
            owner_.SysTrayMouseMove();
            break;
        case kLeftDoubleClick:
            owner_.SysTrayDoubleClick(kLeftButton);
            break;
        case kRightDoubleClick:
            owner_.SysTrayDoubleClick(kRightButton);
            break;
        case kBalloonShow:
            owner_.BalloonShow();
            break;
        case kBalloonHide:
            owner_.BalloonHide();
            break;
        case kBalloonTimeOut:
            owner_.BalloonTimeOut();
            break;
        case kBalloonClicked:
            owner_.BalloonClicked();
            break;
        default:
            break;  // middle button and anything else
    }
}

void frmSysTray::close() {
    if (closed_) return;
    closed_ = true;
    shell_.notifyIcon(NotifyCommand::Delete, nid_, unicode_);
}

bool frmSysTray::validIndex(std::int32_t index) const {
    return index >= 0 && static_cast<std::size_t>(index) < items_.size();
}

void frmSysTray::modify(std::uint32_t flags) {
    nid_.uFlags = flags;
    shell_.notifyIcon(NotifyCommand::Modify, nid_, unicode_);
}

}  // namespace vqs
