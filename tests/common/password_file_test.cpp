#include "common/password_file.h"

#include "support/test_support.h"

#include <gtest/gtest.h>

#include <QFile>
#include <QTemporaryDir>

#include <cerrno>

namespace vqs {
namespace {

// What each kind of password file gives: the first line, or the error with its code and the
// words the user reads (a file that others may read is refused).
TEST(PasswordFile, GivesTheFirstLineOrWhyNot) {
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("passwort"));
    const QFile::Permissions owner = QFile::ReadOwner | QFile::WriteOwner;
    const struct Case {
        const char* what;
        const char* content;  // none: no file
        QFile::Permissions permissions;
        int code;
        QString given;  // the password, or the error's text
    } cases[] = {
        {"usable", "geheim\r\nzweite Zeile\n", owner, 0, "geheim"},
        {"missing", nullptr, owner, ENOENT,
         "Die Passwortdatei " + path + " ist nicht lesbar: No such file or directory"},
        {"readable by the group", "geheim\n", owner | QFile::ReadGroup, kPasswordRefused,
         "Die Passwortdatei " + path + " darf nur für ihren Eigentümer lesbar sein (chmod 600 " +
             path + ")."},
        {"empty first line", "\ngeheim\n", owner, kPasswordRefused,
         "Die Passwortdatei " + path + " ist leer."},
    };
    for (const Case& c : cases) {
        QFile::remove(path);
        if (c.content) {
            test::writeFile(path, c.content);
            ASSERT_TRUE(QFile::setPermissions(path, c.permissions)) << c.what;
        }
        const Result<QString> password = readPassword(path);
        EXPECT_EQ(password.code(), c.code) << c.what;
        EXPECT_EQ(password ? *password : password.error().text, c.given) << c.what;
    }
}

}  // namespace
}  // namespace vqs
