#include "recording/instance_lock.h"

#include "common/process.h"
#include "support/test_support.h"

#include <gtest/gtest.h>

#include <QFile>
#include <QTemporaryDir>

namespace vqs {
namespace {

const QString kFirst = QStringLiteral("Tradomir VQS für Bravolt wurde bereits gestartet!");
const QString kOneUser = QStringLiteral(
    "Je Benutzer läuft nur eines der Programme TradomirVQS und vqsrecorder, gleich mit welchem "
    "Ordner.");

// One program per user, whatever home each uses: the second start is told which program holds
// the lock, its process and its home; once the holder ends, the next one takes the lock and is
// named instead.
TEST(InstanceLock, ASecondStartIsToldWhichProgramRunsWhere) {
    QTemporaryDir dir;
    const QString path = dir.path() + "/TradomirVQS.lock";
    auto desktop = std::make_unique<InstanceLock>(path, "TradomirVQS", "/home/anna/vqs");
    ASSERT_TRUE(desktop->tryLock());

    InstanceLock recorder(path, "vqsrecorder", "/srv/vqs");
    EXPECT_FALSE(recorder.tryLock()) << "another home folder, the same lock";
    const std::optional<InstanceOwner> owner = recorder.owner();
    ASSERT_TRUE(owner);
    EXPECT_EQ(owner->program, "TradomirVQS");
    EXPECT_EQ(owner->pid, processId());
    EXPECT_EQ(owner->home, "/home/anna/vqs");
    EXPECT_EQ(alreadyStartedMessage(owner),
              kFirst +
                  QStringLiteral("\nEs läuft TradomirVQS (Prozess %1) mit dem Ordner "
                                 "/home/anna/vqs.\n")
                      .arg(processId()) +
                  kOneUser);

    desktop.reset();
    EXPECT_FALSE(QFile::exists(path + ".owner")) << "the name goes with its lock";
    ASSERT_TRUE(recorder.tryLock());
    InstanceLock third(path, "TradomirVQS", "/home/anna/vqs");
    EXPECT_FALSE(third.tryLock());
    EXPECT_EQ(third.owner()->program, "vqsrecorder");
    EXPECT_EQ(third.owner()->home, "/srv/vqs");
}

// A name that is not the holder's (left by a killed earlier holder) is not told; the process is.
TEST(InstanceLock, ANameLeftByAnEarlierHolderIsNotTold) {
    QTemporaryDir dir;
    const QString path = dir.path() + "/TradomirVQS.lock";
    InstanceLock holder(path, "TradomirVQS", "/home/anna/vqs");
    ASSERT_TRUE(holder.tryLock());
    test::writeFile(path + ".owner", "999999999\nvqsrecorder\n/srv/alt\n");

    InstanceLock second(path, "vqsrecorder", "/srv/vqs");
    ASSERT_FALSE(second.tryLock());
    const std::optional<InstanceOwner> owner = second.owner();
    ASSERT_TRUE(owner);
    EXPECT_EQ(owner->pid, processId());
    EXPECT_TRUE(owner->program.isEmpty());
    EXPECT_EQ(alreadyStartedMessage(owner),
              kFirst + QStringLiteral("\nEs läuft als Prozess %1.\n").arg(processId()) + kOneUser);
    EXPECT_EQ(alreadyStartedMessage(std::nullopt), kFirst);
}

}  // namespace
}  // namespace vqs
