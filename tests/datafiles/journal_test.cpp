// A rewrite's journal is played back only onto the file it belongs to, only once its rewrite is
// dead, and before any tick is appended to the half-rewritten file.
#include "common/crc32c.h"
#include "datafiles/data_file_store.h"
#include "datafiles/history_merge.h"
#include "support/test_support.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>

#include <cstring>
#include <functional>
#include <thread>

#include <unistd.h>

namespace vqs {
namespace {

using test::readFile;
using test::writeFile;

constexpr double kDay = 46366.0;  // 2026-12-10

struct Reports final : DataFileStoreListener {
    void failed(const QString&, const QString&) override {}
    void faultEnded(const QString&) override {}
    void heldTickWritten(const TitelDef&, Kursart, const KursSatz&) override {}
    void journalSetAside(const QString& file, const QString& aside,
                         const QString& reason) override {
        told << QFileInfo(file).fileName() + " -> " + QFileInfo(aside).fileName() + ": " + reason;
    }
    QStringList told;
};

std::vector<KursSatz> ticks(int n, double from, float kurs) {
    std::vector<KursSatz> t;
    for (int i = 0; i < n; ++i) t.push_back({from + i * 1e-5, kurs, 1});
    return t;
}

// Sets a journal's checksum anew after a test changed its bytes: only what a checksum cannot
// tell is left to recognise.
void reseal(QByteArray& journal) {
    const std::uint32_t crc =
        crc32c(0, journal.constData(), static_cast<size_t>(journal.size() - 8));
    for (int i = 0; i < 4; ++i) journal[journal.size() - 4 + i] = static_cast<char>(crc >> (8 * i));
}

class JournalTest : public ::testing::Test {
protected:
    QTemporaryDir dir_, outside_;
    const TitelDef a_ = test::titel("710000", "Dax 30", true);
    const TitelDef b_ = test::titel("519000", "Dax 30", true);
    QString root() const { return dir_.path(); }

    JournalTest() { QDir().mkpath(root() + "/Dax 30"); }

