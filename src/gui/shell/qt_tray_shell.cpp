#include "gui/shell/qt_tray_shell.h"

#include "common/cp1252.h"

#include <QAction>
#include <QCursor>
#include <QMenu>
#include <QSystemTrayIcon>

#include <algorithm>

namespace vqs {
namespace {

using namespace notify;

// The size field tells which layout the record has: the two small ones have a 64-character tip
// and no balloon fields.
bool withBalloons(const NotifyIconData& data) { return data.cbSize >= 488; }
int tipWidth(const NotifyIconData& data) { return withBalloons(data) ? 128 : 64; }

// Like the shell, read at most one short of the field, whether or not the text has its NUL.
template <std::size_t N>
QString text(const std::array<char16_t, N>& field, int width) {
    const auto last = field.begin() + std::min<std::size_t>(N, width - 1);
    return QString::fromUtf16(field.data(), std::find(field.begin(), last, u'\0') - field.begin());
}

template <std::size_t N>
QString text(const std::array<char, N>& field, int width) {
    const auto last = field.begin() + std::min<std::size_t>(N, width - 1);
    return decodeCp1252(
        QByteArrayView(field.data(), std::find(field.begin(), last, '\0') - field.begin()));
}

QSystemTrayIcon::MessageIcon balloonIcon(std::uint32_t infoFlags) {
    switch (infoFlags & 0x0F) {  // the upper bits are options such as "no sound"
        case 1:
            return QSystemTrayIcon::Information;
        case 2:
            return QSystemTrayIcon::Warning;
        case 3:
            return QSystemTrayIcon::Critical;
        default:
            return QSystemTrayIcon::NoIcon;
    }
}

}  // namespace

QtTrayShell::QtTrayShell(const QIcon& windowIcon, QObject* parent)
    : QObject(parent), icon_(new QSystemTrayIcon(this)) {
    icons_[kWindowIcon] = windowIcon;
    connect(icon_, &QSystemTrayIcon::activated, this,
            [this](QSystemTrayIcon::ActivationReason reason) {
                // Qt reports whole clicks; the component expects button down, then up.
                switch (reason) {
                    case QSystemTrayIcon::Trigger:
                        deliver(kLeftDown);
                        deliver(kLeftUp);
                        break;
                    case QSystemTrayIcon::Context:
                        deliver(kRightDown);
                        deliver(kRightUp);
                        break;
                    case QSystemTrayIcon::DoubleClick:
                        deliver(kLeftDoubleClick);
                        break;
                    default:
                        break;
                }
            });
    connect(icon_, &QSystemTrayIcon::messageClicked, this, [this] { deliver(kBalloonClicked); });
}

bool QtTrayShell::available() const { return QSystemTrayIcon::isSystemTrayAvailable(); }

std::uintptr_t QtTrayShell::addIcon(const QIcon& icon) {
    const std::uintptr_t handle = icons_.rbegin()->first + 1;
    icons_[handle] = icon;
    return handle;
}

void QtTrayShell::setCallback(std::function<void(std::uint32_t)> callback) {
    callback_ = std::move(callback);
}

std::uintptr_t QtTrayShell::windowHandle() const {
    // There is no hidden window; the shell itself stands for it.
    return reinterpret_cast<std::uintptr_t>(this);
}

std::uintptr_t QtTrayShell::windowIcon() const { return kWindowIcon; }

bool QtTrayShell::notifyIcon(NotifyCommand command, const NotifyIconData& data, bool unicode) {
    if (command == NotifyCommand::Delete) {
        icon_->hide();
        return true;
    }
    if (command != NotifyCommand::Add && command != NotifyCommand::Modify) return true;

    if (data.uFlags & nif::kIcon) {
        const auto it = icons_.find(data.hIcon);
        icon_->setIcon(it == icons_.end() ? QIcon() : it->second);
    }
    if (data.uFlags & nif::kTip) {
        icon_->setToolTip(unicode ? text(data.szTip16, tipWidth(data))
                                  : text(data.szTip8, tipWidth(data)));
    }
    if (command == NotifyCommand::Add) icon_->show();
    if ((data.uFlags & nif::kInfo) && withBalloons(data)) {
        const QString message = unicode ? text(data.szInfo16, 256) : text(data.szInfo8, 256);
        const QString title = unicode ? text(data.szInfoTitle16, 64) : text(data.szInfoTitle8, 64);
        // The shell keeps a balloon between 10 and 30 seconds, whatever the record asks for.
        const auto timeout =
            static_cast<int>(std::clamp<std::uint32_t>(data.uTimeoutOrVersion, 10000, 30000));
        icon_->showMessage(title, message, balloonIcon(data.dwInfoFlags), timeout);
    }
    return true;
}

void QtTrayShell::setForegroundWindow(std::uintptr_t /*hWnd*/) {
    // QMenu::exec grabs the input itself and closes on a click elsewhere.
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

void QtTrayShell::deliver(std::uint32_t code) const {
    if (callback_) callback_(code);
}

}  // namespace vqs
