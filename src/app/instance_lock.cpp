#include "app/instance_lock.h"

#include "common/process.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStandardPaths>
#include <QSysInfo>

namespace vqs {
namespace {

// A lock file is written in one go right after it is made; one that is still empty after this
// long lost its owner while it was written.
constexpr qint64 kWritingLockMs = 5000;

}  // namespace

InstanceLock::InstanceLock(const QString& path) : path_(path), lock_(path) {
    lock_.setStaleLockTime(0);  // only a dead owner frees the lock
}

QString InstanceLock::defaultPath() {
    QString dir = QStandardPaths::writableLocation(QStandardPaths::RuntimeLocation);
    if (dir.isEmpty()) dir = QDir::tempPath();
    return dir + QStringLiteral("/TradomirVQS.lock");
}

bool InstanceLock::tryLock() {
    if (lock_.tryLock(0)) return true;
    if (lock_.error() != QLockFile::LockFailedError) return false;
    removeDeadLockFile(path_);
    return lock_.tryLock(0);
}

void removeDeadLockFile(const QString& path) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) return;
    // QLockFile writes the owner's number, the program and the machine, one per line.
    const QList<QByteArray> lines = file.read(4096).split('\n');
    file.close();
    bool ok = false;
    const qint64 pid = lines.value(0).trimmed().toLongLong(&ok);
    if (!ok || pid <= 0) {
        const QDateTime written = QFileInfo(path).lastModified();
        if (written.msecsTo(QDateTime::currentDateTime()) < kWritingLockMs) return;
    } else {
        const QByteArray host = lines.value(2).trimmed();
        if (!host.isEmpty() && host != QSysInfo::machineHostName().toUtf8()) return;
        if (processRuns(pid)) return;
    }
    QFile::remove(path);
}

}  // namespace vqs
