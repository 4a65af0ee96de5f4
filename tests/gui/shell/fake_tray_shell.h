#pragma once

#include "gui/shell/sys_tray.h"

#include <QString>

#include <string>
#include <vector>

namespace vqs::test {

// Records every call in order ("show", "hide", "icon", "tip <text>", "message <title>|<text>",
// "popup") with the state it leaves, and every popup with the menu as it was shown; the popup
// answers with the prepared choice.
class FakeTrayShell final : public TrayShell {
public:
    struct Message {
        QString title;
        QString message;
        QSystemTrayIcon::MessageIcon icon;
        int timeoutMs;
    };
    struct Popup {
        std::vector<TrayMenuItem> items;
        int defaultIndex;
    };

    void showIcon() override {
        visible = true;
        calls.push_back("show");
    }
    void hideIcon() override {
        visible = false;
        calls.push_back("hide");
    }
    void setIcon(const QIcon& newIcon) override {
        icon = newIcon;
        calls.push_back("icon");
    }
    void setToolTip(const QString& tip) override {
        toolTip = tip;
        calls.push_back("tip " + tip.toStdString());
    }
    void showMessage(const QString& title, const QString& message,
                     QSystemTrayIcon::MessageIcon messageIcon, int timeoutMs) override {
        messages.push_back({title, message, messageIcon, timeoutMs});
        calls.push_back("message " + title.toStdString() + "|" + message.toStdString());
    }
    int popupMenu(const std::vector<TrayMenuItem>& items, int defaultIndex) override {
        popups.push_back({items, defaultIndex});
        calls.push_back("popup");
        return choice;
    }

    int choice = -1;
    bool visible = false;
    QIcon icon;
    QString toolTip;
    std::vector<std::string> calls;
    std::vector<Message> messages;
    std::vector<Popup> popups;
};

}  // namespace vqs::test
