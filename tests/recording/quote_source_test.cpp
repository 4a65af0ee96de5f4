#include "recording/quote_source.h"

#include "common/error.h"
#include "support/fake_keyring.h"
#include "support/test_support.h"

#include <gtest/gtest.h>

#include <QFile>

namespace vqs {
namespace {

// Where the FIX source's password comes from: the keyring first, the password file where the
// keyring holds none or does not answer; a named user whose password neither gives is an error
// that says why, not a logon without it.
TEST(FixSourcePassword, TheKeyringFirstThenThePasswordFile) {
    struct Case {
        const char* name;
        bool reachable;
        bool inKeyring;
        bool file;
        const char* user;
        QString password;  // empty and `error` set: refused
        const char* error = nullptr;
    } cases[] = {
        {"in the keyring, file ignored", true, true, true, "anna", "aus dem Schlüsselbund"},
        {"none in the keyring", true, false, true, "anna", "aus der Datei"},
        {"no keyring answers", false, false, true, "anna", "aus der Datei"},
        {"neither, keyring answers", true, false, false, "anna", ""},
        {"neither, no keyring", false, false, false, "anna", "",
         "der Schlüsselbund antwortet nicht (kein Schlüsselbund erreichbar)"},
        {"no user: no keyring asked", false, false, false, "", ""},
    };
    for (const Case& c : cases) {
        test::TestContext t;
        const QString file = t.dir.filePath("passwort");
        test::writeFile(file, "aus der Datei\n");
        QFile::setPermissions(file, QFile::ReadOwner | QFile::WriteOwner);
        writeSetting(t.settings, settings::kKursquelleArt, "FIX");
        writeSetting(t.settings, settings::kKursquelleHost, "kurse.example.net");
        writeSetting(t.settings, settings::kKursquellePort, "9878");
        writeSetting(t.settings, settings::kKursquelleBenutzer, c.user);
        if (c.file) writeSetting(t.settings, settings::kKursquellePasswortDatei, file);
        test::FakeKeyring keyring;
        if (c.inKeyring)
            keyring.held[kursquelleKeyringKey("anna", "kurse.example.net")] =
                "aus dem Schlüsselbund";
        keyring.reachable = c.reachable;
        try {
            const broker::FixSourceSettings fix = readFixSource(t.settings, t.dir.path(), keyring);
            EXPECT_FALSE(c.error) << c.name;
            EXPECT_EQ(fix.password, c.password) << c.name;
        } catch (const VqsError& e) {
            ASSERT_TRUE(c.error) << c.name << ": " << e.message().toStdString();
            EXPECT_TRUE(e.message().contains(QString::fromUtf8(c.error)))
                << c.name << ": " << e.message().toStdString();
            EXPECT_TRUE(e.message().contains("PasswortDatei")) << c.name;
        }
    }
}

}  // namespace
}  // namespace vqs
