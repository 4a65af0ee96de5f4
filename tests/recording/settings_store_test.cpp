#include "recording/settings_store.h"

#include "recording/instance_lock.h"

#include "support/test_support.h"

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QDateTime>
#include <QElapsedTimer>
#include <QFile>
#include <QSysInfo>
#include <QTemporaryDir>

namespace vqs {
namespace {

TEST(SettingsStore, MissingValuesGiveTheDefaultAndStoredOnesReadBack) {
    QTemporaryDir dir;
    SettingsStore store(dir.path() + "/Tradomir", "TradomirVQS");
    EXPECT_EQ(readSetting(store, settings::kTaskbar), "");
    EXPECT_EQ(readSetting(store, settings::kTaskbar, "1"), "1");
    EXPECT_EQ(readSetting(store, settings::kAnzeigen), "1");
    EXPECT_EQ(readSetting(store, settings::kVersionsHinweis), "0");

    EXPECT_TRUE(writeSetting(store, settings::kDatenpfad, "/daten/mit, komma"));
    EXPECT_TRUE(
        store.SaveSetting(SettingsStore::appT(), "RealtimeTitel", QStringLiteral("Höhe"), "6300"));
    EXPECT_EQ(readSetting(store, settings::kDatenpfad), "/daten/mit, komma");
    EXPECT_EQ(store.GetSetting("Tradomir", "RealtimeTitel", QStringLiteral("Höhe"), ""), "6300");

    // Application T and X are two files named after them.
    EXPECT_TRUE(QFile::exists(dir.path() + "/Tradomir/Tradomir.ini"));
    EXPECT_TRUE(QFile::exists(dir.path() + "/Tradomir/TradomirVQS.ini"));
    EXPECT_EQ(store.GetSetting("Tradomir", "Optionen", "Datenpfad", "nichts"), "nichts");
}

TEST(SettingsStore, AHandWrittenDataFolderIsReadAsOneText) {
    QTemporaryDir dir;
    test::writeFile(dir.path() + "/TradomirVQS.ini",
                    "[Optionen]\nDatenpfad=/home/anna/Kurse,alt\nAutoDatenpflege=1\n");
    SettingsStore store(dir.path(), "TradomirVQS");
    EXPECT_EQ(readSetting(store, settings::kDatenpfad), "/home/anna/Kurse,alt");
    EXPECT_EQ(readSetting(store, settings::kAutoDatenpflege), "1");
}

// Windows keeps them where the charting program looks: the registry key of the platform's own
// settings functions.
TEST(SettingsStore, EachPlatformHasItsPlaceForAnApplication) {
    const SettingsLocation windows =
        settingsLocation("/ignored", "Tradomir", SettingsPlatform::kWindows);
    EXPECT_TRUE(windows.registry);
    EXPECT_EQ(windows.path, "HKEY_CURRENT_USER\\Software\\VB and VBA Program Settings\\Tradomir");
    const SettingsLocation other =
        settingsLocation("/home/anna/.config/Tradomir", "TradomirVQS", SettingsPlatform::kOther);
    EXPECT_FALSE(other.registry);
    EXPECT_EQ(other.path, "/home/anna/.config/Tradomir/TradomirVQS.ini");
}

// A lock file left by a killed writer never holds the next write: an empty one (killed while it
// was made) and one naming a process that is gone are taken away, a live one stays.
TEST(SettingsStore, ALockLeftByADeadWriterDoesNotHoldTheNextWrite) {
    QTemporaryDir dir;
    SettingsStore store(dir.path(), "TradomirVQS");
    const QString lock = dir.path() + "/TradomirVQS.ini.lock";
    test::writeFile(lock, {});
    {
        QFile old(lock);  // left by a run killed ten seconds ago
        ASSERT_TRUE(old.open(QIODevice::ReadWrite));
        old.setFileTime(QDateTime::currentDateTime().addSecs(-10),
                        QFileDevice::FileModificationTime);
    }
    QElapsedTimer took;
    took.start();
    EXPECT_TRUE(writeSetting(store, settings::kAnzeigen, "0"));
    EXPECT_LT(took.elapsed(), 5000) << "no wait for a dead lock";
    EXPECT_EQ(readSetting(store, settings::kAnzeigen), "0");

    test::writeFile(lock, "999999999\nTradomirVQS\n" + QSysInfo::machineHostName().toUtf8() + "\n");
    removeDeadLockFile(lock);
    EXPECT_FALSE(QFile::exists(lock)) << "its process is gone";
    test::writeFile(lock, QByteArray::number(QCoreApplication::applicationPid()) + "\nx\n" +
                              QSysInfo::machineHostName().toUtf8() + "\n");
    removeDeadLockFile(lock);
    EXPECT_TRUE(QFile::exists(lock)) << "a running process keeps its lock";
}

}  // namespace
}  // namespace vqs
