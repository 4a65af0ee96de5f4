#include "gui/programm.h"

#include "gui/backfill/datenpflege_fenster.h"
#include "gui/dateninspektor/dateninspektor.h"
#include "gui/dateninspektor/frm_plv_realtime_titel.h"
#include "gui/dateninspektor/kurs_modell.h"
#include "gui/dateninspektor/ordner_baum.h"
#include "gui/shell/message_dialog.h"
#include "gui/titles/titel_verwaltung_dialog.h"

#include "broker/simulated_broker.h"
#include "gui/gui_support.h"
#include "gui/shell/fake_tray_shell.h"
#include "gui/shell/main_window.h"
#include "support/manual_clock.h"
#include "support/test_support.h"
#include "titles/titel_definitionen_datei.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QCheckBox>
#include <QDialog>
#include <QDir>
#include <QFileInfo>
#include <QLabel>
#include <QPushButton>
#include <QTimer>
#include <QTreeView>
#include <QTreeWidget>
#include <QUndoStack>

#include <csignal>

namespace vqs {
namespace {

using test::child;
using test::onNextModal;

TEST(StartDelay, TheSwitchAnywhereInTheCommandLine) {
    struct Case {
        const char* commandLine;
        double seconds;
    } cases[] = {
        {"", 0},          {"/W", 0},          {"/W0", 0},         {"/W-5", 0},        {"/W5", 5},
        {"/W 5", 5},      {"/w5", 5},         {"/W40000", 32000}, {"/K /W 2.5", 2.5}, {"/Wx", 0},
        {"abc/W7def", 7}, {"/W   12 /K", 12},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(startDelaySeconds(QString::fromLatin1(c.commandLine)), c.seconds)
            << c.commandLine;
    }
    EXPECT_TRUE(quitWithoutQuestion("/k"));
    EXPECT_TRUE(quitWithoutQuestion("/W 5 /K"));
    EXPECT_FALSE(quitWithoutQuestion("/W 5"));
}

// A program on the simulated broker and a fake tray, in a temp folder.
struct ProgramTest : ::testing::Test {
    QTemporaryDir dir;
    ManualClock clock{QDateTime(QDate(2026, 12, 10), QTime(10, 0))};
    SettingsStore settings{dir.path() + "/config", "TradomirVQS"};
    test::RecordingMessages messages;
    test::FakeTrayShell tray;
    broker::SimulationSettings simulation;
    std::unique_ptr<broker::SimulatedBroker> broker;

    ProgramTest() { writeSetting(settings, settings::kVersionsHinweis, "1"); }

    ProgramEnvironment environment(const QString& commandLine = {}) {
        broker = std::make_unique<broker::SimulatedBroker>(simulation, clock);
        ProgramEnvironment env;
        env.commandLine = commandLine;
        env.programFolder = dir.path();
        env.settings = &settings;
        env.clock = &clock;
        env.brokerFactory = [this] { return broker->createSession(); };
        env.instanceLockPath = dir.path() + "/instance.lock";
        env.messages = &messages;
        env.trayShell = &tray;
        env.freeKilobytes = [](const QString&) { return std::optional<qint64>(1 << 30); };
        env.waitABit = [this] { clock.advanceMs(250); };
        return env;
    }

