#include "datafiles/data_file_store.h"
#include "datafiles/history_merge.h"
#include "support/test_support.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QRandomGenerator>
#include <QTemporaryDir>

#include <cstdio>

namespace vqs {
namespace {

// Kills a merging process at random moments, again and again: after recovery the file holds
// every old record and either the whole merge or none of it, byte for byte.
TEST(MergeCrash, KilledAtRandomMomentsLeavesTheOldFileOrTheMergedOne) {
    const TitelDef def = test::mercedesBenz();
    const double day = 46366.0;
    std::vector<KursSatz> old, fetched;
    for (int i = 0; i < 200000; ++i) old.push_back({day + 0.3 + i * 2e-6, 100.0f + i % 7, 1});
    for (int i = 0; i < 30000; ++i) fetched.push_back({day + 0.35 + i * 1e-6, 200.0f, 2});

    QTemporaryDir work;
    const QString fetchedPath = work.path() + "/fetched.bin";
    test::writeFile(fetchedPath, test::encodeRecords(fetched));
    // The two contents a recovered file may have.
    const QByteArray oldContent =
        QByteArray(buildHeader(def, kBezahlt).bytes.data(), kHeaderSize) + test::encodeRecords(old);
    QByteArray mergedContent;
    {
        QTemporaryDir once;
        DataFileStore store;
        store.setRoot(once.path());
        QDir().mkpath(once.path() + "/Dax 30");
        test::writeFile(store.filePath(def, kBezahlt), oldContent);
        MergeProgress quiet;
        ASSERT_EQ(mergeHistory(store, def, fetched, false, QDate(2026, 12, 10), quiet).outcome,
                  MergeResult::kMerged);
        mergedContent = test::readFile(store.filePath(def, kBezahlt));
    }

    QRandomGenerator random(20261210);
    int olds = 0, merges = 0, playedBack = 0;
    for (int round = 0; round < 30; ++round) {
        QTemporaryDir root;
        DataFileStore store;
        store.setRoot(root.path());
        QDir().mkpath(root.path() + "/Dax 30");
        const QString path = store.filePath(def, kBezahlt);
        test::writeFile(path, oldContent);

        // After a random number of its steps (0: while it copies into the journal).
        ASSERT_TRUE(test::killAfterSteps(QStringLiteral(MERGE_CRASH_HELPER),
                                         {root.path(), fetchedPath},
                                         static_cast<int>(random.bounded(0, 34))));

        DataFileStore next;  // the next start
        next.setRoot(root.path());
        playedBack += static_cast<int>(next.recoverJournals().size());
        const QByteArray recovered = test::readFile(path);
        const bool isOld = recovered == oldContent, isMerged = recovered == mergedContent;
        EXPECT_TRUE(isOld || isMerged) << "round " << round << ", " << recovered.size() << " bytes";
        olds += isOld;
        merges += isMerged;
        EXPECT_FALSE(QFile::exists(DataFileStore::journalPath(path)));
    }
    EXPECT_GT(olds, 0);
    EXPECT_GT(merges, 0) << "some rounds ended after the merge";
    EXPECT_GT(playedBack, 0) << "some kills came while the file was rewritten";
    std::printf("old %d, merged %d, journals played back %d\n", olds, merges, playedBack);
}

}  // namespace
}  // namespace vqs
