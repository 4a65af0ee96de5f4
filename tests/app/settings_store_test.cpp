#include "app/settings_store.h"

#include "support/test_support.h"

#include <gtest/gtest.h>

#include <QTemporaryDir>

namespace vqs {
namespace {

TEST(SettingsStore, MissingValuesGiveTheDefaultAndStoredOnesReadBack) {
    QTemporaryDir dir;
    SettingsStore store(dir.path() + "/Tradomir", "TradomirVQS");
    EXPECT_EQ(readSetting(store, settings::Taskbar), "");
    EXPECT_EQ(readSetting(store, settings::Taskbar, "1"), "1");
    EXPECT_EQ(readSetting(store, settings::Anzeigen), "1");
    EXPECT_EQ(readSetting(store, settings::VersionsHinweis), "0");

    EXPECT_TRUE(writeSetting(store, settings::Datenpfad, "/daten/mit, komma"));
    EXPECT_TRUE(
        store.SaveSetting(SettingsStore::appT(), "RealtimeTitel", QStringLiteral("Höhe"), "6300"));
    EXPECT_EQ(readSetting(store, settings::Datenpfad), "/daten/mit, komma");
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
    EXPECT_EQ(readSetting(store, settings::Datenpfad), "/home/anna/Kurse,alt");
    EXPECT_EQ(readSetting(store, settings::AutoDatenpflege), "1");
}

}  // namespace
}  // namespace vqs