    QString pathOf(const TitelDef& def) {
        DataFileStore store;
        store.setRoot(root());
        return store.filePath(def, kBezahlt);
    }
    static QByteArray fileOf(const TitelDef& def, int records) {
        return QByteArray(buildHeader(def, kBezahlt).bytes.data(), kHeaderSize) +
               test::encodeRecords(ticks(records, kDay + 0.4, 100));
    }
    // The journal a rewrite of `path` from record `from` on writes, as a crash would leave it:
    // the file holds part of the new content afterwards.
    static QByteArray journalOfRewrite(const QString& path, int from) {
        DataFileStore store;
        store.setRoot(QFileInfo(path).absolutePath());
        QByteArray journal;
        const Result<void> rewritten = store.rewriteInPlace(
            path, kHeaderSize + std::int64_t{from} * kRecordSize, nullptr,
            [&](DataFileStore::OldBytes&, DataFileStore::NewBytes& out) {
                journal = readFile(DataFileStore::journalPath(path));
                const QByteArray half = test::encodeRecords(ticks(3, kDay + 0.5, 7));
                return out.write(half.constData(), half.size());
            });
        EXPECT_EQ(rewritten.code(), 0);
        return journal;
    }
    // The next start: what it plays back, sets aside and tells.
    QStringList nextStart(Reports& reports) {
        DataFileStore store;
        store.setRoot(root());
        store.setListener(&reports);
        const QStringList played = store.recoverJournals();
        EXPECT_TRUE(store.unrecoveredJournals().isEmpty());
        return played;
    }
};

TEST_F(JournalTest, TheFilesOwnJournalIsPlayedBackAndAnAppendPlaysItBackFirst) {
    const QString path = pathOf(b_);
    for (const bool byAppend : {false, true}) {
        writeFile(path, fileOf(b_, 200));
        const QByteArray journal = journalOfRewrite(path, 50);
        ASSERT_NE(readFile(path), fileOf(b_, 200));
        writeFile(DataFileStore::journalPath(path), journal);
        if (byAppend) {
            // A recorder that runs meanwhile: its tick goes behind the old records, not behind
            // the half-rewritten ones the next start would cut off.
            DataFileStore recorder;
            recorder.setRoot(root());
            const KursSatz tick{kDay + 0.9, 5, 5};
            EXPECT_EQ(recorder.append(b_, kBezahlt, tick), Appended::kWritten);
            EXPECT_EQ(readFile(path), fileOf(b_, 200) + test::encodeRecords({tick}));
        } else {
            Reports reports;
            EXPECT_EQ(nextStart(reports), QStringList{path});
            EXPECT_EQ(readFile(path), fileOf(b_, 200));
            EXPECT_TRUE(reports.told.isEmpty());
        }
        EXPECT_FALSE(QFile::exists(DataFileStore::journalPath(path)));
    }
}

// Whatever stands beside a file under its journal's name and is not that file's journal leaves
// the file exactly as it is: it is renamed so that no start finds it again, and told once.
TEST_F(JournalTest, AJournalThatIsNotTheFilesOwnIsSetAsideAndTheFileLeftAsItIs) {
    const QString pathA = pathOf(a_), pathB = pathOf(b_);
    const QString outsideFile = outside_.path() + "/710000-BRAVOL-ETR.VQS";
    struct Case {
        const char* what;
        // Lays out the files; returns the file beside which the journal stands.
        std::function<QString()> arrange;
        const char* reason;
    };
    const std::vector<Case> cases = {
        {"another title's journal",
         [&] {
             writeFile(pathA, fileOf(a_, 100));
             writeFile(pathB, fileOf(b_, 100));
             writeFile(DataFileStore::journalPath(pathB), journalOfRewrite(pathA, 10));
             return pathB;
         },
         "anderen Datei"},
        {"beside a file that is no data file",
         [&] {
             writeFile(pathA, fileOf(a_, 100));
             const QString notes = root() + "/Dax 30/notes.txt";
             writeFile(notes, QByteArray(2000, 'n'));
             writeFile(DataFileStore::journalPath(notes), journalOfRewrite(pathA, 10));
             return notes;
         },
         "anderen Datei"},
        {"beside a link to its own file outside the data root",
         [&] {
             writeFile(outsideFile, fileOf(a_, 100));
             const QByteArray journal = journalOfRewrite(outsideFile, 10);
             QFile::remove(pathA);
             EXPECT_TRUE(QFile::link(outsideFile, pathA));
             writeFile(DataFileStore::journalPath(pathA), journal);
             return pathA;
         },
         "symbolischer Verweis"},
        {"a link to a journal",
         [&] {
             writeFile(pathB, fileOf(b_, 100));
             const QString elsewhere = outside_.path() + "/b.journal";
             writeFile(elsewhere, journalOfRewrite(pathB, 10));
             EXPECT_TRUE(QFile::link(elsewhere, DataFileStore::journalPath(pathB)));
             return pathB;
         },
         "Journal ist ein symbolischer Verweis"},
        {"a journal that names 8 TiB",
         [&] {
             writeFile(pathB, fileOf(b_, 100));
             QByteArray journal = journalOfRewrite(pathB, 10);
             const std::int64_t huge = std::int64_t{8} << 40;
             for (int i = 0; i < 8; ++i) journal[16 + i] = static_cast<char>(huge >> (8 * i));
             const QString name = DataFileStore::journalPath(pathB);
             writeFile(name, journal.left(40 + kHeaderSize));
             QFile sparse(name);  // as long as the journal says, without its bytes
             EXPECT_TRUE(sparse.open(QIODevice::ReadWrite));
             EXPECT_TRUE(sparse.resize(40 + kHeaderSize + (huge - kHeaderSize - 10 * 16) + 8));
             EXPECT_TRUE(sparse.seek(sparse.size() - 8));
             sparse.write(journal.right(8));
             return pathB;
         },
         "Längen"},
        {"an altered byte",
         [&] {
             writeFile(pathB, fileOf(b_, 100));
             QByteArray journal = journalOfRewrite(pathB, 10);
             journal[40 + kHeaderSize + 20] = static_cast<char>(journal[40 + kHeaderSize + 20] ^ 1);
             writeFile(DataFileStore::journalPath(pathB), journal);
             return pathB;
         },
         "Prüfsumme"},
        {"the format of an older version",
         [&] {
             writeFile(pathB, fileOf(b_, 100));
             QByteArray journal = journalOfRewrite(pathB, 10);
             journal.replace(0, 8, "VQSJRNL1");
             writeFile(DataFileStore::journalPath(pathB), journal);
             return pathB;
         },
         "älteren Programmversion"},
        {"the file's own journal of another title's header",
         [&] {
             writeFile(pathB, fileOf(b_, 100));
             QByteArray journal = journalOfRewrite(pathB, 10);
             journal.replace(40 + kopf::kTitelKey.offset, 6, "710000");
             reseal(journal);
             writeFile(DataFileStore::journalPath(pathB), journal);
             return pathB;
         },
         "anderen Titel"},
        {"the file's own journal that starts past the file's end",
         [&] {
             writeFile(pathB, fileOf(b_, 100));
             const QByteArray journal = journalOfRewrite(pathB, 50);
             QFile cut(pathB);  // whatever cut it short meanwhile, in place
             EXPECT_TRUE(cut.open(QIODevice::ReadWrite));
             EXPECT_TRUE(cut.resize(kHeaderSize + 20 * kRecordSize));
             cut.close();
             writeFile(DataFileStore::journalPath(pathB), journal);
             return pathB;
         },
         "kürzer"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        QDir(root() + "/Dax 30").removeRecursively();
        QDir().mkpath(root() + "/Dax 30");
        QFile::remove(outsideFile);
        const QString file = c.arrange();
        const QString journal = DataFileStore::journalPath(file);
        const QByteArray before = readFile(file), outsideBefore = readFile(outsideFile);

        Reports reports;
        EXPECT_EQ(nextStart(reports), QStringList{});
        EXPECT_EQ(readFile(file), before);
        EXPECT_EQ(readFile(outsideFile), outsideBefore);
        EXPECT_FALSE(QFileInfo::exists(journal) || QFileInfo(journal).isSymLink());
        const QString aside = journal + ".passt-nicht";
        EXPECT_TRUE(QFileInfo::exists(aside) || QFileInfo(aside).isSymLink());
        ASSERT_EQ(reports.told.size(), 1);
        EXPECT_TRUE(reports.told[0].startsWith(QFileInfo(file).fileName() + " -> " +
                                               QFileInfo(aside).fileName()))
            << reports.told[0].toStdString();
        EXPECT_TRUE(reports.told[0].contains(QString::fromUtf8(c.reason)))
            << reports.told[0].toStdString();
        // Told once: the next start finds nothing.
        Reports again;
        EXPECT_EQ(nextStart(again), QStringList{});
        EXPECT_TRUE(again.told.isEmpty());
    }
}

TEST_F(JournalTest, AJournalSetAsideNeverReplacesAnEarlierOne) {
    const QString path = pathOf(b_);
    writeFile(path, fileOf(b_, 100));
    const QString journal = DataFileStore::journalPath(path);
    for (const char* bytes : {"VQSJRNL1 eins", "VQSJRNL1 zwei"}) {
        writeFile(journal, QByteArray(bytes) + QByteArray(2000, 'x'));
        Reports reports;
        nextStart(reports);
    }
    EXPECT_TRUE(readFile(journal + ".passt-nicht").startsWith("VQSJRNL1 eins"));
    EXPECT_TRUE(readFile(journal + ".passt-nicht-2").startsWith("VQSJRNL1 zwei"));
}

// Two programs on one file: the merge helper stops inside its rewrite (its journal whole, the
// file half rewritten) while the other program is started.
class ConcurrentRewriteTest : public JournalTest {
protected:
    const std::vector<KursSatz> old_ = ticks(200000, kDay + 0.3, 100);
    QString fetchedFile(const std::vector<KursSatz>& fetched, const QString& name) {
        const QString file = outside_.path() + "/" + name;
        writeFile(file, test::encodeRecords(fetched));
        return file;
    }
    // What the file holds after these merges one after the other.
    QByteArray mergedInTurn(const std::vector<std::vector<KursSatz>>& merges) {
        QTemporaryDir once;
        DataFileStore store;
        store.setRoot(once.path());
        QDir().mkpath(once.path() + "/Dax 30");
        const TitelDef def = test::mercedesBenz();
        writeFile(store.filePath(def, kBezahlt), fileOf(def, 0) + test::encodeRecords(old_));
        for (const auto& fetched : merges) {
            MergeProgress quiet;
            EXPECT_EQ(mergeHistory(store, def, fetched, false, QDate(2026, 12, 10), quiet).outcome,
                      MergeResult::kMerged);
        }
        return readFile(store.filePath(def, kBezahlt));
    }
    QString path() { return pathOf(test::mercedesBenz()); }
    void writeOld() {
        writeFile(path(), fileOf(test::mercedesBenz(), 0) + test::encodeRecords(old_));
    }
    // Starts a merge of `fetched` that stops inside its rewrite after `step`.
    bool startStoppedMerge(test::PausingHelper& merge, const QString& fetched, int step) {
        return merge.start(QStringLiteral(MERGE_CRASH_HELPER),
                           {root(), fetched, QString::number(step)}) &&
               merge.waitForPause();
    }
    // Steps of a merge of 30,000 ticks inside its rewrite: step 1 comes before it, step 2 after
    // the first thousand ticks went in, step 31 after the last (the old records follow).
    static constexpr int kStepsInside[] = {2, 16, 31};
};

TEST_F(ConcurrentRewriteTest, TwoMergesAtOnceKeepBoth) {
    const auto first = ticks(30000, kDay + 0.35, 200), second = ticks(5000, kDay + 0.9, 300);
    const QByteArray both = mergedInTurn({first, second});
    for (const int step : kStepsInside) {
        SCOPED_TRACE(step);
        writeOld();
        test::PausingHelper one, two;
        ASSERT_TRUE(startStoppedMerge(one, fetchedFile(first, "first.bin"), step));
        ASSERT_TRUE(two.start(QStringLiteral(MERGE_CRASH_HELPER),
                              {root(), fetchedFile(second, "second.bin")}));
        ASSERT_TRUE(test::waitUntilWaitingForLock(two.pid()));
        one.resume();
        EXPECT_EQ(one.waitForExit(), 0);
        EXPECT_EQ(two.waitForExit(), 0);
        EXPECT_EQ(readFile(path()), both);
        EXPECT_FALSE(QFile::exists(DataFileStore::journalPath(path())));
    }
}

TEST_F(ConcurrentRewriteTest, ARecorderStartedDuringAMergeLeavesItsJournalToIt) {
    const auto fetched = ticks(30000, kDay + 0.35, 200);
    const QByteArray merged = mergedInTurn({fetched});
    for (const int step : kStepsInside) {
        SCOPED_TRACE(step);
        writeOld();
        test::PausingHelper merge;
        ASSERT_TRUE(startStoppedMerge(merge, fetchedFile(fetched, "fetched.bin"), step));
        QStringList playedBack{"nicht gelaufen"};
        std::thread start([&] {
            Reports reports;
            playedBack = nextStart(reports);
        });
        const bool waited = test::waitUntilWaitingForLock(::getpid());
        merge.resume();
        start.join();
        ASSERT_TRUE(waited);
        EXPECT_EQ(merge.waitForExit(), 0);
        EXPECT_EQ(playedBack, QStringList{});
        EXPECT_EQ(readFile(path()), merged);
    }
}

TEST_F(ConcurrentRewriteTest, AMergeKilledWhileARecorderAppendsLosesNoTick) {
    for (const int step : kStepsInside) {
        SCOPED_TRACE(step);
        writeOld();
        test::PausingHelper merge;
        ASSERT_TRUE(
            startStoppedMerge(merge, fetchedFile(ticks(30000, kDay + 0.35, 200), "f.bin"), step));
        DataFileStore recorder;
        recorder.setRoot(root());
        const std::vector<KursSatz> recorded = ticks(73, kDay + 0.95, 9);
        Appended first = Appended::kFailed;
        std::thread appending(
            [&] { first = recorder.append(test::mercedesBenz(), kBezahlt, recorded[0]); });
        const bool waited = test::waitUntilWaitingForLock(::getpid());
        merge.kill();
        appending.join();
        ASSERT_TRUE(waited);
        EXPECT_EQ(first, Appended::kWritten);
        for (size_t i = 1; i < recorded.size(); ++i)
            EXPECT_EQ(recorder.append(test::mercedesBenz(), kBezahlt, recorded[i]),
                      Appended::kWritten);

        Reports reports;
        EXPECT_EQ(nextStart(reports), QStringList{});  // played back by the first append already
        EXPECT_EQ(readFile(path()), fileOf(test::mercedesBenz(), 0) + test::encodeRecords(old_) +
                                        test::encodeRecords(recorded));
    }
}

}  // namespace
}  // namespace vqs
