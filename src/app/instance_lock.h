#pragma once

#include <QLockFile>
#include <QString>

namespace vqs {

// One recording program per user at a time: the desktop program or the headless recorder. The
// lock goes with its owner however it ends; a lock left by a dead process is taken over, the
// lock of a running one never.
class InstanceLock {
public:
    explicit InstanceLock(const QString& path);
    // The lock of the user's session (the runtime folder, else the temp folder).
    static QString defaultPath();

    // False when another program holds the lock.
    bool tryLock();
    const QString& path() const { return path_; }

private:
    QString path_;
    QLockFile lock_;
};

// Removes a lock file that a killed process left behind: empty, unreadable, or naming a process
// of this machine that no longer runs. A lock of a running process stays. Settings files are
// locked this way while they are written; a dead lock would make the next write wait.
void removeDeadLockFile(const QString& path);

}  // namespace vqs
