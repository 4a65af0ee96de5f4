#include "gui/shell/sys_tray.h"

#include "gui/shell/fake_tray_shell.h"

#include <gtest/gtest.h>

#include <QPixmap>

#include <algorithm>
#include <string>
#include <vector>

namespace vqs {
namespace {

using test::FakeTrayShell;

class RecordingOwner final : public SysTrayEvents {
public:
    void MenuClick(std::int32_t index, const QString& key) override {
        events.push_back("MenuClick " + std::to_string(index) + " " + key.toStdString());
    }
    void SysTrayMouseDown(TrayButton b) override { add("MouseDown", b); }
    void SysTrayMouseUp(TrayButton b) override { add("MouseUp", b); }
    void SysTrayDoubleClick(TrayButton b) override { add("DoubleClick", b); }
    void BalloonClicked() override { events.push_back("BalloonClicked"); }

    std::vector<std::string> events;

private:
    void add(const char* name, TrayButton button) {
        events.push_back(std::string(name) + (button == TrayButton::kLeft ? " left" : " right"));
    }
};

// 'a'..'z' over and over, so a cut at the wrong place shows.
QString letters(int count, char first = 'a') {
    QString s;
    for (int i = 0; i < count; ++i) s += QChar(u'a' + (first - 'a' + i) % 26);
    return s;
}

QIcon filled(Qt::GlobalColor color) {
    QPixmap pixmap(16, 16);
    pixmap.fill(color);
    return QIcon(pixmap);
}

std::vector<std::string> captionsAndKeys(const std::vector<TrayMenuItem>& items) {
    std::vector<std::string> out;
    for (const TrayMenuItem& item : items) {
        out.push_back(item.caption.toStdString() + "|" + item.key.toStdString());
    }
    return out;
}

class SysTrayTest : public ::testing::Test {
protected:
    FakeTrayShell shell_;
    RecordingOwner owner_;
};

TEST_F(SysTrayTest, LoadShowsTheIconWithItsPictureAndTip) {
    const QIcon icon = filled(Qt::red);
    frmSysTray tray(shell_, owner_, icon, QStringLiteral("Tradomir VQS"));
    EXPECT_EQ(shell_.calls, (std::vector<std::string>{"icon", "tip Tradomir VQS", "show"}));
    EXPECT_TRUE(shell_.visible);
    EXPECT_EQ(shell_.icon.cacheKey(), icon.cacheKey());
    EXPECT_EQ(tray.ToolTip(), QStringLiteral("Tradomir VQS"));
    EXPECT_EQ(tray.icon().cacheKey(), icon.cacheKey());
    EXPECT_TRUE(owner_.events.empty());
}

TEST_F(SysTrayTest, LongTipIsCutAndOnlyAChangeIsSent) {
    const QString description = letters(200);
    frmSysTray tray(shell_, owner_, QIcon(), description);
    EXPECT_EQ(shell_.toolTip, description.left(127));
    EXPECT_EQ(tray.ToolTip(), description.left(127));

    const struct {
        const char* name;
        QString tip;
        bool sent;
    } steps[] = {
        {"the loaded tip", description, false},
        {"a new tip", QStringLiteral("neu\nzweite Zeile"), true},
        {"the same again", QStringLiteral("neu\nzweite Zeile"), false},
        {"a long one", letters(200, 'n'), true},
        {"the long one, the same where it is cut", letters(127, 'n') + "xyz", false},
        {"empty", QString(), true},
    };
    for (const auto& step : steps) {
        SCOPED_TRACE(step.name);
        shell_.calls.clear();
        tray.setToolTip(step.tip);
        EXPECT_EQ(tray.ToolTip(), step.tip.left(127));
        EXPECT_EQ(shell_.toolTip, step.tip.left(127));
        EXPECT_EQ(shell_.calls.size(), step.sent ? 1u : 0u);
    }
}

TEST_F(SysTrayTest, IconIsSentOnlyWhenItChanges) {
    const QIcon red = filled(Qt::red);
    frmSysTray tray(shell_, owner_, red, QString());
    shell_.calls.clear();
    tray.setIcon(red);
    EXPECT_TRUE(shell_.calls.empty());

    const QIcon blue = filled(Qt::blue);
    tray.setIcon(blue);
    EXPECT_EQ(shell_.calls, std::vector<std::string>{"icon"});
    EXPECT_EQ(shell_.icon.cacheKey(), blue.cacheKey());
    EXPECT_EQ(tray.icon().cacheKey(), blue.cacheKey());
}

TEST_F(SysTrayTest, BalloonTipGoesToTheShellWithItsTitleIconAndTimeout) {
    frmSysTray tray(shell_, owner_, QIcon(), QString());
    tray.ShowBalloonTip(QStringLiteral("Schreibfehler"), QStringLiteral("Tradomir VQS"),
                        QSystemTrayIcon::Warning, 15000);
    tray.ShowBalloonTip(QStringLiteral("Nur Text"));
    ASSERT_EQ(shell_.messages.size(), 2u);
    EXPECT_EQ(shell_.messages[0].title, QStringLiteral("Tradomir VQS"));
    EXPECT_EQ(shell_.messages[0].message, QStringLiteral("Schreibfehler"));
    EXPECT_EQ(shell_.messages[0].icon, QSystemTrayIcon::Warning);
    EXPECT_EQ(shell_.messages[0].timeoutMs, 15000);
    EXPECT_EQ(shell_.messages[1].title, QString());
    EXPECT_EQ(shell_.messages[1].icon, QSystemTrayIcon::NoIcon);
    EXPECT_EQ(shell_.messages[1].timeoutMs, 10000);
    EXPECT_TRUE(owner_.events.empty());
}

TEST_F(SysTrayTest, WhatTheIconReportsBecomesEvents) {
    using R = QSystemTrayIcon::ActivationReason;
    const struct {
        const char* name;
        std::vector<R> reasons;
        bool balloonClicked;
        std::vector<std::string> events;
    } cases[] = {
        {"click", {R::Trigger}, false, {"MouseDown left", "MouseUp left"}},
        {"right click", {R::Context}, false, {"MouseDown right", "MouseUp right"}},
        {"double click", {R::DoubleClick}, false, {"DoubleClick left"}},
        {"middle button and unknown", {R::MiddleClick, R::Unknown}, false, {}},
        {"balloon clicked", {}, true, {"BalloonClicked"}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        RecordingOwner events;
        frmSysTray tray(shell_, events, QIcon(), QString());
        for (R reason : c.reasons) tray.activated(reason);
        if (c.balloonClicked) tray.messageClicked();
        EXPECT_EQ(events.events, c.events);
    }
}

TEST_F(SysTrayTest, MenuItemsAreNumberedFromTheDesignItem) {
    frmSysTray tray(shell_, owner_, QIcon(), QString());
    ASSERT_EQ(tray.menuItems().size(), 1u);
    EXPECT_FALSE(tray.menuItems()[0].visible);

    EXPECT_EQ(tray.AddMenuItem(QStringLiteral("&Anzeigen"), QStringLiteral("Open")), 0);
    EXPECT_EQ(tray.AddMenuItem(QStringLiteral("-")), 1);
    EXPECT_EQ(tray.AddMenuItem(QStringLiteral("&Beenden"), QStringLiteral("Beenden"), true), 2);
    EXPECT_EQ(tray.DefaultMenuIndex(), 2);
    for (const TrayMenuItem& item : tray.menuItems()) EXPECT_TRUE(item.visible);

    tray.ShowMenu();
    ASSERT_EQ(shell_.popups.size(), 1u);
    EXPECT_EQ(shell_.popups[0].defaultIndex, 2);
    EXPECT_EQ(captionsAndKeys(shell_.popups[0].items),
              (std::vector<std::string>{"&Anzeigen|Open", "-|", "&Beenden|Beenden"}));
}

TEST_F(SysTrayTest, DefaultMenuIndexTakesOnlyValidIndices) {
    struct Case {
        std::int32_t set;
        std::int32_t expected;
    } cases[] = {{1, 1}, {2, 2}, {3, 0}, {100, 0}, {-1, 0}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.set);
        FakeTrayShell fake;
        frmSysTray tray(fake, owner_, QIcon(), QString());
        for (const char* caption : {"a", "b", "c"}) tray.AddMenuItem(caption);
        tray.setDefaultMenuIndex(1);
        tray.setDefaultMenuIndex(c.set);
        EXPECT_EQ(tray.DefaultMenuIndex(), c.expected);
        tray.ShowMenu();
        EXPECT_EQ(fake.popups.at(0).defaultIndex, c.expected);
    }
}

TEST_F(SysTrayTest, RemoveMenuItemShiftsCaptionsAndKeys) {
    struct Case {
        const char* name;
        std::int32_t index;
        std::vector<std::string> left;
    } cases[] = {
        {"middle item", 2, {"A|a", "B|b", "D|d", "E|e"}},
        {"last item", 4, {"A|a", "B|b", "C|c", "D|d"}},
        {"design item only loses its caption", 0, {"|a", "B|b", "C|c", "D|d", "E|e"}},
        {"below the first", -1, {"A|a", "B|b", "C|c", "D|d", "E|e"}},
        {"beyond the last", 5, {"A|a", "B|b", "C|c", "D|d", "E|e"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        FakeTrayShell fake;
        frmSysTray tray(fake, owner_, QIcon(), QString());
        for (const char* name : {"A", "B", "C", "D", "E"}) {
            tray.AddMenuItem(name, QString::fromLatin1(name).toLower());
        }
        tray.setDefaultMenuIndex(4);
        EXPECT_EQ(tray.RemoveMenuItem(c.index), 0);
        EXPECT_EQ(captionsAndKeys(tray.menuItems()), c.left);
        EXPECT_EQ(tray.DefaultMenuIndex(), 4);  // left as it was, even when now beyond the end
    }
}

TEST_F(SysTrayTest, CheckedAndEnabledStayWithTheirPlaceOnRemove) {
    frmSysTray tray(shell_, owner_, QIcon(), QString());
    for (const char* name : {"A", "B", "C", "D"}) tray.AddMenuItem(name);
    tray.CheckMenuItem(2, true);
    tray.EnableMenuItem(3, false);
    tray.RemoveMenuItem(1);
    ASSERT_EQ(tray.menuItems().size(), 3u);
    EXPECT_EQ(tray.menuItems()[2].caption, QStringLiteral("D"));
    EXPECT_TRUE(tray.IsCheckedMenuItem(2));
    EXPECT_TRUE(tray.menuItems()[2].enabled);
}

TEST_F(SysTrayTest, InvalidMenuIndicesDoNothing) {
    frmSysTray tray(shell_, owner_, QIcon(), QString());
    // Before anything is added, the design item is already a valid index.
    tray.CheckMenuItem(0, true);
    EXPECT_TRUE(tray.IsCheckedMenuItem(0));

    tray.AddMenuItem(QStringLiteral("A"), QStringLiteral("a"));
    tray.AddMenuItem(QStringLiteral("B"), QStringLiteral("b"));
    for (std::int32_t index : {-1, 2, 1000}) {
        SCOPED_TRACE(index);
        tray.CheckMenuItem(index, true);
        tray.EnableMenuItem(index, false);
        EXPECT_FALSE(tray.IsCheckedMenuItem(index));
        EXPECT_EQ(tray.RemoveMenuItem(index), 0);
        ASSERT_EQ(tray.menuItems().size(), 2u);
        EXPECT_FALSE(tray.menuItems()[1].checked);
        EXPECT_TRUE(tray.menuItems()[1].enabled);
        EXPECT_TRUE(tray.menuItems()[0].enabled);
    }
    tray.CheckMenuItem(1, true);
    tray.EnableMenuItem(1, false);
    EXPECT_TRUE(tray.IsCheckedMenuItem(1));
    EXPECT_FALSE(tray.menuItems()[1].enabled);
    tray.CheckMenuItem(1, false);
    EXPECT_FALSE(tray.IsCheckedMenuItem(1));
}

TEST_F(SysTrayTest, ShowMenuRaisesMenuClickForTheChosenItem) {
    struct Case {
        int choice;
        std::vector<std::string> events;
    } cases[] = {{1, {"MenuClick 1 Verwaltung"}}, {2, {"MenuClick 2 "}}, {-1, {}}, {7, {}}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.choice);
        FakeTrayShell fake;
        RecordingOwner events;
        frmSysTray tray(fake, events, QIcon(), QString());
        tray.AddMenuItem(QStringLiteral("&Titelauswahl..."), QStringLiteral("Titelauswahl"));
        tray.AddMenuItem(QStringLiteral("&Verwaltung..."), QStringLiteral("Verwaltung"));
        tray.AddMenuItem(QStringLiteral("-"));
        fake.choice = c.choice;
        tray.ShowMenu();
        ASSERT_EQ(fake.popups.size(), 1u);
        EXPECT_EQ(events.events, c.events);
    }
}

TEST_F(SysTrayTest, CloseHidesTheIconOnce) {
    {
        frmSysTray tray(shell_, owner_, QIcon(), QStringLiteral("VQS"));
        tray.setToolTip(QStringLiteral("Tip"));
        tray.close();
        EXPECT_FALSE(shell_.visible);
        EXPECT_EQ(shell_.calls.back(), "hide");
    }
    EXPECT_EQ(std::count(shell_.calls.begin(), shell_.calls.end(), "hide"), 1);

    FakeTrayShell other;
    { frmSysTray tray(other, owner_, QIcon(), QString()); }
    EXPECT_EQ(std::count(other.calls.begin(), other.calls.end(), "hide"), 1);
    EXPECT_FALSE(other.visible);
}

}  // namespace
}  // namespace vqs
