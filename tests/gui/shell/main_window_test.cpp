#include "gui/shell/main_window.h"

#include "recording/connection_watchdog.h"

#include "broker/fake_broker.h"
#include "gui/gui_support.h"
#include "gui/shell/fake_tray_shell.h"
#include "gui/shell/monitor_model.h"
#include "support/faulty_file_system.h"
#include "support/test_support.h"

#include <gtest/gtest.h>

#include <QAbstractItemView>
#include <QCoreApplication>
#include <QFile>
#include <QLabel>
#include <QMessageBox>
#include <QPushButton>
#include <QScrollBar>
#include <QTest>

namespace vqs {
namespace {

using test::child;

// A title of "Dax 30".
TitelDef titel(const QString& code, bool aktiv, bool bidAsk) {
    return test::titel(code, "Dax 30", aktiv, bidAsk);
}

struct MainWindowTest : ::testing::Test {
    test::FaultyFileSystem fs;
    test::TestContext t{[] { return std::make_unique<test::FakeBrokerSession>(); }, fs};
    test::FakeTrayShell shell;
    Bravolt_Hauptfenster window{t.recorder};
    int ended = 0;
    MainWindowTest() {
        window.setEndProgram([this] { ++ended; });
    }
    // Records 710000 (in "Dax 30") from now on.
    void record710000() { ASSERT_TRUE(t.loginWith({titel("710000", true, false)})); }
    // The broker's quote of 710000 at 10:00:<second> of the clock, which the broker had ready
    // `ageMs` before (negative: it does not say).
    void quote(int second, qint64 ageMs = -1) {
        broker::Quote q;
        q.paid.present = q.paid.volumePresent = true;
        q.paid.price = 100 + second;
        q.paid.volume = 10;
        const QTime time(10, 0, second);
        q.paid.time = {10, 0, second, 0, time.toString("HH:mm:ss.zzz")};
        t.clock.set(QDateTime(QDate(2026, 12, 10), time));
        if (ageMs >= 0) q.readyAtMs = t.clock.now().toMSecsSinceEpoch() - ageMs;
        (*t.recorder.titles().titleObjects().find("710000@ETR"))
            ->RealtimeSubscription_OnQuoteUpdate(q, {}, {});
        QCoreApplication::processEvents();
    }
    QStringList menuCaptions() const {
        QStringList c;
        for (const TrayMenuItem& i : window.sysTray()->menuItems()) c << i.caption;
        return c;
    }
};

TEST_F(MainWindowTest, TheMonitorRecordsOnlyWhileOpenAndKeepsAtMost1000Rows) {
    const TitelDef d = titel("710000", true, false);
    window.Protokolleintrag(d, kBezahlt, 100, 5, 0.5);
    QCoreApplication::processEvents();
    EXPECT_EQ(window.monitor().rowCount(), 0) << "closed: nothing in the monitor";

    window.btnProtokoll_Click();
    ASSERT_TRUE(window.monitorOpen());
    for (int i = 1; i <= 1001; ++i)
        window.Protokolleintrag(d, i % 3, static_cast<float>(i), 1, 0.5);
    EXPECT_EQ(window.monitor().rowCount(), 0) << "shown once per turn of the event loop";
    QCoreApplication::processEvents();
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
    EXPECT_EQ(cell(1, 0), "Name 710000");
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
    for (int i = 0; i < 200; ++i) window.Protokolleintrag(d, kBezahlt, 1, 1, 0.5);
    QCoreApplication::processEvents();
    QScrollBar* bar = child<QAbstractItemView>(&window, "lProtokoll")->verticalScrollBar();
    EXPECT_GT(bar->maximum(), 0);
    EXPECT_EQ(bar->value(), bar->maximum());
}

TEST_F(MainWindowTest, TheMonitorToggleGrowsTheWindowByTheListAndBack) {
    const QSize start = window.size();
    auto* list = child<QAbstractItemView>(&window, "lProtokoll");
    auto* button = child<QPushButton>(&window, "btnProtokoll");
    const QRect l = list->geometry(), b = button->geometry();
    window.btnProtokoll_Click();
    EXPECT_EQ(window.width(), start.width() + l.right() + 1 - b.right() - 1 - 9);
    EXPECT_EQ(window.height(), start.height() + l.bottom() + 1 - b.bottom() - 1 - 4);
    EXPECT_EQ(button->text(), "Monitor <<");

    // Taller by resizing: the list takes the height; the width stays.
    window.show();
    const QSize grown = window.size();
    window.resize(grown.width() + 50, grown.height() + 40);
    EXPECT_EQ(window.size(), QSize(grown.width(), grown.height() + 40));
    EXPECT_EQ(list->height(), l.height() + 40);

    window.btnProtokoll_Click();
    EXPECT_EQ(window.size(), start);
    EXPECT_EQ(button->text(), "&Monitor >>");
    window.btnProtokoll_Click();
    EXPECT_EQ(window.size(), grown) << "opened again as designed";
}

// The windows fit a screen of 1366 × 768 pixels, a taskbar and their frames included.
TEST_F(MainWindowTest, TheWindowsFitASmallScreen) {
    const QSize small(1366, 768 - 40 - 30);
    window.btnProtokoll_Click();
    EXPECT_LE(window.width(), small.width());
    EXPECT_LE(window.height(), small.height());
}

TEST_F(MainWindowTest, TheTitleSummaryCountsTitlesThatAreRecorded) {
    ASSERT_TRUE(t.loginWith(
        {titel("710000", true, true), titel("A1B2C3", true, false), titel("846900", false, true)}));
    EXPECT_FALSE(t.record({titel("UNBEKANNT", true, false)})) << "the broker refuses it";
    t.recorder.titles().announceChange();
    EXPECT_EQ(child<QLabel>(&window, "TitelinfoLabel")->text(),
              "2 Titel aktiviert, 1 mit Geld/Brief")
        << "a title the broker refused is not recorded, whatever its definition says";
}

// The counter and the monitor show ticks that reached their file, and only those; a write
// failure shows as a warning line and in the tray's tip while it lasts.
TEST_F(MainWindowTest, OnlyWrittenTicksCountAndWriteFailuresShowWhileTheyLast) {
    window.finishStartup(t.datenpfad());
    window.InitSysTray(shell, true);
    record710000();
    window.btnProtokoll_Click();
    auto* kurse = child<QLabel>(&window, "labelkurse");
    auto* warnzeile = child<QLabel>(&window, "Warnzeile");
    quote(1);
    EXPECT_EQ(kurse->text(), "1");
    EXPECT_EQ(window.monitor().rowCount(), 1);
    EXPECT_TRUE(warnzeile->isHidden());

    fs.fail(test::FaultyFileSystem::Call::Open, EACCES, "710000");
    quote(2);
    quote(3);
    EXPECT_EQ(kurse->text(), "1") << "nothing written: nothing counted";
    EXPECT_EQ(window.monitor().rowCount(), 1);
    EXPECT_FALSE(warnzeile->isHidden());
    EXPECT_TRUE(warnzeile->text().contains("710000-BRAVOL-ETR.VQS: Zugriff verweigert"))
        << warnzeile->text().toStdString();
    EXPECT_TRUE(window.sysTray()->ToolTip().contains("Zugriff verweigert"));

    fs.heal();
    quote(4);
    EXPECT_EQ(kurse->text(), "2");
    EXPECT_TRUE(warnzeile->isHidden()) << "gone by itself once ticks are written again";
    EXPECT_EQ(window.sysTray()->ToolTip(), QStringLiteral("Tradomir VQS für Bravolt-API"));
}

// A recording that falls behind the quotes says so in the warning line while it lasts.
TEST_F(MainWindowTest, ALagShowsInTheWarningLineWhileItLasts) {
    window.finishStartup(t.datenpfad());
    record710000();
    auto* warnzeile = child<QLabel>(&window, "Warnzeile");
    quote(1, 7000);
    EXPECT_FALSE(warnzeile->isHidden());
    EXPECT_EQ(warnzeile->toolTip(),
              "Rückstand: 7 s – die Aufzeichnung kommt den Kursen nicht nach.");
    quote(2, 9000);
    EXPECT_TRUE(warnzeile->toolTip().startsWith("Rückstand: 9 s"));
    quote(3, 100);
    EXPECT_TRUE(warnzeile->isHidden());
}

// What the program last logged (a back-fill's end with the titles it could not fill) stays in
// view below the folder, unless a warning needs the place.
TEST_F(MainWindowTest, TheLastLogLineShowsBelowTheFolderUnlessAWarningDoes) {
    ASSERT_TRUE(t.loginWith());
    window.finishStartup(t.datenpfad());
    auto* zeile = child<QLabel>(&window, "Protokollzeile");
    auto* warnzeile = child<QLabel>(&window, "Warnzeile");
    const QString end =
        "Datenpflege beendet: 1 von 2 Titeln gefüllt; keine Historie für 846900, "
        "ihre Dateien wurden nicht gefüllt.";
    t.recorder.log(end);
    EXPECT_FALSE(zeile->isHidden());
    EXPECT_EQ(zeile->toolTip(), t.clock.now().toString("HH:mm:ss ") + end);
    EXPECT_TRUE(zeile->text().contains("846900"));

    t.recorder.shutdown();  // no connection: that warning takes the place
    EXPECT_FALSE(warnzeile->isHidden());
    EXPECT_TRUE(zeile->isHidden());
}

// A warning of the log stays in the line below the folder, over later lines, until a click on the
// line says it was read; then the next unread one, or the last line, takes the place.
TEST_F(MainWindowTest, AWarningStaysUntilAClickSaysItWasRead) {
    ASSERT_TRUE(t.loginWith());
    window.finishStartup(t.datenpfad());
    window.show();
    auto* zeile = child<QLabel>(&window, "Protokollzeile");
    const QString zeit = t.clock.now().toString("HH:mm:ss ");
    t.recorder.warn("Geld und Brief fehlen von 12:00:00 bis 12:00:05: Name A1B2C3.");
    t.recorder.log("Datenpflege beendet: 2 von 2 Titeln gefüllt.");
    t.recorder.warn("Die Bravolt-API nimmt diese Titel nicht an: 846900");
    t.recorder.log("Bei der Bravolt-API angemeldet.");
    EXPECT_EQ(zeile->text(), zeit +
                                 "Geld und Brief fehlen von 12:00:00 bis 12:00:05: Name A1B2C3. "
                                 "(und 1 weitere)");
    EXPECT_TRUE(zeile->toolTip().contains("846900"));

    QTest::mouseClick(zeile, Qt::RightButton);
    EXPECT_EQ(window.unreadWarnings().size(), 2) << "only a left click reads";
    QTest::mouseClick(zeile, Qt::LeftButton);
    EXPECT_EQ(zeile->text(), zeit + "Die Bravolt-API nimmt diese Titel nicht an: 846900");
    QTest::mouseClick(zeile, Qt::LeftButton);
    EXPECT_EQ(zeile->text(), zeit + "Bei der Bravolt-API angemeldet.");
    EXPECT_TRUE(window.unreadWarnings().isEmpty());
    QTest::mouseClick(zeile, Qt::LeftButton);
    EXPECT_EQ(zeile->text(), zeit + "Bei der Bravolt-API angemeldet.") << "a plain line stays";

    // The connection's warning takes the place while it lasts; the unread one waits below it.
    t.recorder.warn("Datenpflege beendet: 1 von 2 Titeln gefüllt; keine Historie für 846900.");
    t.recorder.shutdown();
    EXPECT_TRUE(zeile->isHidden());
    EXPECT_EQ(window.unreadWarnings().size(), 1);
}

// A warning of the start (a journal set aside) comes before any window: the window shows it.
TEST(MainWindowStart, AWarningOfTheStartShowsInTheWindowThatOpensAfterIt) {
    test::TestContext t([] { return std::make_unique<test::FakeBrokerSession>(); });
    const QString zeit = t.clock.now().toString("HH:mm:ss ");
    t.recorder.warn("Das Journal neben X wurde nicht zurückgespielt.");
    Bravolt_Hauptfenster window(t.recorder);
    ASSERT_TRUE(t.loginWith());
    window.finishStartup(t.datenpfad());
    window.show();
    EXPECT_EQ(child<QLabel>(&window, "Protokollzeile")->text(),
              zeit + "Das Journal neben X wurde nicht zurückgespielt.");
}

// A lost connection shows in the warning line and the tray's tip with the time it began and the
// next login, and goes by itself with the login.
TEST_F(MainWindowTest, AnOutageShowsWhileItLasts) {
    t.clock.set(QDateTime(QDate(2026, 12, 10), QTime(14, 3, 12)));
    ASSERT_TRUE(t.loginWith());
    window.InitSysTray(shell, true);
    window.finishStartup(t.datenpfad());
    auto* warnzeile = child<QLabel>(&window, "Warnzeile");
    EXPECT_TRUE(warnzeile->isHidden());

    ASSERT_TRUE(t.record({titel("710000", true, true), titel("A1B2C3", true, false),
                          titel("846900", false, false)}));
    t.recorder.titles().announceChange();
    auto* titelinfo = child<QLabel>(&window, "TitelinfoLabel");
    EXPECT_EQ(titelinfo->text(), "2 Titel aktiviert, 1 mit Geld/Brief");

    auto* fake = static_cast<test::FakeBrokerSession*>(t.recorder.session().SF());
    fake->listeners[0]->OnLogout();
    t.recorder.connection().poll();
    const QString text = "Verbindung unterbrochen seit 14:03:12, neuer Versuch um 14:03:17";
    EXPECT_FALSE(warnzeile->isHidden());
    EXPECT_EQ(warnzeile->text(), text);
    EXPECT_EQ(window.sysTray()->ToolTip(), "Tradomir VQS für Bravolt-API\n" + text);
    EXPECT_EQ(titelinfo->text(), "2 Titel aktiviert – Verbindung unterbrochen")
        << "the titles stay switched on; nothing is recorded";

    t.clock.advanceMs(5000);
    t.recorder.connection().poll();
    EXPECT_TRUE(warnzeile->isHidden());
    EXPECT_EQ(window.sysTray()->ToolTip(), QStringLiteral("Tradomir VQS für Bravolt-API"));
    EXPECT_EQ(titelinfo->text(), "2 Titel aktiviert, 1 mit Geld/Brief");
}

// The grey line tells what is recorded after the title selection changed it, as the title
// summary does; a dialog that changed nothing adds no line.
TEST_F(MainWindowTest, TheLogLineFollowsTheTitleSelection) {
    ASSERT_TRUE(t.loginWith());
    t.recorder.loadDefinitions();
    window.finishStartup(t.datenpfad());
    auto* zeile = child<QLabel>(&window, "Protokollzeile");
    EXPECT_TRUE(zeile->text().endsWith("0 Titel werden aufgezeichnet, 0 mit Geld/Brief."));

    window.setOpenTitelauswahl([&] {
        EXPECT_TRUE(t.record({titel("710000", true, true), titel("A1B2C3", true, false)}));
        t.recorder.titles().announceChange();
    });
    window.btnTitelauswahl_Click();
    EXPECT_EQ(child<QLabel>(&window, "TitelinfoLabel")->text(),
              "2 Titel aktiviert, 1 mit Geld/Brief");
    EXPECT_TRUE(zeile->text().endsWith("2 Titel werden aufgezeichnet, 1 mit Geld/Brief."))
        << zeile->text().toStdString();

    const qsizetype lines = t.events.log.size();
    window.setOpenTitelauswahl([] {});
    window.btnTitelauswahl_Click();
    EXPECT_EQ(t.events.log.size(), lines) << "nothing changed, nothing logged";
}

// "Verwaltung...": without titles it asks first; without connection it says that nothing can be
// activated and opens all the same; afterwards the definitions are saved.
TEST_F(MainWindowTest, TheTitleManagementOpensAfterItsQuestionOrNotice) {
    int opened = 0;
    window.setOpenVerwaltung([&] { ++opened; });
    window.finishStartup(t.datenpfad());
    for (auto answer : {QMessageBox::No, QMessageBox::Yes}) {
        test::onNextModal([answer](QWidget* box) {
            EXPECT_TRUE(static_cast<QMessageBox*>(box)->text().startsWith(
                "Es wurden noch keine Titel zur Aufzeichnung ausgewählt"));
            static_cast<QMessageBox*>(box)->button(answer)->click();
        });
        window.btnVerwaltung_Click();
    }
    EXPECT_EQ(opened, 1) << "only after \"Ja\"";
    EXPECT_TRUE(t.messages.shown.empty());

    t.recorder.titles().add(titel("710000", false, false));
    QFile::remove(t.recorder.definitionsFilePath());
    window.btnVerwaltung_Click();
    EXPECT_EQ(opened, 2);
    ASSERT_EQ(t.messages.shown.size(), 1u);
    EXPECT_TRUE(t.messages.shown[0].text.startsWith(
        "Es besteht keine Verbindung zur Bravolt-API. Es können daher in der Titelverwaltung "
        "keine Titel zur Aufzeichnung aktiviert werden."));
    EXPECT_TRUE(QFile::exists(t.recorder.definitionsFilePath())) << "saved afterwards";
}

TEST_F(MainWindowTest, TheTrayMenuAndTheTaskbarQuestion) {
    t.messages.answerNext(msg::kResultNein);  // no taskbar button
    window.InitSysTray(shell, true);
    EXPECT_EQ(menuCaptions(),
              (QStringList{"&Tradomir VQS anzeigen", "-", "&Titelauswahl...", "&Verwaltung...", "-",
                           "In Taskleiste &anzeigen", "-", "&Tradomir VQS beenden"}));
    EXPECT_EQ(window.sysTray()->DefaultMenuIndex(), 0);
    EXPECT_EQ(window.sysTray()->ToolTip(), QStringLiteral("Tradomir VQS für Bravolt-API"));
    ASSERT_EQ(t.messages.shown.size(), 1u);
    EXPECT_TRUE(
        t.messages.shown[0].text.endsWith("Soll Tradomir VQS auch als Programm in der "
                                          "Taskleiste erscheinen?"));
    EXPECT_EQ(readSetting(t.settings, settings::kTaskbar), "0");
    EXPECT_FALSE(window.sysTray()->IsCheckedMenuItem(Bravolt_Hauptfenster::kShowInTaskBar));
    EXPECT_TRUE(window.sysTray()->menuItems()[Bravolt_Hauptfenster::kShowInTaskBar].checkable)
        << "the item shows its box unchecked too";

    // Checking and unchecking both take effect at once: no restart notice.
    window.MenuClick(Bravolt_Hauptfenster::kShowInTaskBar, "ShowInTaskBar");
    EXPECT_TRUE(window.sysTray()->IsCheckedMenuItem(Bravolt_Hauptfenster::kShowInTaskBar));
    EXPECT_FALSE(window.windowFlags().testFlag(Qt::Tool));
    window.MenuClick(Bravolt_Hauptfenster::kShowInTaskBar, "ShowInTaskBar");
    EXPECT_FALSE(window.sysTray()->IsCheckedMenuItem(Bravolt_Hauptfenster::kShowInTaskBar));
    EXPECT_TRUE(window.windowFlags().testFlag(Qt::Tool)) << "no taskbar button from now on";
    EXPECT_EQ(t.messages.shown.size(), 1u);

    // A right click shows the menu; choosing "Beenden" asks, and "Nein" keeps the program.
    shell.choice = Bravolt_Hauptfenster::kBeenden;
    t.messages.answerNext(msg::kResultNein);
    window.sysTray()->activated(QSystemTrayIcon::Context);
    ASSERT_EQ(shell.popups.size(), 1u);
    EXPECT_EQ(t.messages.shown.back().text,
              QStringLiteral("Möchten Sie Tradomir VQS für Bravolt-API beenden?"));
    EXPECT_EQ(ended, 0);
}

TEST_F(MainWindowTest, WithoutANotificationAreaTheTaskbarEntryStaysAndNothingIsAsked) {
    writeSetting(t.settings, settings::kAnzeigen, "0");
    window.finishStartup(t.datenpfad());
    window.InitSysTray(shell, false);
    EXPECT_TRUE(t.messages.shown.empty()) << "no taskbar question";
    EXPECT_FALSE(window.windowFlags().testFlag(Qt::Tool));
    EXPECT_TRUE(window.isVisible()) << "the window is the only way to the program";
    EXPECT_TRUE(window.sysTray()->IsCheckedMenuItem(Bravolt_Hauptfenster::kShowInTaskBar));
    window.showMinimized();
    QCoreApplication::processEvents();
    EXPECT_TRUE(window.isVisible()) << "minimized, never hidden";
    window.setOhneRueckfrage(true);
    window.MenuClick(Bravolt_Hauptfenster::kBeenden, "Beenden");
    EXPECT_EQ(readSetting(t.settings, settings::kTaskbar), "") << "still to be asked";
}

TEST_F(MainWindowTest, QuittingWithoutQuestionStoresTheSwitchesAndRemovesTheIcon) {
    writeSetting(t.settings, settings::kTaskbar, "1");
    window.InitSysTray(shell, true);
    EXPECT_TRUE(t.messages.shown.empty()) << "asked once only";
    EXPECT_TRUE(window.sysTray()->IsCheckedMenuItem(Bravolt_Hauptfenster::kShowInTaskBar));
    window.setOhneRueckfrage(true);
    window.MenuClick(Bravolt_Hauptfenster::kBeenden, "Beenden");
    QCoreApplication::processEvents();
    EXPECT_TRUE(t.messages.shown.empty());
    EXPECT_EQ(ended, 1);
    EXPECT_EQ(readSetting(t.settings, settings::kTaskbar), "-1");
    EXPECT_EQ(readSetting(t.settings, settings::kAnzeigen), "-1") << "it was shown when quitting";
    EXPECT_FALSE(shell.visible);
    EXPECT_EQ(shell.calls.back(), "hide");
    EXPECT_FALSE(
        t.settings.GetSetting("Tradomir", "VQS-Bravolt-Programmfenster", "WinState", "").isEmpty());
}

TEST_F(MainWindowTest, ATitleBarCloseAsksAndNeinKeepsTheWindow) {
    writeSetting(t.settings, settings::kTaskbar, "1");
    window.finishStartup(t.datenpfad());
    window.InitSysTray(shell, true);
    t.messages.answerNext(msg::kResultNein);
    test::closeFromTitleBar(&window);
    EXPECT_EQ(ended, 0);
    EXPECT_TRUE(window.isVisible());
    t.messages.answerNext(msg::kResultJa);
    test::closeFromTitleBar(&window);
    QCoreApplication::processEvents();
    EXPECT_EQ(ended, 1);
    EXPECT_EQ(readSetting(t.settings, settings::kAnzeigen), "-1");
}

TEST_F(MainWindowTest, WithoutConnectionTheWindowSaysSoAndTheTitleSelectionIsRefused) {
    window.finishStartup(t.datenpfad());
    auto* warnzeile = child<QLabel>(&window, "Warnzeile");
    EXPECT_FALSE(warnzeile->isHidden());
    EXPECT_TRUE(warnzeile->text().startsWith("Ohne Datenverbindung"));
    bool opened = false;
    window.setOpenTitelauswahl([&] { opened = true; });
    window.btnTitelauswahl_Click();
    EXPECT_FALSE(opened);
    ASSERT_EQ(t.messages.shown.size(), 1u);
    EXPECT_TRUE(
        t.messages.shown[0].text.startsWith("Es besteht keine Verbindung zur Bravolt API."));
}

}  // namespace
}  // namespace vqs
