#include "datafiles/data_file_document.h"
#include "datafiles/data_file_store.h"
#include "support/test_support.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QProcess>
#include <QRandomGenerator>
#include <QTemporaryDir>

#include <cstdio>

namespace vqs {
namespace {

// Kills a saving Dateninspektor at random points of its save, again and again: after recovery the
// file holds the old records or the edited ones, byte for byte, never a mix.
TEST(DateninspektorSaveCrash, KilledAtRandomPointsLeavesTheOldOrTheNewContent) {
    const TitelDef def = test::mercedesBenz();
    std::vector<KursSatz> records;
    for (int i = 0; i < 300000; ++i)
        records.push_back({46366.4 + i * 1e-7, 100.0f + static_cast<float>(i % 7), 1});
    const QByteArray oldContent = QByteArray(buildHeader(def, kBezahlt).bytes.data(), kHeaderSize) +
                                  test::encodeRecords(records);
    QByteArray newContent;
    int steps = 0;
    {
        QTemporaryDir once;
        const QString path = once.path() + "/710000-BRAVOL-ETR.VQS";
        test::writeFile(path, oldContent);
        QProcess helper;
        helper.start(QStringLiteral(DATENINSPEKTOR_SAVE_HELPER), {"save", path});
        ASSERT_TRUE(helper.waitForFinished(60000));
        ASSERT_EQ(helper.exitCode(), 0);
        steps = static_cast<int>(helper.readAllStandardOutput().count('\n')) - 1;
        newContent = test::readFile(path);
        ASSERT_NE(newContent, oldContent);
        ASSERT_EQ(newContent.size(), oldContent.size() - kRecordSize);
    }

    QRandomGenerator random(20261210);
    int olds = 0, news = 0, playedBack = 0;
    for (int round = 0; round < 25; ++round) {
        QTemporaryDir root;
        const QString path = root.path() + "/710000-BRAVOL-ETR.VQS";
        test::writeFile(path, oldContent);
        ASSERT_TRUE(test::killAfterSteps(QStringLiteral(DATENINSPEKTOR_SAVE_HELPER), {"save", path},
                                         static_cast<int>(random.bounded(0, steps + 2))));

        DataFileStore next;  // the next start of either program
        next.setRoot(root.path());
        playedBack += static_cast<int>(next.recoverJournals().size());
        const QByteArray recovered = test::readFile(path);
        const bool isOld = recovered == oldContent, isNew = recovered == newContent;
        EXPECT_TRUE(isOld || isNew) << "round " << round << ", " << recovered.size() << " bytes";
        olds += isOld;
        news += isNew;
        EXPECT_FALSE(QFile::exists(DataFileStore::journalPath(path)));
    }
    EXPECT_GT(olds, 0);
    EXPECT_GT(news, 0);
    EXPECT_GT(playedBack, 0) << "some kills came while the file was rewritten";
    std::printf("old %d, new %d, journals played back %d (of %d steps)\n", olds, news, playedBack,
                steps);
}

}  // namespace
}  // namespace vqs
