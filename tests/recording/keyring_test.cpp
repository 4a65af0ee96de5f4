// The desktop's keyring for real: these tests run on a D-Bus session of their own with an
// unlocked keyring in a temporary home (tests/support/with_private_keyring.sh), or with no
// session bus at all (NoKeyring).
#include "recording/keyring.h"

#include "broker/simulated_broker.h"
#include "broker/simulated_market.h"
#include "common/serial_date.h"
#include "datafiles/data_file_check.h"
#include "recording/settings_store.h"
#include "support/test_support.h"
#include "titles/titel_definitionen_datei.h"

#include <gtest/gtest.h>

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>

#include <signal.h>

namespace vqs {
namespace {

using Kind = Keyring::Answer::Kind;

TEST(DesktopKeyring, StoresReadsReplacesAndRemovesAPassword) {
    Keyring& keyring = desktopKeyring();
    const QString key = kursquelleKeyringKey("anna", "kurse.example.net");
    EXPECT_EQ(keyring.read(key).kind, Kind::kNotFound);
    ASSERT_EQ(keyring.write(key, "geheim").kind, Kind::kDone);
    ASSERT_EQ(keyring.write(key, "neu: äöü ß").kind, Kind::kDone);
    const Keyring::Answer found = keyring.read(key);
    EXPECT_EQ(found.kind, Kind::kDone);
    EXPECT_EQ(found.text, "neu: äöü ß");
    EXPECT_EQ(keyring.read(kursquelleKeyringKey("anna", "andere.example.net")).kind,
              Kind::kNotFound);
    EXPECT_EQ(keyring.remove(key).kind, Kind::kDone);
    EXPECT_EQ(keyring.read(key).kind, Kind::kNotFound);
    EXPECT_EQ(keyring.remove(key).kind, Kind::kDone) << "nothing there is what removing wants";
}

// Starts vqsfeed with a user and password on `port` (0: a free one); its port.
int startFeed(QProcess& feed, QString& log, const QString& passwordFile, const QString& store,
              int port) {
    feed.setReadChannel(QProcess::StandardError);
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("BRAVOLT_SIM_RATE", "50");
    feed.setProcessEnvironment(env);
    feed.start(QStringLiteral(VQSFEED), {"--port", QString::number(port), "--user", "anna",
                                         "--password-file", passwordFile, "--store-dir", store});
    if (!feed.waitForStarted()) return 0;
    return test::vqsfeedPort(feed, log);
}

// The recorder as a user runs it over FIX: vqsfeed asks for a password, the recorder takes it
// from the keyring (no password file) and records the simulated market's own paid ticks; vqsfeed
// killed and started again: the recorder notices, logs on again, records again, and no record
// repeats at the seam.
TEST(DesktopKeyring, TheRecorderRecordsFromVqsfeedWithThePasswordFromTheKeyring) {
    QTemporaryDir dir;
    const QString passwordFile = dir.filePath("feed-passwort");
    test::writeFile(passwordFile, "Kennwort 1\n");
    QFile::setPermissions(passwordFile, QFile::ReadOwner | QFile::WriteOwner);

    QProcess feed;
    test::KilledAtEnd feedEnded{feed};
    QString feedLog;
    const int port = startFeed(feed, feedLog, passwordFile, dir.filePath("feed"), 0);
    ASSERT_NE(port, 0) << feedLog.toStdString();

    const QString home = dir.filePath("home");
    QDir().mkpath(home);
    QDir().mkpath(dir.filePath("config/Tradomir"));
    const broker::SimulatedMarket market(broker::SimulationSettings{}.seed, 50);
    KeyedCollection<TitelDef> defs;
    for (const char* code : {"633018", "884708"}) {
        const TitelDef def = test::titel(code, "Dax 30", true);
        defs.add(def.id().text(), def);
    }
    writeTitelDefinitionenFile(home + "/Bravolt_Titel.Dat", defs);
    test::writeFile(dir.filePath("config/Tradomir/TradomirVQS.ini"),
                    QStringLiteral("[Kursquelle]\nArt=FIX\nHost=127.0.0.1\nPort=%1\n"
                                   "Benutzer=anna\n")
                        .arg(port)
                        .toUtf8());
    ASSERT_EQ(desktopKeyring().write(kursquelleKeyringKey("anna", "127.0.0.1"), "Kennwort 1").kind,
              Kind::kDone);

    QProcess recorder;
    test::KilledAtEnd recorderEnded{recorder};
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("TRADOMIR_VQS_HOME", home);
    env.insert("XDG_CONFIG_HOME", dir.filePath("config"));
    recorder.setProcessEnvironment(env);
    recorder.setReadChannel(QProcess::StandardError);
    recorder.start(QStringLiteral(VQSRECORDER), {});
    ASSERT_TRUE(recorder.waitForStarted());
    QString log;
    test::waitForOutput(recorder, log, "2 Titel werden aufgezeichnet");
    ASSERT_TRUE(log.contains("Bei der Bravolt-API angemeldet.")) << log.toStdString();

    const QString folder = home + "/RealtimeData/Dax 30/";
    auto records = [&](const char* code) {
        return recordCount(QFileInfo(folder + code + "-BRAVOL-ETR.VQS").size());
    };
    // The market runs on the computer's clock: wait (bounded) for its quotes.
    auto recordsReach = [&](qint64 n) {
        for (int i = 0; i < 300 && (records("633018") < n || records("884708") < n); ++i)
            if (recorder.waitForFinished(100)) return false;
        return records("633018") >= n && records("884708") >= n;
    };
    ASSERT_TRUE(recordsReach(10)) << log.toStdString();

    // The feed dies without a word and comes back on its port.
    feed.kill();
    feed.waitForFinished();
    test::waitForOutput(recorder, log, "Verbindung unterbrochen");
    QProcess again;
    test::KilledAtEnd againEnded{again};
    QString againLog;
    ASSERT_EQ(startFeed(again, againLog, passwordFile, dir.filePath("feed"), port), port)
        << againLog.toStdString();
    test::waitForOutput(recorder, log, "Verbindung wiederhergestellt");
    ASSERT_TRUE(log.contains("Verbindung wiederhergestellt")) << log.toStdString();
    const qint64 atSeam = std::min(records("633018"), records("884708"));
    ASSERT_TRUE(recordsReach(atSeam + 10)) << log.toStdString();

    recorder.terminate();
    ASSERT_TRUE(recorder.waitForFinished(10000));
    EXPECT_EQ(recorder.exitCode(), 0);
    log += QString::fromUtf8(recorder.readAllStandardError());
    EXPECT_FALSE(log.contains("Kennwort")) << "the password is never logged";
    ::kill(static_cast<pid_t>(again.processId()), SIGTERM);
    ASSERT_TRUE(again.waitForFinished(20000));
    test::waitForOutput(again, againLog, "vqsfeed beendet");
    EXPECT_TRUE(againLog.contains("Anmeldung von \"anna\"")) << againLog.toStdString();

    for (const char* code : {"633018", "884708"}) {
        double last = 0;
        scanDataFile(folder + code + "-BRAVOL-ETR.VQS", [&](qint64 i, const KursSatz& s) {
            EXPECT_GT(s.Zeit, last) << code << " record " << i << " repeats or goes back";
            last = s.Zeit;
            const bool found = test::marketHadPaidTick(market, code, "ETR", s);
            EXPECT_TRUE(found) << code << " record " << i << " is not the market's";
            return found;
        });
    }
    // Nor in any file it keeps (the definitions, QuickFIX's store).
    for (const QString& kept : {home, home + "/FIX"})
        for (const QFileInfo& file : QDir(kept).entryInfoList(QDir::Files))
            EXPECT_FALSE(test::readFile(file.filePath()).contains("Kennwort"))
                << file.filePath().toStdString();
    EXPECT_FALSE(
        test::readFile(dir.filePath("config/Tradomir/TradomirVQS.ini")).contains("Kennwort"));
    desktopKeyring().remove(kursquelleKeyringKey("anna", "127.0.0.1"));
}

// Where no keyring answers, that is what the answer says: not "no password there".
TEST(NoKeyring, EveryCallAnswersUnreachableWithTheReason) {
    Keyring& keyring = desktopKeyring();
    const QString key = kursquelleKeyringKey("anna", "kurse.example.net");
    for (const Keyring::Answer& answer :
         {keyring.read(key), keyring.write(key, "geheim"), keyring.remove(key)}) {
        EXPECT_EQ(answer.kind, Kind::kUnreachable);
        EXPECT_FALSE(answer.text.isEmpty());
    }
}

}  // namespace
}  // namespace vqs
