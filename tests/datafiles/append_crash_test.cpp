#include "datafiles/data_file_check.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QProcess>
#include <QRandomGenerator>
#include <QTemporaryDir>

#include <map>

namespace vqs {
namespace {

// Kills an appending process at random moments, again and again: every file must stay a valid
// data file, and every append that had completed must be in it.
TEST(AppendCrash, KilledAtRandomMomentsLeavesOnlyValidFilesAndLosesNoCompletedAppend) {
    QRandomGenerator random(20261210);
    int killedWhileRunning = 0;
    for (int round = 0; round < 40; ++round) {
        QTemporaryDir root;
        QProcess helper;
        helper.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        helper.start(QStringLiteral(APPEND_CRASH_HELPER), {root.path()});
        ASSERT_TRUE(helper.waitForStarted());

        // Wait for a random number of completed appends, then kill without warning.
        const int killAfter = static_cast<int>(random.bounded(1, 3000));
        std::map<long, long> completed;  // title -> records written by completed appends
        QByteArray pending;
        int reports = 0;
        auto take = [&](const QByteArray& bytes) {
            pending += bytes;
            qsizetype nl;
            while ((nl = pending.indexOf('\n')) >= 0) {
                const QList<QByteArray> parts = pending.left(nl).split(' ');
                pending.remove(0, nl + 1);
                if (parts.size() == 2) {
                    completed[parts[0].toLong()] = parts[1].toLong();
                    ++reports;
                }
            }
        };
        while (reports < killAfter && helper.state() == QProcess::Running) {
            if (helper.waitForReadyRead(30000))
                take(helper.readAllStandardOutput());
            else
                break;
        }
        ASSERT_EQ(helper.state(), QProcess::Running) << "the helper stopped on its own";
        helper.kill();
        ASSERT_TRUE(helper.waitForFinished(30000));
        ++killedWhileRunning;
        take(helper.readAllStandardOutput());  // appends that completed before the kill

        for (const auto& [title, records] : completed) {
            const QString folder = root.path() + QStringLiteral("/Ordner%1/").arg(title % 4);
            const QString path = folder + QStringLiteral("T%1-BRAVOL-ETR.VQS").arg(title);
            DataFileScan scan = scanDataFile(path);
            EXPECT_TRUE(scan.problem.isEmpty())
                << path.toStdString() << ": " << scan.problem.toStdString();
            EXPECT_GE(recordCount(scan.length), records) << path.toStdString();
        }
        // Every data file there is, finished or not, is valid.
        for (const QString& folder :
             QDir(root.path()).entryList(QDir::Dirs | QDir::NoDotAndDotDot)) {
            QDir dir(root.path() + "/" + folder);
            for (const QString& file : dir.entryList({"*.VQS"}, QDir::Files)) {
                DataFileScan scan = scanDataFile(dir.filePath(file));
                EXPECT_TRUE(scan.problem.isEmpty())
                    << file.toStdString() << ": " << scan.problem.toStdString();
            }
        }
    }
    EXPECT_EQ(killedWhileRunning, 40);
}

}  // namespace
}  // namespace vqs
