#pragma once

#include "gui/shell/sys_tray.h"

#include <QString>

#include <cstdint>
#include <vector>

namespace vqs::test {

// Records every notify command with a copy of the record as it was sent, and every popup with
// the menu as it was shown; the popup answers with the prepared choice.
class FakeTrayShell final : public TrayShell {
public:
    struct Notify {
        NotifyCommand command;
        NotifyIconData data;
        bool unicode;
    };
    struct Popup {
        std::vector<TrayMenuItem> items;
        int defaultIndex;
        std::uintptr_t foreground;  // the window brought to the foreground before the popup
    };

    std::uintptr_t windowHandle() const override { return hWnd; }
    std::uintptr_t windowIcon() const override { return hIcon; }
    bool notifyIcon(NotifyCommand command, const NotifyIconData& data, bool unicode) override {
        notifies.push_back({command, data, unicode});
        return true;
    }
    void setForegroundWindow(std::uintptr_t window) override { foreground = window; }
    int popupMenu(const std::vector<TrayMenuItem>& items, int defaultIndex) override {
        popups.push_back({items, defaultIndex, foreground});
        return choice;
    }

    std::uintptr_t hWnd = 0x10A2;
    std::uintptr_t hIcon = 0x2B04;
    int choice = -1;
    std::uintptr_t foreground = 0;
    std::vector<Notify> notifies;
    std::vector<Popup> popups;
};

}  // namespace vqs::test
