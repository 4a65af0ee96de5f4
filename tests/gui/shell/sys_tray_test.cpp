#include "gui/shell/sys_tray.h"

#include "gui/shell/fake_tray_shell.h"

#include <gtest/gtest.h>

#include <string>
#include <type_traits>
#include <vector>

namespace vqs {
namespace {

using test::FakeTrayShell;

// Platform versions as the system reports them: major in the low byte, minor in the next one,
// the high bit for the 9x line.
constexpr std::uint32_t kWin98 = 0xC0000A04;       // 9x 4.10
constexpr std::uint32_t kWinMe = 0xC0005A04;       // 9x 4.90: 8-bit, but with balloons
constexpr std::uint32_t kNt4 = 0x05650004;         // NT 4.0
constexpr std::uint32_t kWinXp = 0x0A280105;       // NT 5.1
constexpr std::uint32_t kNt4Minor90 = 0x00005A04;  // minor 90 only counts on 9x
constexpr std::uint32_t k9xMajor5 = 0x80000005;    // major 5 only counts on NT

class RecordingOwner final : public SysTrayEvents {
public:
    void MenuClick(std::int32_t lIndex, const QString& sKey) override {
        events.push_back("MenuClick " + std::to_string(lIndex) + " " + sKey.toStdString());
    }
    void SysTrayMouseDown(std::int32_t b) override { add("MouseDown", b); }
    void SysTrayMouseUp(std::int32_t b) override { add("MouseUp", b); }
    void SysTrayMouseMove() override { events.push_back("MouseMove"); }
    void SysTrayDoubleClick(std::int32_t b) override { add("DoubleClick", b); }
    void BalloonShow() override { events.push_back("BalloonShow"); }
    void BalloonHide() override { events.push_back("BalloonHide"); }
    void BalloonTimeOut() override { events.push_back("BalloonTimeOut"); }
    void BalloonClicked() override { events.push_back("BalloonClicked"); }

