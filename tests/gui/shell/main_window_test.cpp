#include "gui/shell/main_window.h"

#include "titles/titel_objekt.h"
#include "gui/shell/fake_tray_shell.h"
#include "gui/shell/monitor_model.h"
#include "gui/gui_support.h"
#include "support/test_support.h"

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QLabel>
#include <QPushButton>
#include <QScrollBar>
#include <QTreeView>

namespace vqs {
namespace {

using test::child;

TitelDef titel(const QString& code, bool aktiv, bool bidAsk) {
    TitelDef d;
    d.RT_WKN = d.WKN = code;
    d.Name = "Titel " + code;
    d.RT_Boerse = "ETR";
    d.Aktiv = aktiv;
    d.UseBidAsk = bidAsk;
    return d;
}

struct MainWindowTest : ::testing::Test {
    test::TestContext t;
    test::FakeTrayShell shell;
    Bravolt_Hauptfenster window{t.ctx};
    int ended = 0;
    MainWindowTest() {
        t.ctx.setMainWindow(&window);
        window.endProgram = [this] { ++ended; };
    }
    QStringList menuCaptions() const {
        QStringList c;
        for (const TrayMenuItem& i : window.sysTray()->menuItems()) c << i.caption;
        return c;
    }
};

TEST_F(MainWindowTest, TheMonitorRecordsOnlyWhileOpenAndKeepsAtMost1000Rows) {
    const TitelDef d = titel("710000", true, false);
    window.Protokolleintrag(d, kBezahlt, "710000", 100, 5, 0.5);
    window.increaseKursanzahl();
    EXPECT_EQ(window.monitor().rowCount(), 0) << "closed: only the counter moves";
    EXPECT_EQ(child<QLabel>(&window, "labelkurse")->text(), "1");

    window.btnProtokoll_Click();
    ASSERT_TRUE(window.monitorOpen());
    for (int i = 1; i <= 1001; ++i)
        window.Protokolleintrag(d, i % 3, "710000", static_cast<float>(i), 1, 0.5);
    EXPECT_EQ(window.monitor().rowCount(), 901);
    auto cell = [&](int row, int column) {
        return window.monitor()
            .data(window.monitor().index(row, column), Qt::DisplayRole)
            .toString();
    };
    EXPECT_EQ(cell(0, 6), "101") << "the 100 oldest went; 101 was an ask";
    EXPECT_EQ(cell(1, 5), "102") << "102 was a paid price";
    EXPECT_EQ(cell(1, 4), "") << "a paid row leaves bid and ask empty";
    EXPECT_EQ(cell(1, 6), "");
    EXPECT_EQ(cell(1, 0), "Titel 710000");
    EXPECT_EQ(cell(1, 3), "12:00:00");
    EXPECT_EQ(window.monitor().headerData(2, Qt::Horizontal, Qt::DisplayRole).toString(),
              QStringLiteral("Börse"));

    window.btnProtokoll_Click();
    EXPECT_FALSE(window.monitorOpen());
    EXPECT_EQ(window.monitor().rowCount(), 0) << "collapsing clears the monitor";
}

TEST_F(MainWindowTest, TheNewestQuoteStaysInView) {
    window.show();
    window.btnProtokoll_Click();
    const TitelDef d = titel("710000", true, false);
    for (int i = 0; i < 200; ++i) window.Protokolleintrag(d, kBezahlt, "710000", 1, 1, 0.5);
    QCoreApplication::processEvents();
    QScrollBar* bar = child<QTreeView>(&window, "lProtokoll")->verticalScrollBar();
    EXPECT_GT(bar->maximum(), 0);
    EXPECT_EQ(bar->value(), bar->maximum());
}

TEST_F(MainWindowTest, TheMonitorToggleGrowsTheWindowByTheListAndBack) {
    const QSize start = window.size();
    auto* list = child<QTreeView>(&window, "lProtokoll");
    auto* button = child<QPushButton>(&window, "btnProtokoll");
    const QRect l = list->geometry(), b = button->geometry();
    window.btnProtokoll_Click();
    EXPECT_EQ(window.width(), start.width() + l.right() + 1 - b.right() - 1 - 9);
    EXPECT_EQ(window.height(), start.height() + l.bottom() + 1 - b.bottom() - 1 - 4);
    EXPECT_EQ(button->text(), "Monitor <<");
    window.btnProtokoll_Click();
    EXPECT_EQ(window.size(), start);
    EXPECT_EQ(button->text(), "&Monitor >>");
}

TEST_F(MainWindowTest, TheTitleSummaryCountsActiveTitlesAndThoseWithBidAndAsk) {
    for (const TitelDef& d :
         {titel("1", true, true), titel("2", true, false), titel("3", false, true)})
        t.ctx.TitelDefinitionen.add(d.collectionKey(), d);
    window.TitelInfoAktualisieren();
    EXPECT_EQ(child<QLabel>(&window, "TitelinfoLabel")->text(),
              "2 Titel aktiviert, 1 mit Geld/Brief");
}

TEST_F(MainWindowTest, TheTrayMenuAndTheTaskbarQuestion) {
    t.messages.answerNext(msg::kResultNein);  // no taskbar button
    window.InitSysTray(shell, true, 0x0106);
    EXPECT_EQ(menuCaptions(),
              (QStringList{"&Tradomir VQS anzeigen", "-", "&Titelauswahl...", "&Verwaltung...", "-",
                           "In Taskleiste &anzeigen", "-", "&Tradomir VQS beenden"}));
    EXPECT_EQ(window.sysTray()->DefaultMenuIndex(), 0);
    EXPECT_EQ(window.sysTray()->ToolTip(), QStringLiteral("Tradomir VQS für Bravolt-API"));
    ASSERT_EQ(t.messages.shown.size(), 1u);
    EXPECT_TRUE(
        t.messages.shown[0].text.endsWith("Soll Tradomir VQS auch als Programm in der "
                                          "Taskleiste erscheinen?"));
    EXPECT_EQ(readSetting(t.settings, settings::Taskbar), "0");
    EXPECT_FALSE(window.sysTray()->IsCheckedMenuItem(Bravolt_Hauptfenster::kShowInTaskBar));

    // Checking takes effect at once; unchecking needs a restart and says so.
    window.MenuClick(Bravolt_Hauptfenster::kShowInTaskBar, "ShowInTaskBar");
    EXPECT_TRUE(window.sysTray()->IsCheckedMenuItem(Bravolt_Hauptfenster::kShowInTaskBar));
    EXPECT_EQ(t.messages.shown.size(), 1u);
    window.MenuClick(Bravolt_Hauptfenster::kShowInTaskBar, "ShowInTaskBar");
    ASSERT_EQ(t.messages.shown.size(), 2u);
    EXPECT_EQ(t.messages.shown[1].text, QStringLiteral("Die Änderung dieser Einstellung wird erst "
                                                       "nach Neustart des Programms wirksam."));

    // A right click shows the menu; choosing "Beenden" asks, and "Nein" keeps the program.
    shell.choice = Bravolt_Hauptfenster::kBeenden;
    t.messages.answerNext(msg::kResultNein);
    window.sysTray()->handleCallback(516);
    ASSERT_EQ(shell.popups.size(), 1u);
    EXPECT_EQ(t.messages.shown.back().text,
              QStringLiteral("Möchten Sie Tradomir VQS für Bravolt-API beenden?"));
    EXPECT_EQ(ended, 0);
}

TEST_F(MainWindowTest, QuittingWithoutQuestionStoresTheSwitchesAndRemovesTheIcon) {
    writeSetting(t.settings, settings::Taskbar, "1");
    window.InitSysTray(shell, true, 0x0106);
    EXPECT_TRUE(t.messages.shown.empty()) << "asked once only";
    EXPECT_TRUE(window.sysTray()->IsCheckedMenuItem(Bravolt_Hauptfenster::kShowInTaskBar));
    t.ctx.options.OhneRueckfrage = true;
    window.MenuClick(Bravolt_Hauptfenster::kBeenden, "Beenden");
    QCoreApplication::processEvents();
    EXPECT_TRUE(t.messages.shown.empty());
    EXPECT_EQ(ended, 1);
    EXPECT_EQ(readSetting(t.settings, settings::Taskbar), "-1");
    EXPECT_EQ(readSetting(t.settings, settings::Anzeigen), "-1") << "it was shown when quitting";
    EXPECT_EQ(shell.notifies.back().command, NotifyCommand::Delete);
    EXPECT_FALSE(
        t.settings.GetSetting("Tradomir", "VQS-Bravolt-Programmfenster", "WinState", "").isEmpty());
}

TEST_F(MainWindowTest, ATitleBarCloseAsksAndNeinKeepsTheWindow) {
    writeSetting(t.settings, settings::Taskbar, "1");
    window.InitSysTray(shell, true, 0x0106);
    t.messages.answerNext(msg::kResultNein);
    test::closeFromTitleBar(&window);
    EXPECT_EQ(ended, 0);
    EXPECT_TRUE(window.isVisible());
    t.messages.answerNext(msg::kResultJa);
    test::closeFromTitleBar(&window);
    QCoreApplication::processEvents();
    EXPECT_EQ(ended, 1);
    EXPECT_EQ(readSetting(t.settings, settings::Anzeigen), "-1");
}

TEST_F(MainWindowTest, WithoutConnectionTheTitleSelectionIsRefused) {
    bool opened = false;
    window.openTitelauswahl = [&] { opened = true; };
    window.btnTitelauswahl_Click();
    EXPECT_FALSE(opened);
    ASSERT_EQ(t.messages.shown.size(), 1u);
    EXPECT_TRUE(
        t.messages.shown[0].text.startsWith("Es besteht keine Verbindung zur Bravolt API."));
}

}  // namespace
}  // namespace vqs
