#include "recording/instance_lock.h"

#include "common/process.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>
#include <QStandardPaths>
#include <QSysInfo>

namespace vqs {
namespace {

// A lock file is written in one go right after it is made; one that is still empty after this
// long lost its owner while it was written.
constexpr qint64 kWritingLockMs = 5000;

}  // namespace

InstanceLock::InstanceLock(const QString& path, const QString& program, const QString& home)
    : path_(path), self_{program, processId(), home}, lock_(path) {
    lock_.setStaleLockTime(0);  // only a dead owner frees the lock
}

InstanceLock::~InstanceLock() {
    // The name goes before the lock, so that it never names a lock that is not ours.
    if (lock_.isLocked()) QFile::remove(ownerPath());
}

QString InstanceLock::ownerPath() const { return path_ + QStringLiteral(".owner"); }

QString InstanceLock::defaultPath() {
    QString dir = QStandardPaths::writableLocation(QStandardPaths::RuntimeLocation);
    if (dir.isEmpty()) dir = QDir::tempPath();
    return dir + QStringLiteral("/TradomirVQS.lock");
}

bool InstanceLock::tryLock() {
    if (!lock_.tryLock(0)) {
        if (lock_.error() != QLockFile::LockFailedError) return false;
        removeDeadLockFile(path_);
        if (!lock_.tryLock(0)) return false;
    }
    // Written aside and renamed: a second start reads the whole name or none. A name that
    // cannot be written only leaves a second start less to say.
    QSaveFile owner(ownerPath());
    if (owner.open(QIODevice::WriteOnly)) {
        owner.write(
            QStringLiteral("%1\n%2\n%3\n").arg(self_.pid).arg(self_.program, self_.home).toUtf8());
        owner.commit();
    }
    return true;
}

std::optional<InstanceOwner> InstanceLock::owner() const {
    qint64 pid = 0;
    QString host, application;
    if (!lock_.getLockInfo(&pid, &host, &application) || pid <= 0) return std::nullopt;
    InstanceOwner owner{QString(), pid, QString()};
    QFile file(ownerPath());
    if (file.open(QIODevice::ReadOnly)) {
        const QStringList lines = QString::fromUtf8(file.read(64 * 1024)).split(QLatin1Char('\n'));
        // A name left by an earlier holder that was killed is not this holder's.
        if (lines.size() >= 3 && lines[0].toLongLong() == pid) {
            owner.program = lines[1];
            owner.home = lines[2];
        }
    }
    return owner;
}

QString alreadyStartedMessage(const std::optional<InstanceOwner>& owner) {
    QString text = QStringLiteral("Tradomir VQS für Bravolt wurde bereits gestartet!");
    if (!owner) return text;
    if (owner->program.isEmpty())
        text += QStringLiteral("\nEs läuft als Prozess %1.").arg(owner->pid);
    else
        text += QStringLiteral("\nEs läuft %1 (Prozess %2) mit dem Ordner %3.")
                    .arg(owner->program)
                    .arg(owner->pid)
                    .arg(QDir::toNativeSeparators(owner->home));
    return text + QStringLiteral(
                      "\nJe Benutzer läuft nur eines der Programme TradomirVQS und vqsrecorder, "
                      "gleich mit welchem Ordner.");
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