    std::vector<std::string> events;

private:
    void add(const char* name, std::int32_t button) {
        events.push_back(std::string(name) + " " + std::to_string(button));
    }
};

// 'a'..'z' over and over, so a cut at the wrong place shows.
QString letters(int count, char first = 'a') {
    QString s;
    for (int i = 0; i < count; ++i) s += QChar(u'a' + (first - 'a' + i) % 26);
    return s;
}

// The field holds the first `count` characters of text, then zeros up to its end.
template <typename Field>
::testing::AssertionResult holds(const Field& field, const QString& text, int count) {
    for (int i = 0; i < static_cast<int>(field.size()); ++i) {
        const auto unit = static_cast<char16_t>(
            static_cast<std::make_unsigned_t<typename Field::value_type>>(field[i]));
        const char16_t expected = i < count ? text[i].unicode() : u'\0';
        if (unit != expected) {
            return ::testing::AssertionFailure()
                   << "at " << i << ": " << int(unit) << " instead of " << int(expected);
        }
    }
    return ::testing::AssertionSuccess();
}

int countOf(const FakeTrayShell& shell, NotifyCommand command) {
    int n = 0;
    for (const auto& notify : shell.notifies) n += notify.command == command;
    return n;
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
    FakeTrayShell shell;
    RecordingOwner owner;
};

TEST_F(SysTrayTest, LoadChoosesTheRecordAndAddsTheIcon) {
    struct Case {
        const char* name;
        std::uint32_t version;
        bool unicode;
        bool balloons;
        std::uint32_t cbSize;
    } cases[] = {
        {"Windows 98", kWin98, false, false, 88},
        {"NT 4", kNt4, true, false, 152},
        {"Windows Me", kWinMe, false, true, 488},
        {"Windows XP", kWinXp, true, true, 936},
        {"NT with minor 90", kNt4Minor90, true, false, 152},
        {"9x with major 5", k9xMajor5, false, false, 88},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        FakeTrayShell fake;
        frmSysTray tray(fake, owner, c.version, QStringLiteral("Tradomir VQS"));
        EXPECT_EQ(tray.unicode(), c.unicode);
        EXPECT_EQ(tray.balloons(), c.balloons);

        // Add, and with balloons the version that makes the shell report balloon events.
        std::vector<NotifyCommand> expected{NotifyCommand::Add};
        if (c.balloons) expected.push_back(NotifyCommand::SetVersion);
        ASSERT_EQ(fake.notifies.size(), expected.size());
        for (std::size_t i = 0; i < expected.size(); ++i) {
            const FakeTrayShell::Notify& sent = fake.notifies[i];
            EXPECT_EQ(sent.command, expected[i]);
            EXPECT_EQ(sent.unicode, c.unicode);
            EXPECT_EQ(sent.data.cbSize, c.cbSize);
            EXPECT_EQ(sent.data.hWnd, fake.hWnd);
            EXPECT_EQ(sent.data.uID, fake.hIcon);
            EXPECT_EQ(sent.data.hIcon, fake.hIcon);
            EXPECT_EQ(sent.data.uFlags, nif::kMessage | nif::kIcon | nif::kTip);
            EXPECT_EQ(sent.data.uCallbackMessage, 512u);
            EXPECT_EQ(sent.data.uTimeoutOrVersion, c.balloons ? 3u : 0u);
        }
        EXPECT_EQ(tray.ToolTip(), QStringLiteral("Tradomir VQS"));
        EXPECT_EQ(tray.IconHandle(), fake.hIcon);
    }
}

TEST_F(SysTrayTest, LongTipIsCutToTheField) {
    // The UTF-16 record always keeps its NUL; the 8-bit one is cut at the field width.
    struct Case {
        const char* name;
        std::uint32_t version;
        int kept;
    } cases[] = {
        {"UTF-16 with balloons", kWinXp, 127},
        {"UTF-16 without balloons", kNt4, 63},
        {"8-bit with balloons", kWinMe, 128},
        {"8-bit without balloons", kWin98, 64},
    };
    const QString description = letters(200);
    const QString tip = letters(200, 'n');
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        FakeTrayShell fake;
        frmSysTray tray(fake, owner, c.version, description);
        const NotifyIconData& added = fake.notifies.front().data;
        EXPECT_TRUE(tray.unicode() ? holds(added.szTip16, description, c.kept)
                                   : holds(added.szTip8, description, c.kept));

        tray.setToolTip(tip);
        const FakeTrayShell::Notify& sent = fake.notifies.back();
        EXPECT_EQ(sent.command, NotifyCommand::Modify);
        EXPECT_EQ(sent.data.uFlags, nif::kTip);
        EXPECT_TRUE(tray.unicode() ? holds(sent.data.szTip16, tip, c.kept)
                                   : holds(sent.data.szTip8, tip, c.kept));
        EXPECT_EQ(tray.ToolTip(), tip.left(c.kept));
    }
}

TEST_F(SysTrayTest, EightBitTipIsWindows1252) {
    const QString tip = QStringLiteral("für 5 € Ω");
    frmSysTray narrow(shell, owner, kWin98, QString());
    narrow.setToolTip(tip);
    EXPECT_STREQ(shell.notifies.back().data.szTip8.data(), "f\xFCr 5 \x80 ?");
    EXPECT_EQ(narrow.ToolTip(), QStringLiteral("für 5 € ?"));

    FakeTrayShell wideShell;
    frmSysTray wide(wideShell, owner, kWinXp, QString());
    wide.setToolTip(tip);
    EXPECT_TRUE(holds(wideShell.notifies.back().data.szTip16, tip, tip.size()));
    EXPECT_EQ(wide.ToolTip(), tip);
}

TEST_F(SysTrayTest, UnchangedTipIsSentOnlyByTheUtf16Variant) {
    struct Case {
        const char* name;
        std::uint32_t version;
        int modifiesForTheLoadedTip;
        int modifiesForANewTipTwice;
    } cases[] = {
        {"Windows 98", kWin98, 0, 1},
        {"Windows Me", kWinMe, 0, 1},
        {"NT 4", kNt4, 1, 2},
        {"Windows XP", kWinXp, 1, 2},
    };
    const QString description = QStringLiteral("Tradomir VQS für Bravolt-API");
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        FakeTrayShell fake;
        frmSysTray tray(fake, owner, c.version, description);
        tray.setToolTip(description);
        EXPECT_EQ(countOf(fake, NotifyCommand::Modify), c.modifiesForTheLoadedTip);
        fake.notifies.clear();
        tray.setToolTip(QStringLiteral("neu"));
        tray.setToolTip(QStringLiteral("neu"));
        EXPECT_EQ(countOf(fake, NotifyCommand::Modify), c.modifiesForANewTipTwice);
        EXPECT_EQ(tray.ToolTip(), QStringLiteral("neu"));
    }
}