    void writeActiveTitle() {
        const broker::SimulatedMarket market(simulation.seed, 1);
        const broker::Identifier id = market.catalogue("Dax30")->front();
        TitelDef d = test::titel(id.code, "Dax 30", true);
        d.RT_Boerse = id.exchange;
        KeyedCollection<TitelDef> defs;
        defs.add(d.id().text(), d);
        writeTitelDefinitionenFile(dir.path() + "/Bravolt_Titel.Dat", defs);
    }
};

TEST_F(ProgramTest, AStartWithTheHintDeclinedEndsAndTheTickedBoxIsRemembered) {
    writeSetting(settings, settings::kVersionsHinweis, "0");
    Programm p(environment());
    onNextModal([](QWidget* d) {
        child<QCheckBox>(d, "optNichtmehrAnzeigen")->setChecked(true);
        child<QPushButton>(d, "btnAbbrechen")->click();
    });
    EXPECT_FALSE(p.Main());
    EXPECT_EQ(p.mainWindow(), nullptr);
    EXPECT_EQ(readSetting(settings, settings::kVersionsHinweis), "1");
}

TEST_F(ProgramTest, AStartWithTheHintConfirmedGoesOnAndShowsItAgainNextTime) {
    writeSetting(settings, settings::kVersionsHinweis, "0");
    writeSetting(settings, settings::kTaskbar, "1");
    Programm p(environment());
    onNextModal([](QWidget* d) { child<QPushButton>(d, "Okay")->click(); });
    EXPECT_TRUE(p.Main());
    EXPECT_EQ(readSetting(settings, settings::kVersionsHinweis), "0");
    EXPECT_EQ(readSetting(settings, settings::kVqsPfad), QDir::toNativeSeparators(dir.path()));
    EXPECT_TRUE(QDir(dir.path() + "/RealtimeData").exists()) << "the default data folder";
    EXPECT_EQ(p.recorder().datenpfad(), dir.path() + "/RealtimeData");
}

TEST_F(ProgramTest, ARefusedLoginAsksAndNeinEnds) {
    simulation.refuseLogin = true;
    Programm p(environment());
    messages.answerNext(msg::kResultNone);  // the login error
    messages.answerNext(msg::kResultNein);
    EXPECT_FALSE(p.Main());
    ASSERT_EQ(messages.shown.size(), 2u);
    EXPECT_TRUE(messages.shown[0].text.startsWith("Fehler beim Login aufgetreten: "));
    EXPECT_TRUE(
        messages.shown[1].text.startsWith("Soll Tradomir VQS jetzt dennoch ohne "
                                          "Datenverbindung gestartet werden"));
    EXPECT_EQ(messages.shown[1].style, msg::kYesNo);
}

TEST_F(ProgramTest, ARefusedLoginAndJaStartsWithoutSubscriptions) {
    simulation.refuseLogin = true;
    writeActiveTitle();
    writeSetting(settings, settings::kTaskbar, "1");
    Programm p(environment());
    messages.answerNext(msg::kResultNone);  // the login error
    messages.answerNext(msg::kResultJa);
    ASSERT_TRUE(p.Main());
    EXPECT_EQ(p.recorder().titles().definitions().size(), 1);
    EXPECT_EQ(p.recorder().titles().titleObjects().size(), 0) << "no title is subscribed";
    ASSERT_NE(p.mainWindow(), nullptr);
    EXPECT_TRUE(p.mainWindow()->isEnabled());
    EXPECT_TRUE(tray.visible) << "the tray icon is there";
}

TEST_F(ProgramTest, ActiveTitlesRecordAndSlashKQuitsWithoutAQuestion) {
    writeActiveTitle();
    writeSetting(settings, settings::kTaskbar, "1");
    Programm p(environment("/K"));
    ASSERT_TRUE(p.Main());
    EXPECT_TRUE(p.mainWindow()->ohneRueckfrage());
    EXPECT_EQ(p.recorder().titles().titleObjects().size(), 1);
    for (int i = 0; i < 1200; ++i) {
        clock.advanceMs(100);
        broker->pump();
    }
    EXPECT_GT(p.mainWindow()->Kursanzahl(), 10);
    QStringList files = QDir(dir.path() + "/RealtimeData/Dax 30").entryList({"*.VQS"});
    EXPECT_EQ(files.size(), 1);
    int ended = 0;
    p.mainWindow()->setEndProgram([&] { ++ended; });
    const size_t before = messages.shown.size();
    test::closeFromTitleBar(p.mainWindow());
    QCoreApplication::processEvents();
    EXPECT_EQ(ended, 1);
    EXPECT_EQ(messages.shown.size(), before) << "no question";
    EXPECT_EQ(p.recorder().titles().titleObjects().size(), 0);
    EXPECT_EQ(p.recorder().session().Status(), 0);
    EXPECT_EQ(readSetting(settings, settings::kAnzeigen), "-1");
    EXPECT_EQ(broker->liveSubscriptions(), 0);
}

TEST_F(ProgramTest, ASecondStartBringsTheFirstToTheFrontSaysSoAndEnds) {
    writeSetting(settings, settings::kTaskbar, "1");
    Programm first(environment());
    ASSERT_TRUE(first.Main());
    first.mainWindow()->showMinimized();
    QCoreApplication::processEvents();
    test::RecordingMessages secondMessages;
    ProgramEnvironment env = environment();
    env.messages = &secondMessages;
    Programm second(env);
    EXPECT_FALSE(second.Main());
    EXPECT_EQ(second.exitCode(), 1);
    ASSERT_EQ(secondMessages.shown.size(), 1u);
    EXPECT_TRUE(secondMessages.shown[0].text.startsWith(
        QStringLiteral("Tradomir VQS für Bravolt wurde bereits gestartet!\nEs läuft gui_tests "
                       "(Prozess %1) mit dem Ordner %2.")
            .arg(QCoreApplication::applicationPid())
            .arg(QDir::toNativeSeparators(dir.path()))))
        << secondMessages.shown[0].text.toStdString();
    for (int i = 0; i < 10; ++i) QCoreApplication::processEvents();
    EXPECT_TRUE(first.mainWindow()->isVisible());
    EXPECT_FALSE(first.mainWindow()->isMinimized()) << "shown and restored";
}

// A close of the main window while the program still starts ends it cleanly: no window that
// can never be quit, the lock free for the next start.
TEST_F(ProgramTest, AClosedWindowDuringStartUpEndsTheProgramCleanly) {
    simulation.refuseLogin = true;
    writeActiveTitle();
    writeSetting(settings, settings::kTaskbar, "1");
    const QByteArray definitions = test::readFile(dir.path() + "/Bravolt_Titel.Dat");
    struct ClosingMessages final : MessagePresenter {
        Programm* program = nullptr;
        int ShowMessage(const QString& text, int) override {
            // The user closes the disabled window while the question about the connection waits.
            if (text.startsWith("Soll Tradomir VQS") && program->mainWindow())
                test::closeFromTitleBar(program->mainWindow());
            return msg::kResultJa;
        }
    } closing;
    ProgramEnvironment env = environment();
    env.messages = &closing;
    {
        Programm p(env);
        closing.program = &p;
        EXPECT_FALSE(p.Main());
        EXPECT_EQ(p.exitCode(), 0);
        EXPECT_EQ(p.mainWindow(), nullptr);
        EXPECT_TRUE(p.recorder().shuttingDown());
    }
    EXPECT_EQ(test::readFile(dir.path() + "/Bravolt_Titel.Dat"), definitions);
    simulation.refuseLogin = false;
    Programm next(environment());
    EXPECT_TRUE(next.Main()) << "the lock is free again";
}

TEST_F(ProgramTest, TheCloseBoxOfTheStartDelayActsAsAbbrechen) {
    writeSetting(settings, settings::kTaskbar, "1");
    ProgramEnvironment env = environment("/W 30000");
    int waits = 0;
    env.waitABit = [&] {
        clock.advanceMs(250);
        if (++waits != 4) return;
        for (QWidget* w : QApplication::topLevelWidgets()) {
            if (w->objectName() == QStringLiteral("frmStartverzögerung") && w->isVisible())
                test::closeFromTitleBar(w);
        }
    };
    const QDateTime before = clock.now();
    Programm p(env);
    ASSERT_TRUE(p.Main()) << "the start goes on";
    EXPECT_EQ(before.msecsTo(clock.now()), 1000);
}

// A signal, or "Beenden" in the tray menu, while "Titelauswahl" is open ends the program as
// "Beenden" with /K does: subscriptions stopped, settings stored, and the definitions file as it
// was (the save after the dialog saved an emptied collection before).
TEST_F(ProgramTest, EndingWhileTheTitleSelectionIsOpenLeavesTheDefinitionsAsTheyAre) {
    writeActiveTitle();
    writeSetting(settings, settings::kTaskbar, "1");
    const QByteArray definitions = test::readFile(dir.path() + "/Bravolt_Titel.Dat");
    for (const bool bySignal : {true, false}) {
        Programm p(environment(bySignal ? "" : "/K"));
        ASSERT_TRUE(p.Main());
        int ended = 0;
        p.mainWindow()->setEndProgram([&] { ++ended; });
        const size_t before = messages.shown.size();
        test::onNextModal([&](QWidget* dialog) {
            if (bySignal)
                std::raise(SIGTERM);
            else
                p.mainWindow()->MenuClick(Bravolt_Hauptfenster::kBeenden, "Beenden");
            for (int i = 0; i < 10 && ended == 0; ++i) QCoreApplication::processEvents();
            // The real end leaves every event loop; here the test closes the dialog.
            static_cast<QDialog*>(dialog)->reject();
        });
        p.mainWindow()->MenuClick(Bravolt_Hauptfenster::kTitelauswahl, "Titelauswahl");
        EXPECT_EQ(ended, 1) << bySignal;
        EXPECT_EQ(messages.shown.size(), before) << "no question";
        EXPECT_EQ(broker->liveSubscriptions(), 0);
        EXPECT_EQ(p.recorder().session().Status(), 0);
        EXPECT_EQ(readSetting(settings, settings::kAnzeigen), "-1");
        EXPECT_EQ(test::readFile(dir.path() + "/Bravolt_Titel.Dat"), definitions) << bySignal;
    }
}

// "&Dateninspektor": the selection starts in the data folder, the chosen row's file opens, and
// ending the program asks about the Dateninspektor's unsaved edits; "Abbrechen" keeps it running.
TEST_F(ProgramTest, DateninspektorOpensTheChosenFileAndTheEndAsksForUnsavedEdits) {
    writeActiveTitle();
    writeSetting(settings, settings::kTaskbar, "1");
    Programm p(environment("/K"));
    ASSERT_TRUE(p.Main());
    TitelDef def = *p.recorder().titles().definitions().begin();
    ASSERT_EQ(
        p.recorder().store().appendAll(def, kBezahlt, {{46366.5, 10, 1}, {46366.6, 11, 1}}).code(),
        0);
    const QString path = p.recorder().store().filePath(def, kBezahlt);
    int ended = 0;
    p.mainWindow()->setEndProgram([&] { ++ended; });

    onNextModal([&](QWidget* d) {
        auto* dialog = qobject_cast<FrmPLVRealtimeTitel*>(d);
        ASSERT_NE(dialog, nullptr);
        EXPECT_EQ(dialog->Katalogliste()->folderPath(), p.recorder().datenpfad());
        dialog->Katalogliste()->setFolderPath(QFileInfo(path).absolutePath());
        ASSERT_EQ(dialog->Titelliste()->topLevelItemCount(), 1);
        dialog->Titelliste()->topLevelItem(0)->setSelected(true);
        child<QPushButton>(dialog, "Okay")->click();
    });
    child<QPushButton>(p.mainWindow(), "btnDateninspektor")->click();
    const auto& windows = p.dateninspektor().windows();
    ASSERT_EQ(windows.size(), 1u);
    InspektorFenster* w = windows.front();
    EXPECT_EQ(w->document().path(), QFileInfo(path).absoluteFilePath());
    ASSERT_TRUE(w->model().setData(w->model().index(1, KursModell::kKurs), "12", Qt::EditRole));

    auto answer = [](const QString& caption) {
        onNextModal([caption](QWidget* box) {
            for (QPushButton* b : box->findChildren<QPushButton*>())
                if (b->isVisible() && b->text().remove('&') == caption) return b->click();
            ADD_FAILURE() << "no " << caption.toStdString();
        });
    };
    answer("Abbrechen");
    p.mainWindow()->MenuClick(Bravolt_Hauptfenster::kBeenden, "Beenden");
    EXPECT_EQ(ended, 0) << "the unsaved edit keeps the program running";
    EXPECT_TRUE(w->isVisible());
    answer("Ja");
    p.mainWindow()->MenuClick(Bravolt_Hauptfenster::kBeenden, "Beenden");
    for (int i = 0; i < 10 && ended == 0; ++i) QCoreApplication::processEvents();
    EXPECT_EQ(ended, 1);
    const QByteArray saved = test::readFile(path);
    EXPECT_EQ(decodeKursSatz(saved.constData() + kHeaderSize + kRecordSize).Kurs, 12.0f);
}

// "Daten..." in the title management opens the run's one Dateninspektor on the title's file.
TEST_F(ProgramTest, TheTitleManagementOpensTheDateninspektor) {
    writeActiveTitle();
    writeSetting(settings, settings::kTaskbar, "1");
    Programm p(environment("/K"));
    ASSERT_TRUE(p.Main());
    const TitelDef def = *p.recorder().titles().definitions().begin();
    ASSERT_EQ(p.recorder().store().appendAll(def, kBezahlt, {{46366.5, 10, 1}}).code(), 0);

    onNextModal([&](QWidget* d) {
        auto* verwaltung = qobject_cast<frmTitelverwaltung*>(d);
        ASSERT_NE(verwaltung, nullptr);
        QTreeView* list = verwaltung->titelliste();
        list->selectionModel()->select(list->model()->index(0, 0),
                                       QItemSelectionModel::Select | QItemSelectionModel::Rows);
        onNextModal([](QWidget* kind) { child<QPushButton>(kind, "Okay")->click(); });
        verwaltung->btnDateninspektor_Click();
        verwaltung->accept();
    });
    child<QPushButton>(p.mainWindow(), "btnVerwaltung")->click();
    const auto& windows = p.dateninspektor().windows();
    ASSERT_EQ(windows.size(), 1u);
    EXPECT_EQ(windows.front()->document().path(),
              QFileInfo(p.recorder().store().filePath(def, kBezahlt)).absoluteFilePath());
    EXPECT_EQ(windows.front()->document().count(), 1);
}

TEST_F(ProgramTest, TheStartDelayWaitsOnTheClockAndCanBeCutShort) {
    writeSetting(settings, settings::kTaskbar, "1");
    {
        Programm p(environment("/W 5"));
        const QDateTime before = clock.now();
        ASSERT_TRUE(p.Main());
        EXPECT_GE(before.msecsTo(clock.now()), 5000);
        EXPECT_LT(before.msecsTo(clock.now()), 6000);
    }
    {
        // "Abbrechen" in the delay window after two seconds continues the start at once.
        ProgramEnvironment env = environment("/W 30000");
        int waits = 0;
        env.waitABit = [&] {
            clock.advanceMs(250);
            if (++waits != 8) return;
            for (QWidget* w : QApplication::topLevelWidgets()) {
                if (w->objectName() == QStringLiteral("frmStartverzögerung") && w->isVisible())
                    child<QPushButton>(w, "Abbruch")->click();
            }
        };
        const QDateTime before = clock.now();
        Programm cut(env);
        ASSERT_TRUE(cut.Main());
        EXPECT_EQ(before.msecsTo(clock.now()), 2000);
    }
}

TEST_F(ProgramTest, LowFreeSpaceWarnsOncePerVolumeAndAMissingDataRootIsAStartError) {
    writeSetting(settings, settings::kTaskbar, "1");
    {
        ProgramEnvironment env = environment();
        env.freeKilobytes = [](const QString&) { return std::optional<qint64>(10000); };
        Programm p(env);
        ASSERT_TRUE(p.Main());
        ASSERT_GE(messages.shown.size(), 1u);
        EXPECT_TRUE(
            messages.shown[0].text.startsWith("Warnung: der verwendete Datenträger (Laufwerk "));
        EXPECT_TRUE(
            messages.shown[0].text.contains("hat weniger als 20 MB freien Speichernplatz!"));
        EXPECT_EQ(messages.shown.size(), 1u) << "program and data folder on one volume";
    }
    messages.shown.clear();
    test::writeFile(dir.path() + "/eine-datei", "x");
    writeSetting(settings, settings::kDatenpfad, dir.path() + "/eine-datei/daten");
    Programm p(environment());
    EXPECT_FALSE(p.Main());
    ASSERT_EQ(messages.shown.size(), 1u);
    EXPECT_TRUE(messages.shown[0].text.startsWith("Fehler beim Starten aufgetreten: "));
    EXPECT_TRUE(messages.shown[0].text.endsWith(
        "\nPrüfen Sie bitte, ob die API von Quesna Bravolt korrekt installiert ist."));
}

// "AutoDatenpflege" on: right after start-up the progress window fills every active title from
// 00:00 and closes by itself; an end asked for meanwhile stops it without a message.
TEST_F(ProgramTest, AutoDatenpflegeRunsAfterStartUpAndAnEndStopsItQuietly) {
    writeActiveTitle();
    writeSetting(settings, settings::kTaskbar, "1");
    writeSetting(settings, settings::kAutoDatenpflege, "1");
    for (const bool endMeanwhile : {false, true}) {
        QStringList log;  // outlives the program, which logs while it ends
        Programm p(environment());
        QObject::connect(&p.recorder(), &Recorder::logLine, [&](const QString& l) { log << l; });
        ASSERT_TRUE(p.Main());
        EXPECT_TRUE(p.mainWindow()->isEnabled()) << "start-up has ended first";
        int ended = 0;
        p.mainWindow()->setEndProgram([&] { ++ended; });
        std::vector<TitelDef> titles;
        double startzeit = -1;
        test::onNextModal([&](QWidget* w) {
            auto* window = qobject_cast<frmDatenpflegeFortschritt*>(w);
            ASSERT_NE(window, nullptr);
            titles = window->aktualTitel();
            startzeit = window->startzeit();
            if (endMeanwhile) std::raise(SIGTERM);
        });
        const auto over = [&] { return log.filter("Datenpflege beendet").size() == 1; };
        for (int i = 0; i < 1000 && !over(); ++i) QCoreApplication::processEvents();
        ASSERT_TRUE(over()) << log.join('\n').toStdString();
        for (int i = 0; i < 10; ++i) QCoreApplication::processEvents();
        EXPECT_EQ(QApplication::activeModalWidget(), nullptr) << "the window closed itself";
        ASSERT_EQ(titles.size(), 1u);
        EXPECT_EQ(titles[0].WKN, (*p.recorder().titles().definitions().begin()).WKN);
        EXPECT_EQ(startzeit, 0.0);
        EXPECT_TRUE(messages.shown.empty()) << messages.shown.front().text.toStdString();
        const QString paid = p.recorder().store().filePath(titles[0], kBezahlt);
        if (endMeanwhile) {
            EXPECT_EQ(ended, 1);
            EXPECT_TRUE(log.last().endsWith("; abgebrochen.")) << log.last().toStdString();
            EXPECT_EQ(p.recorder().session().Status(), 0);
        } else {
            EXPECT_EQ(ended, 0);
            EXPECT_EQ(log.last(), "Datenpflege beendet: 1 von 1 Titeln gefüllt.");
            EXPECT_GT(QFileInfo(paid).size(), kHeaderSize + 1000 * kRecordSize)
                << "ticks since midnight";
        }
        QFile::remove(paid);
    }
}

}  // namespace
}  // namespace vqs
