// The headless recorder as a user runs it: a program of its own, without any display.
#include "tools/vqsrecorder.h"
#include "broker/simulated_broker.h"
#include "common/serial_date.h"
#include "datafiles/data_file_check.h"
#include "recording/connection_watchdog.h"
#include "recording/settings_store.h"
#include "support/manual_clock.h"
#include "support/test_support.h"
#include "titles/titel_definitionen_datei.h"
#include "titles/titel_objekt.h"

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QTextStream>

#include <set>
#include <tuple>

namespace vqs {
namespace {

// Three active titles of the README's market, the first with bid and ask.
KeyedCollection<TitelDef> dreiTitel(const broker::SimulatedMarket& market) {
    KeyedCollection<TitelDef> defs;
    for (const char* code : {"633018", "884708", "661677"}) {
        TitelDef d = test::titel(code, "Dax 30", true, QLatin1String(code) == "633018");
        d.Name = market.find(code)->name;
        defs.add(d.id().text(), d);
    }
    return defs;
}

struct HeadlessRecorderTest : ::testing::Test {
    QTemporaryDir dir;
    QString home() const { return dir.path() + "/home"; }

    HeadlessRecorderTest() {
        QDir().mkpath(home());
        QDir().mkpath(dir.path() + "/run");
        QFile::setPermissions(dir.path() + "/run",
                              QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    }

    QProcessEnvironment environment() const {
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert("TRADOMIR_VQS_HOME", home());
        env.insert("XDG_CONFIG_HOME", dir.path() + "/config");
        env.insert("XDG_RUNTIME_DIR", dir.path() + "/run");
        env.insert("BRAVOLT_SIM_RATE", "50");
        env.remove("DISPLAY");
        env.remove("WAYLAND_DISPLAY");
        env.remove("QT_QPA_PLATFORM");
        return env;
    }
    void start(QProcess& p) const {
        p.setProcessEnvironment(environment());
        p.setReadChannel(QProcess::StandardError);  // the log
        p.start(QStringLiteral(VQSRECORDER), {});
        ASSERT_TRUE(p.waitForStarted());
    }
    // Waits for a line of the log that contains `text`; the log so far.
    static QString waitForLog(QProcess& p, const QString& text) {
        QString log;
        test::waitForOutput(p, log, text);
        return log;
    }
};

TEST_F(HeadlessRecorderTest, RecordsWithoutADisplayAndEndsCleanlyOnSigterm) {
    // Three active titles of the README's market, one of them with bid and ask.
    const broker::SimulatedMarket market(broker::SimulationSettings{}.seed, 50);
    const KeyedCollection<TitelDef> defs = dreiTitel(market);
    const QString definitions = home() + "/Bravolt_Titel.Dat";
    writeTitelDefinitionenFile(definitions, defs);
    const QByteArray definitionBytes = test::readFile(definitions);

    QProcess recorder;
    start(recorder);
    QString log = waitForLog(recorder, "3 Titel werden aufgezeichnet, 1 mit Geld/Brief.");
    ASSERT_TRUE(log.contains("Bei der Bravolt-API angemeldet.")) << log.toStdString();
    ASSERT_TRUE(log.contains("3 Titel werden aufgezeichnet")) << log.toStdString();

    // A second start of either program while one runs says so and ends non-zero.
    QProcess second;
    start(second);
    ASSERT_TRUE(second.waitForFinished(10000));
    EXPECT_EQ(second.exitCode(), 1);
    const QString secondLog = QString::fromUtf8(second.readAllStandardError());
    EXPECT_TRUE(secondLog.contains(
        QStringLiteral("bereits gestartet! Es läuft vqsrecorder (Prozess %1) mit dem Ordner %2.")
            .arg(recorder.processId())
            .arg(home())))
        << secondLog.toStdString();

    // Quotes come in; then the system asks it to end.
    const QString folder = home() + "/RealtimeData/Dax 30/";
    auto records = [&](const QString& name) {
        return recordCount(QFileInfo(folder + name).size());
    };
    // The simulated market runs on the computer's clock: wait (bounded) for its quotes.
    for (int i = 0; i < 300 && records("633018-B-BRAVOL-ETR.VQS") < 20; ++i)
        ASSERT_FALSE(recorder.waitForFinished(100)) << "the recorder ended on its own";
    recorder.terminate();
    ASSERT_TRUE(recorder.waitForFinished(5000)) << "ended within five seconds";
    EXPECT_EQ(recorder.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(recorder.exitCode(), 0);
    log += QString::fromUtf8(recorder.readAllStandardError());
    EXPECT_TRUE(log.contains("Von der Bravolt-API abgemeldet.")) << log.toStdString();
    EXPECT_EQ(test::readFile(definitions), definitionBytes) << "the definitions stay as they are";

    // Byte-exact files: the header of the title and kind, then ticks the market really had.
    QStringList files = QDir(folder).entryList({"*.VQS"}, QDir::Files);
    files.sort();
    EXPECT_EQ(files, (QStringList{"633018-B-BRAVOL-ETR.VQS", "633018-BRAVOL-ETR.VQS",
                                  "633018-G-BRAVOL-ETR.VQS", "661677-BRAVOL-ETR.VQS",
                                  "884708-BRAVOL-ETR.VQS"}));
    for (const auto& e : defs) {
        const TitelDef& d = e.value;
        const QString path = folder + d.WKN + "-BRAVOL-ETR.VQS";
        const DataFileScan scan = scanDataFile(path);
        EXPECT_TRUE(scan.problem.isEmpty()) << scan.problem.toStdString();
        EXPECT_EQ(test::readFile(path).left(856),
                  QByteArray(buildHeader(d, kBezahlt).bytes.data(), 856));
        scanDataFile(path, [&](qint64 i, const KursSatz& s) {
            const bool found = test::marketHadPaidTick(market, d.WKN, "ETR", s);
            EXPECT_TRUE(found) << d.WKN.toStdString() << " record " << i;
            return found;
        });
    }
}

// Killed without warning and started again within a second, thirty times: the broker's first
// quote after each start repeats the last tick, and no file gets it twice.
TEST_F(HeadlessRecorderTest, RestartsAfterKillsLeaveNoRepeatedRecord) {
    KeyedCollection<TitelDef> defs;
    for (const char* code : {"633018", "884708"}) {
        const TitelDef d = test::titel(code, "Dax 30", true, true);
        defs.add(d.id().text(), d);
    }
    writeTitelDefinitionenFile(home() + "/Bravolt_Titel.Dat", defs);
    for (int run = 0; run < 30; ++run) {
        QProcess recorder;
        start(recorder);
        ASSERT_TRUE(waitForLog(recorder, "Titel werden aufgezeichnet").contains("aufgezeichnet"));
        recorder.waitForFinished(50 + run * 20);  // a few quotes
        recorder.kill();
        ASSERT_TRUE(recorder.waitForFinished(5000));
    }
    const QString folder = home() + "/RealtimeData/Dax 30/";
    const QStringList files = QDir(folder).entryList({"*.VQS"}, QDir::Files);
    EXPECT_EQ(files.size(), 6);
    for (const QString& name : files) {
        KursSatz previous{-1, 0, 0};
        qint64 repeated = 0, records = 0;
        const DataFileScan scan = scanDataFile(folder + name, [&](qint64, const KursSatz& s) {
            if (s == previous) ++repeated;
            previous = s;
            ++records;
            return true;
        });
        EXPECT_TRUE(scan.problem.isEmpty()) << name.toStdString() << scan.problem.toStdString();
        EXPECT_GT(records, 0) << name.toStdString();
        EXPECT_EQ(repeated, 0) << name.toStdString();
    }
}

// "AutoDatenpflege" on: after start-up the active title is filled from 00:00, its progress in
// the log; the file holds each tick of the day once, in time order.
TEST_F(HeadlessRecorderTest, AutoDatenpflegeFillsTheDayAndLogsItsProgress) {
    const TitelDef d = test::titel("884708", "Dax 30", true);
    KeyedCollection<TitelDef> defs;
    defs.add(d.id().text(), d);
    writeTitelDefinitionenFile(home() + "/Bravolt_Titel.Dat", defs);
    SettingsStore settings(dir.path() + "/config/Tradomir", "TradomirVQS");
    writeSetting(settings, settings::kAutoDatenpflege, "1");

    const double started = serialFromDateTime(QDateTime::currentDateTime());
    QProcess recorder;
    start(recorder);
    QString log = waitForLog(recorder, "Datenpflege beendet");
    recorder.terminate();
    ASSERT_TRUE(recorder.waitForFinished(5000));
    EXPECT_EQ(recorder.exitCode(), 0);
    EXPECT_TRUE(log.contains("Datenpflege: Titel: Name 884708, Status: Daten speichern"))
        << log.toStdString();
    EXPECT_TRUE(log.contains("Datenpflege beendet: 1 von 1 Titeln gefüllt.")) << log.toStdString();

    KursSatz previous{-1, 0, 0};
    qint64 records = 0, disorder = 0, repeated = 0;
    double first = 0;
    scanDataFile(home() + "/RealtimeData/Dax 30/884708-BRAVOL-ETR.VQS",
                 [&](qint64, const KursSatz& s) {
                     if (records++ == 0) first = s.Zeit;
                     disorder += s.Zeit < previous.Zeit;
                     repeated += s == previous;
                     previous = s;
                     return true;
                 });
    EXPECT_LT(first, started) << "ticks from before the start";
    EXPECT_EQ(disorder, 0);
    EXPECT_EQ(repeated, 0);
}

// The broker logs the recorder out after 20 s and refuses logins for 30 s: the recorder notices,
// tries again with growing delays, records again and fills the gap, so that after two minutes
// each paid file holds every tick of the broker's history over that span. On the test's clock.
TEST(HeadlessRecorderOutage, TheGapOfALostConnectionIsFilled) {
    QTemporaryDir dir;
    const QString home = dir.path() + "/home";
    QDir().mkpath(home);
    ManualClock clock(QDateTime(QDate(2026, 12, 10), QTime(10, 0)));
    broker::SimulationSettings simulation;
    simulation.quotesPerSecond = 2;
    simulation.dropAfter = 20;
    simulation.downFor = 30;
    broker::SimulatedBroker broker(simulation, clock);

    const KeyedCollection<TitelDef> defs = dreiTitel(broker.market());
    writeTitelDefinitionenFile(home + "/Bravolt_Titel.Dat", defs);

    SettingsStore settings(dir.path() + "/config", "TradomirVQS");
    QString log;
    QTextStream logStream(&log);
    HeadlessEnvironment env;
    env.programFolder = home;
    env.settings = &settings;
    env.clock = &clock;
    env.brokerFactory = [&] { return broker.createSession(); };
    env.instanceLockPath = dir.path() + "/lock";
    env.log = &logStream;
    HeadlessRecorder recorder(env);
    ASSERT_EQ(recorder.start(), std::nullopt) << log.toStdString();
    recorder.recorder().connection().stop();  // polled below, on the test's clock
    for (int step = 0; step < 1200; ++step) {
        clock.advanceMs(100);
        broker.pump();
        QCoreApplication::processEvents();
        recorder.recorder().connection().poll();
    }
    logStream.flush();
    for (const char* line :
         {"Verbindung unterbrochen seit 10:00:20: Abmeldung durch die Bravolt-API. Neuer Versuch "
          "um 10:00:25.",
          "Anmeldung fehlgeschlagen (Versuch 1): Der Bravolt-Server ist nicht erreichbar. Neuer "
          "Versuch um 10:00:35.",
          "Anmeldung fehlgeschlagen (Versuch 2): Der Bravolt-Server ist nicht erreichbar. Neuer "
          "Versuch um 10:00:55.",
          "Verbindung wiederhergestellt (unterbrochen seit 10:00:20), 3 Titel werden wieder "
          "aufgezeichnet.",
          "Datenpflege beendet: 3 von 3 Titeln gefüllt.",
          "Geld und Brief fehlen von 10:00:20 bis 10:00:55 (die Bravolt-API hat keine Historie "
          "dafür): "})
        EXPECT_TRUE(log.contains(QString::fromUtf8(line))) << line << "\n" << log.toStdString();

    auto session = broker.createSession();
    session->LoginWithAddOnName("Test");
    for (const auto& e : defs) {
        const broker::HistoryResult history = session->runHistory({e.value.RT_WKN, "ETR"});
        std::vector<KursSatz> file;
        scanDataFile(home + "/RealtimeData/Dax 30/" + e.value.WKN + "-BRAVOL-ETR.VQS",
                     [&](qint64, const KursSatz& s) {
                         file.push_back(s);
                         return true;
                     });
        ASSERT_FALSE(file.empty()) << e.key.toStdString();
        std::vector<KursSatz> expected;
        for (const broker::HistoryItem& item : history.items) {
            const double zeit = serialFromDate(*history.date) + *Tageszeit(item.time);
            if (zeit >= file.front().Zeit - 0.001 / 86400)
                expected.push_back(
                    {zeit, static_cast<float>(item.price), static_cast<float>(item.volume)});
        }
        ASSERT_EQ(file.size(), expected.size()) << e.key.toStdString();
        EXPECT_GT(file.size(), 120u) << "two minutes at two quotes a second";
        for (size_t i = 0; i < file.size(); ++i) {
            EXPECT_NEAR(file[i].Zeit, expected[i].Zeit, 0.001 / 86400) << e.key.toStdString() << i;
            EXPECT_EQ(file[i].Kurs, expected[i].Kurs) << e.key.toStdString() << i;
            EXPECT_EQ(file[i].Volume, expected[i].Volume) << e.key.toStdString() << i;
        }
    }
}

TEST(HeadlessRecorderProgram, LinksNeitherQtGuiNorQtWidgets) {
    QProcess ldd;
    ldd.start("ldd", {QStringLiteral(VQSRECORDER)});
    ASSERT_TRUE(ldd.waitForFinished(10000));
    const QString libraries = QString::fromUtf8(ldd.readAllStandardOutput());
    EXPECT_TRUE(libraries.contains("libQt6Core"));
    EXPECT_FALSE(libraries.contains("libQt6Gui"));
    EXPECT_FALSE(libraries.contains("libQt6Widgets"));
}

}  // namespace
}  // namespace vqs
