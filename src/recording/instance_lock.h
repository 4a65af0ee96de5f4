#pragma once

#include <QLockFile>
#include <QString>

#include <optional>

namespace vqs {

// Who holds the lock: the program's name, its process and its home folder.
struct InstanceOwner {
    QString program;  // "TradomirVQS" or "vqsrecorder"
    qint64 pid = 0;
    QString home;
};

// One recording program per user at a time: the desktop program or the headless recorder, whatever
// home folder each of them uses (they would record into the same settings). The lock goes with its
// owner however it ends; a lock left by a dead process is taken over, the lock of a running one
// never. Its holder is written beside it, so that a second start can say who runs.
class InstanceLock {
public:
    // program and home: what a second start is told about this one.
    InstanceLock(const QString& path, const QString& program, const QString& home);
    ~InstanceLock();
    InstanceLock(const InstanceLock&) = delete;
    InstanceLock& operator=(const InstanceLock&) = delete;

    // The lock of the user's session (the runtime folder, else the temp folder).
    static QString defaultPath();

    // False when another program holds the lock.
    bool tryLock();
    const QString& path() const { return path_; }
    // Who holds the lock, as far as can be told (a holder that has just started may not have
    // written its name yet): none when no process can be named.
    std::optional<InstanceOwner> owner() const;

private:
    QString ownerPath() const;

    QString path_;
    InstanceOwner self_;
    QLockFile lock_;
};

// "Tradomir VQS für Bravolt wurde bereits gestartet!", and which program runs where.
QString alreadyStartedMessage(const std::optional<InstanceOwner>& owner);

// Removes a lock file that a killed process left behind: empty, unreadable, or naming a process
// of this machine that no longer runs. A lock of a running process stays. Settings files are
// locked this way while they are written; a dead lock would make the next write wait.
void removeDeadLockFile(const QString& path);

}  // namespace vqs