TEST_F(SysTrayTest, IconHandleIsSentOnlyWhenItChanges) {
    frmSysTray tray(shell, owner, kWinXp, QString());
    shell.notifies.clear();
    tray.setIconHandle(shell.hIcon);
    EXPECT_TRUE(shell.notifies.empty());

    tray.setIconHandle(0x7F01);
    ASSERT_EQ(shell.notifies.size(), 1u);
    EXPECT_EQ(shell.notifies[0].command, NotifyCommand::Modify);
    EXPECT_EQ(shell.notifies[0].data.uFlags, nif::kIcon);
    EXPECT_EQ(shell.notifies[0].data.hIcon, 0x7F01u);
    EXPECT_EQ(shell.notifies[0].data.uID, shell.hIcon);  // the ID stays
    EXPECT_EQ(tray.IconHandle(), 0x7F01u);
}

TEST_F(SysTrayTest, BalloonTipOnlyWhereTheShellHasBalloons) {
    struct Case {
        const char* name;
        std::uint32_t version;
        bool sent;
        int keptText;
        int keptTitle;
    } cases[] = {
        {"Windows XP", kWinXp, true, 255, 63},
        {"Windows Me", kWinMe, true, 256, 64},
        {"NT 4", kNt4, false, 0, 0},
        {"Windows 98", kWin98, false, 0, 0},
    };
    const QString text = letters(300);
    const QString title = letters(100, 'k');
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        FakeTrayShell fake;
        RecordingOwner events;
        frmSysTray tray(fake, events, c.version, QString());
        fake.notifies.clear();
        tray.ShowBalloonTip(text, title, 2, 15000);
        EXPECT_TRUE(events.events.empty());
        if (!c.sent) {
            EXPECT_TRUE(fake.notifies.empty());
            continue;
        }
        ASSERT_EQ(fake.notifies.size(), 1u);
        const NotifyIconData& d = fake.notifies[0].data;
        EXPECT_EQ(fake.notifies[0].command, NotifyCommand::Modify);
        EXPECT_EQ(d.uFlags, nif::kInfo);
        EXPECT_EQ(d.uTimeoutOrVersion, 15000u);
        EXPECT_EQ(d.dwInfoFlags, 2u);
        EXPECT_TRUE(tray.unicode() ? holds(d.szInfo16, text, c.keptText)
                                   : holds(d.szInfo8, text, c.keptText));
        EXPECT_TRUE(tray.unicode() ? holds(d.szInfoTitle16, title, c.keptTitle)
                                   : holds(d.szInfoTitle8, title, c.keptTitle));
    }
}

