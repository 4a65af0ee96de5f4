#include "common/password_file.h"

#include <QFile>

#include <sys/stat.h>

#include <cerrno>
#include <cstring>

namespace vqs {

Result<QString> readPassword(const QString& path) {
    struct stat st {};
    if (::stat(QFile::encodeName(path).constData(), &st) != 0) {
        const int error = errno;
        return Error{error, QStringLiteral("Die Passwortdatei %1 ist nicht lesbar: %2")
                                .arg(path, QString::fromLocal8Bit(std::strerror(error)))};
    }
    if (!S_ISREG(st.st_mode))
        return Error{kPasswordRefused,
                     QStringLiteral("Die Passwortdatei %1 ist keine Datei.").arg(path)};
    if ((st.st_mode & (S_IRWXG | S_IRWXO)) != 0)
        return Error{kPasswordRefused,
                     QStringLiteral("Die Passwortdatei %1 darf nur für ihren Eigentümer lesbar "
                                    "sein (chmod 600 %1).")
                         .arg(path)};
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return Error{EACCES, QStringLiteral("Die Passwortdatei %1 ist nicht lesbar: %2")
                                 .arg(path, file.errorString())};
    QString password = QString::fromUtf8(file.readLine());
    while (password.endsWith(QLatin1Char('\n')) || password.endsWith(QLatin1Char('\r')))
        password.chop(1);
    if (password.isEmpty())
        return Error{kPasswordRefused, QStringLiteral("Die Passwortdatei %1 ist leer.").arg(path)};
    return password;
}

}  // namespace vqs
