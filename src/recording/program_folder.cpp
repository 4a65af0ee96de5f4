#include "recording/program_folder.h"

#include <QDir>
#include <QFileInfo>
#include <QStandardPaths>

namespace vqs {

QString resolveProgramFolder(const QString& executableFolder) {
    QString folder = qEnvironmentVariable("TRADOMIR_VQS_HOME");
    if (folder.isEmpty()) {
        QFileInfo exe(executableFolder);
        folder = exe.isDir() && exe.isWritable()
                     ? executableFolder
                     : QStandardPaths::writableLocation(QStandardPaths::AppDataLocation);
    }
    QDir().mkpath(folder);
    return QDir::cleanPath(QDir(folder).absolutePath());
}

}  // namespace vqs