TEST_F(SysTrayTest, CallbackCodesBecomeOneEventEach) {
    struct Case {
        const char* name;
        std::vector<std::uint32_t> codes;
        std::vector<std::string> events;
    } cases[] = {
        {"left click", {513, 514}, {"MouseDown 1", "MouseUp 1"}},
        {"right click", {516, 517}, {"MouseDown 2", "MouseUp 2"}},
        {"double clicks", {515, 518}, {"DoubleClick 1", "DoubleClick 2"}},
        {"move", {512}, {"MouseMove"}},
        {"balloon",
         {1026, 1027, 1028, 1029},
         {"BalloonShow", "BalloonHide", "BalloonTimeOut", "BalloonClicked"}},
        {"middle button and other codes", {519, 520, 521, 522, 1024, 1025, 1030, 511, 0}, {}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        RecordingOwner events;
        frmSysTray tray(shell, events, kWinXp, QString());
        for (std::uint32_t code : c.codes) tray.handleCallback(code);
        EXPECT_EQ(events.events, c.events);
    }
}

TEST_F(SysTrayTest, MenuItemsAreNumberedFromTheDesignItem) {
    frmSysTray tray(shell, owner, kWinXp, QString());
    ASSERT_EQ(tray.menuItems().size(), 1u);
    EXPECT_FALSE(tray.menuItems()[0].visible);

    EXPECT_EQ(tray.AddMenuItem(QStringLiteral("&Anzeigen"), QStringLiteral("Open")), 0);
    EXPECT_EQ(tray.AddMenuItem(QStringLiteral("-")), 1);
    EXPECT_EQ(tray.AddMenuItem(QStringLiteral("&Beenden"), QStringLiteral("Beenden"), true), 2);
    EXPECT_EQ(tray.DefaultMenuIndex(), 2);
    for (const TrayMenuItem& item : tray.menuItems()) EXPECT_TRUE(item.visible);

    tray.ShowMenu();
    ASSERT_EQ(shell.popups.size(), 1u);
    EXPECT_EQ(shell.popups[0].defaultIndex, 2);
    EXPECT_EQ(captionsAndKeys(shell.popups[0].items),
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
        frmSysTray tray(fake, owner, kWinXp, QString());
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
        frmSysTray tray(fake, owner, kWinXp, QString());
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
    frmSysTray tray(shell, owner, kWinXp, QString());
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
    frmSysTray tray(shell, owner, kWinXp, QString());
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
        frmSysTray tray(fake, events, kWinXp, QString());
        tray.AddMenuItem(QStringLiteral("&Titelauswahl..."), QStringLiteral("Titelauswahl"));
        tray.AddMenuItem(QStringLiteral("&Verwaltung..."), QStringLiteral("Verwaltung"));
        tray.AddMenuItem(QStringLiteral("-"));
        fake.choice = c.choice;
        tray.ShowMenu();
        ASSERT_EQ(fake.popups.size(), 1u);
        EXPECT_EQ(fake.popups[0].foreground, fake.hWnd);
        EXPECT_EQ(events.events, c.events);
    }
}

TEST_F(SysTrayTest, CloseDeletesTheIconOnce) {
    {
        frmSysTray tray(shell, owner, kWinMe, QStringLiteral("VQS"));
        tray.setToolTip(QStringLiteral("Tip"));
        tray.close();
        ASSERT_EQ(countOf(shell, NotifyCommand::Delete), 1);
        const FakeTrayShell::Notify& sent = shell.notifies.back();
        EXPECT_EQ(sent.command, NotifyCommand::Delete);
        EXPECT_FALSE(sent.unicode);
        EXPECT_EQ(sent.data.cbSize, 488u);
        EXPECT_EQ(sent.data.hWnd, shell.hWnd);
        EXPECT_EQ(sent.data.uID, shell.hIcon);
    }
    EXPECT_EQ(countOf(shell, NotifyCommand::Delete), 1);

    FakeTrayShell other;
    { frmSysTray tray(other, owner, kWinXp, QString()); }
    EXPECT_EQ(countOf(other, NotifyCommand::Delete), 1);
    EXPECT_EQ(other.notifies.back().command, NotifyCommand::Delete);
}

}  // namespace
}  // namespace vqs
