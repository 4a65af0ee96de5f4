#include "gui/shell/sys_tray.h"

namespace vqs {

frmSysTray::frmSysTray(TrayShell& shell, SysTrayEvents& owner, const QIcon& icon,
                       const QString& toolTip)
    : shell_(shell), owner_(owner), icon_(icon), toolTip_(toolTip.left(kMaxToolTipLength)) {
    shell_.setIcon(icon_);
    shell_.setToolTip(toolTip_);
    shell_.showIcon();
    items_.resize(1);  // item 0 is there before anything is added, hidden
}

frmSysTray::~frmSysTray() { close(); }

void frmSysTray::ShowBalloonTip(const QString& message, const QString& title,
                                QSystemTrayIcon::MessageIcon icon, int timeoutMs) {
    shell_.showMessage(title, message, icon, timeoutMs);
}

void frmSysTray::setToolTip(const QString& tip) {
    // The main window sets its tip at every refresh; the desktop hears only of a change.
    const QString cut = tip.left(kMaxToolTipLength);
    if (cut == toolTip_) return;
    toolTip_ = cut;
    shell_.setToolTip(toolTip_);
}

void frmSysTray::setIcon(const QIcon& icon) {
    if (icon.cacheKey() == icon_.cacheKey()) return;
    icon_ = icon;
    shell_.setIcon(icon_);
}

std::int32_t frmSysTray::AddMenuItem(const QString& caption, const QString& key, bool isDefault) {
    std::int32_t index = 0;
    if (!menuStarted_) {
        menuStarted_ = true;
    } else {
        index = static_cast<std::int32_t>(items_.size());
        items_.emplace_back();
    }
    TrayMenuItem& item = items_[static_cast<std::size_t>(index)];
    item.visible = true;
    item.key = key;
    item.caption = caption;
    if (isDefault) defaultIndex_ = index;
    return index;
}

bool frmSysTray::IsCheckedMenuItem(std::int32_t index) const {
    return validIndex(index) && items_[static_cast<std::size_t>(index)].checked;
}

void frmSysTray::CheckMenuItem(std::int32_t index, bool checked) {
    if (!validIndex(index)) return;
    items_[static_cast<std::size_t>(index)].checked = checked;
    items_[static_cast<std::size_t>(index)].checkable = true;
}

void frmSysTray::EnableMenuItem(std::int32_t index, bool enabled) {
    if (validIndex(index)) items_[static_cast<std::size_t>(index)].enabled = enabled;
}

std::int32_t frmSysTray::RemoveMenuItem(std::int32_t index) {
    if (!validIndex(index)) return 0;
    const auto k = static_cast<std::size_t>(index);
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

void frmSysTray::setDefaultMenuIndex(std::int32_t index) {
    defaultIndex_ = validIndex(index) ? index : 0;
}

void frmSysTray::ShowMenu() {
    const int chosen = shell_.popupMenu(items_, defaultIndex_);
    if (!validIndex(chosen)) return;
    owner_.MenuClick(chosen, items_[static_cast<std::size_t>(chosen)].key);
}

void frmSysTray::activated(QSystemTrayIcon::ActivationReason reason) {
    // The desktop reports whole clicks; the owner hears of the button going down, then up.
    switch (reason) {
        case QSystemTrayIcon::Trigger:
            owner_.SysTrayMouseDown(TrayButton::kLeft);
            owner_.SysTrayMouseUp(TrayButton::kLeft);
            break;
        case QSystemTrayIcon::Context:
            owner_.SysTrayMouseDown(TrayButton::kRight);
            owner_.SysTrayMouseUp(TrayButton::kRight);
            break;
        case QSystemTrayIcon::DoubleClick:
            owner_.SysTrayDoubleClick(TrayButton::kLeft);
            break;
        default:
            break;  // the middle button and anything unknown
    }
}

void frmSysTray::messageClicked() { owner_.BalloonClicked(); }

void frmSysTray::close() {
    if (closed_) return;
    closed_ = true;
    shell_.hideIcon();
}

bool frmSysTray::validIndex(std::int32_t index) const {
    return index >= 0 && static_cast<std::size_t>(index) < items_.size();
}

}  // namespace vqs
