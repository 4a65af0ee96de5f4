#include "datafiles/data_file_store.h"

#include "datafiles/naming.h"
#include "support/faulty_file_system.h"
#include "support/forwarding_file_system.h"
#include "support/test_support.h"

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>
#include <QTemporaryDir>

#include <sys/stat.h>
#include <unistd.h>

#include <cstring>
#include <functional>
#include <limits>

namespace vqs {
namespace {

using test::FaultyFileSystem;
using test::readFile;
using test::writeFile;

constexpr double kToday = 46366.0;  // 2026-12-10

using Outcomes = std::vector<Appended>;
constexpr Appended kW = Appended::kWritten, kF = Appended::kFailed;

// Records what the store reports.
struct Reports final : DataFileStoreListener {
    void failed(const QString& where, const QString& reason) override {
        failures << QFileInfo(where).fileName() + ": " + reason;
    }
    void faultEnded(const QString& where) override { ended << QFileInfo(where).fileName(); }
    void heldTickWritten(const TitelDef&, Kursart, const KursSatz& satz) override {
        heldWritten.push_back(satz);
    }
    void queuedTicksDone(const TitelDef&, Kursart, const std::vector<QueuedTick>& ticks,
                         size_t written) override {
        for (size_t i = 0; i < ticks.size(); ++i) queued.push_back(i < written ? kW : kF);
    }
    void journalSetAside(const QString& file, const QString& aside,
                         const QString& reason) override {
        setAside << QFileInfo(file).fileName() + " -> " + QFileInfo(aside).fileName() + ": " +
                        reason;
    }
    QStringList failures, ended, setAside;
    std::vector<KursSatz> heldWritten;
    std::vector<Appended> queued;
};

class DataFileStoreTest : public ::testing::Test {
protected:
    QTemporaryDir dir_;
    FaultyFileSystem fs_;
    DataFileStore store_{fs_};
    Reports reports_;

    DataFileStoreTest() {
        store_.setRoot(root());
        store_.setListener(&reports_);
    }
    QString root() const { return dir_.path() + "/RealtimeData"; }
    void SetUp() override { QDir().mkpath(root()); }

    static TitelDef titel(const QString& code, const QString& folder = "Dax 30") {
        return test::titel(code, folder, true);
    }
    QString pathOf(const QString& folder, const QString& name) const {
        return root() + "/" + folder + "/" + name;
    }
    static QByteArray record(double zeit, float kurs, float volume) {
        char r[16];
        encodeKursSatz({zeit, kurs, volume}, r);
        return QByteArray(r, 16);
    }
    static QByteArray header(const TitelDef& d, Kursart kind) {
        return QByteArray(buildHeader(d, kind).bytes.data(), 856);
    }
    Appended append(const TitelDef& d, double zeit, float kurs = 1, float volume = 1,
                    Kursart kind = kBezahlt) {
        return store_.append(d, kind, {zeit, kurs, volume});
    }
    // A tick of the quote path: queued within a turn of the event loop.
    Appended queue(const TitelDef& d, double zeit, float kurs = 1) {
        return store_.queue(d.id(), d, kBezahlt, {zeit, kurs, 1}, zeit);
    }
    // The calls of this kind on this file since `from` (an index into the call journal).
    int calls(const char* call, const TitelDef& d, qsizetype from) const {
        const QString entry = QString("%1 %2-BRAVOL-ETR.VQS").arg(call, d.WKN);
        int n = 0;
        for (qsizetype i = from; i < fs_.journal.size(); ++i) n += fs_.journal[i] == entry;
        return n;
    }
};

// The ticks of a turn wait for its end, then go into their file in one write, in order, without
// opening the file again or reading its header again (nobody has touched it since our last
// append).
TEST_F(DataFileStoreTest, ABurstForOneFileGoesInWholeInOrderInOneWrite) {
    const TitelDef d = titel("710000");
    ASSERT_EQ(append(d, kToday + 0.05, 0), Appended::kWritten);  // made whole
    ASSERT_EQ(append(d, kToday + 0.1, 0), Appended::kWritten);   // opened, checked, kept open
    const QString path = store_.filePath(d, kBezahlt);
    const qsizetype mark = fs_.journal.size();
    Outcomes answered;
    test::inOneTurn([&] {
        for (int i = 1; i <= 10; ++i)
            answered.push_back(queue(d, kToday + 0.2 + i * 1e-4, static_cast<float>(i)));
        EXPECT_EQ(readFile(path).size(), 888) << "nothing before the turn has ended";
        EXPECT_TRUE(reports_.queued.empty());
    });
    EXPECT_EQ(answered, Outcomes(10, Appended::kQueued));
    EXPECT_EQ(reports_.queued, Outcomes(10, kW));
    QByteArray expected =
        header(d, kBezahlt) + record(kToday + 0.05, 0, 1) + record(kToday + 0.1, 0, 1);
    for (int i = 1; i <= 10; ++i)
        expected += record(kToday + 0.2 + i * 1e-4, static_cast<float>(i), 1);
    EXPECT_EQ(readFile(path), expected);
    EXPECT_EQ(calls("Write", d, mark), 1);
    EXPECT_EQ(calls("Open", d, mark), 0) << "kept open";
    EXPECT_EQ(calls("Read", d, mark), 0) << "its header was checked at the last append";
    EXPECT_EQ(store_.queuedTicks(), 0u);
}

// Ticks for several files in one turn: each file gets its own in one write (opened once where
// it was not kept open, made whole where it did not exist), and every tick's outcome is told,
// file by file in the order of their first ticks, a failing file's ticks as failed.
TEST_F(DataFileStoreTest, ABurstSpanningSeveralFilesTellsEveryTicksOutcomeInOrder) {
    store_.keepOpenAtMost(1);
    const TitelDef a = titel("710000"), full = titel("710001"), neu = titel("710002");
    ASSERT_EQ(append(a, kToday + 0.1, 0), Appended::kWritten);
    ASSERT_EQ(append(full, kToday + 0.1, 0), Appended::kWritten);
    fs_.fail(FaultyFileSystem::Call::Write, ENOSPC, "710001");
    const qsizetype mark = fs_.journal.size();
    test::inOneTurn([&] {
        for (int i = 1; i <= 4; ++i)
            for (const TitelDef* d : {&a, &full, &neu})
                ASSERT_EQ(queue(*d, kToday + 0.2 + i * 1e-4, static_cast<float>(i)),
                          Appended::kQueued);
    });
    EXPECT_EQ(reports_.queued, (Outcomes{kW, kW, kW, kW, kF, kF, kF, kF, kW, kW, kW, kW}));
    QByteArray four;
    for (int i = 1; i <= 4; ++i) four += record(kToday + 0.2 + i * 1e-4, static_cast<float>(i), 1);
    EXPECT_EQ(readFile(store_.filePath(a, kBezahlt)),
              header(a, kBezahlt) + record(kToday + 0.1, 0, 1) + four);
    EXPECT_EQ(readFile(store_.filePath(full, kBezahlt)),
              header(full, kBezahlt) + record(kToday + 0.1, 0, 1));
    EXPECT_EQ(readFile(store_.filePath(neu, kBezahlt)), header(neu, kBezahlt) + four);
    EXPECT_LE(calls("Open", a, mark), 1);
    EXPECT_EQ(calls("Write", a, mark), 1);
    EXPECT_EQ(calls("Write", full, mark), 2) << "the burst, then its first record alone";
    EXPECT_EQ(reports_.failures,
              QStringList{"710001-BRAVOL-ETR.VQS: Auf dem Datenträger ist kein Platz mehr frei"});
}

// A turn whose writing runs out of time (new files on a slow disk) leaves the files not reached
// with their ticks for the next turn, in order; at the program's end the ticks still waiting are
// given up, told as failed, and their files named.
TEST_F(DataFileStoreTest, WritingOutOfTimeLeavesTheRestForTheNextTurnOrGivesItUpAtTheEnd) {
    const TitelDef a = titel("710000"), b = titel("710001"), c = titel("710002");
    test::inOneTurn([&] {
        for (int i = 0; i < 2; ++i)
            for (const TitelDef* d : {&a, &b, &c})
                queue(*d, kToday + 0.1 + i * 1e-4, static_cast<float>(i));
        EXPECT_FALSE(store_.flushQueued(QDeadlineTimer(0))) << "time is up after one file";
        EXPECT_EQ(reports_.queued, Outcomes(2, kW));
        EXPECT_EQ(store_.queuedTicks(), 4u);
        queue(b, kToday + 0.2, 2);
    });
    EXPECT_EQ(reports_.queued, Outcomes(7, kW));
    const QByteArray two = record(kToday + 0.1, 0, 1) + record(kToday + 0.1 + 1e-4, 1, 1);
    EXPECT_EQ(readFile(store_.filePath(a, kBezahlt)), header(a, kBezahlt) + two);
    EXPECT_EQ(readFile(store_.filePath(b, kBezahlt)),
              header(b, kBezahlt) + two + record(kToday + 0.2, 2, 1));
    EXPECT_EQ(readFile(store_.filePath(c, kBezahlt)), header(c, kBezahlt) + two);

    reports_.queued.clear();
    test::inOneTurn([&] {
        queue(a, kToday + 0.3, 3);
        queue(b, kToday + 0.3, 3);
        EXPECT_FALSE(store_.flushQueued(QDeadlineTimer(0)));
        EXPECT_EQ(store_.dropQueued(), QStringList{store_.filePath(b, kBezahlt)});
    });
    EXPECT_EQ(reports_.queued, (Outcomes{kW, kF}));
    EXPECT_EQ(readFile(store_.filePath(b, kBezahlt)).size(), 856 + 3 * 16);
    EXPECT_EQ(store_.queuedTicks(), 0u);
}

// The new files of a turn are made together (written aside, flushed at once, then named); a file
// whose making fails there is made on its own, and a failure that lasts fails its ticks only.
TEST_F(DataFileStoreTest, NewFilesOfATurnAreMadeWholeTogether) {
    const struct {
        const char* name;
        FaultyFileSystem::Call call;
        int error;
        int times;
        bool written;
    } cases[] = {
        {"nothing fails", FaultyFileSystem::Call::Open, 0, 0, true},
        {"a flush fails once", FaultyFileSystem::Call::Sync, EIO, 1, true},
        {"naming fails once", FaultyFileSystem::Call::Link, EIO, 1, true},
        {"the disk is full", FaultyFileSystem::Call::Write, ENOSPC, -1, false},
    };
    int code = 710000;
    for (const auto& c : cases) {
        std::vector<TitelDef> titles;
        for (int i = 0; i < 3; ++i) titles.push_back(titel(QString::number(code++)));
        fs_.heal();
        if (c.error) fs_.fail(c.call, c.error, titles[1].WKN, c.times);
        reports_.queued.clear();
        test::inOneTurn([&] {
            for (int i = 0; i < 2; ++i)
                for (const TitelDef& d : titles) queue(d, kToday + 0.1 + i * 1e-4, 1);
        });
        EXPECT_EQ(reports_.queued,
                  (Outcomes{kW, kW, c.written ? kW : kF, c.written ? kW : kF, kW, kW}))
            << c.name;
        for (const TitelDef& d : titles) {
            const QString path = store_.filePath(d, kBezahlt);
            if (!c.written && d.WKN == titles[1].WKN) {
                EXPECT_FALSE(QFile::exists(path)) << c.name;
                continue;
            }
            EXPECT_EQ(readFile(path), header(d, kBezahlt) + record(kToday + 0.1, 1, 1) +
                                          record(kToday + 0.1 + 1e-4, 1, 1))
                << c.name;
        }
        EXPECT_TRUE(QDir(root() + "/Dax 30").entryList({"*.neu-*"}, QDir::Files).isEmpty())
            << c.name << ": nothing left aside";
    }
}

// A disk that fills up in the middle of a burst: the ticks that fit go in as whole records, the
// others are failed (told once), the file never holds a part of a record; the next burst after
// the disk has room again goes in behind them and ends the fault.
TEST_F(DataFileStoreTest, ADiskThatFillsInTheMiddleOfABurstKeepsWholeRecordsOnly) {
    // Files may grow up to `limit` bytes: a write beyond writes what fits, then fails.
    struct FillingDisk final : test::ForwardingFileSystem {
        std::int64_t limit = std::numeric_limits<std::int64_t>::max();
        int write(Handle h, std::int64_t offset, const char* data, std::int64_t length) override {
            if (offset + length <= limit)
                return ForwardingFileSystem::write(h, offset, data, length);
            if (offset < limit) ForwardingFileSystem::write(h, offset, data, limit - offset);
            return ENOSPC;
        }
    } disk;
    DataFileStore store(disk);
    store.setRoot(root());
    store.setListener(&reports_);
    const TitelDef d = titel("710000");
    ASSERT_EQ(store.append(d, kBezahlt, {kToday + 0.1, 0, 1}), Appended::kWritten);
    disk.limit = 872 + 2 * 16 + 8;  // two records and a half
    auto burst = [&](int from) {
        test::inOneTurn([&] {
            for (int i = from; i < from + 5; ++i)
                store.queue(d.id(), d, kBezahlt, {kToday + 0.2 + i * 1e-4, float(i), 1}, 0);
        });
    };
    burst(1);
    EXPECT_EQ(reports_.queued, (Outcomes{kW, kW, kF, kF, kF}));
    const QString path = store.filePath(d, kBezahlt);
    EXPECT_EQ(readFile(path), header(d, kBezahlt) + record(kToday + 0.1, 0, 1) +
                                  record(kToday + 0.2 + 1e-4, 1, 1) +
                                  record(kToday + 0.2 + 2e-4, 2, 1));
    EXPECT_EQ(reports_.failures,
              QStringList{"710000-BRAVOL-ETR.VQS: Auf dem Datenträger ist kein Platz mehr frei"});

    disk.limit = std::numeric_limits<std::int64_t>::max();
    reports_.queued.clear();
    burst(6);
    EXPECT_EQ(reports_.queued, Outcomes(5, kW));
    const QByteArray bytes = readFile(path);
    ASSERT_EQ(bytes.size(), 856 + 8 * 16);
    EXPECT_EQ(bytes.mid(856 + 3 * 16, 16), record(kToday + 0.2 + 6e-4, 6, 1));
    EXPECT_EQ(reports_.ended, QStringList{"710000-BRAVOL-ETR.VQS"});
}

// The header of a file is read again before a burst when the file is not as our last append
// left it: another program appended, rewrote it, or put something else under its name.
TEST_F(DataFileStoreTest, AFileRewrittenByAnotherPartyBetweenBurstsIsCheckedAgain) {
    DataFileStore other;  // another program
    other.setRoot(root());
    const struct Case {
        const char* name;
        std::function<void(const TitelDef&, const QString&)> meanwhile;
        int headerReads;
        bool refused;
    } cases[] = {
        {"nobody", [](const TitelDef&, const QString&) {}, 0, false},
        {"another program appended",
         [&](const TitelDef& d, const QString&) {
             ASSERT_EQ(other.append(d, kBezahlt, {kToday + 0.15, 9, 9}), Appended::kWritten);
         },
         1, false},
        {"rewritten in place, shorter",
         [&](const TitelDef&, const QString& path) {
             ASSERT_EQ(other
                           .rewriteInPlace(
                               path, kHeaderSize, nullptr,
                               [](DataFileStore::OldBytes&, DataFileStore::NewBytes& out) {
                                   return out.write(record(kToday + 0.15, 9, 9).constData(), 16);
                               })
                           .code(),
                       0);
         },
         1, false},
        {"replaced by a file that is no data file",
         [](const TitelDef&, const QString& path) {
             writeFile(path + ".x", QByteArray(2000, 'x'));
             ASSERT_TRUE(QFile::remove(path));
             ASSERT_TRUE(QFile::rename(path + ".x", path));
         },
         1, true},
    };
    int code = 710000;
    for (const Case& c : cases) {
        const TitelDef d = titel(QString::number(code++));
        const QString path = store_.filePath(d, kBezahlt);
        ASSERT_EQ(append(d, kToday + 0.05), Appended::kWritten);  // made whole
        test::inOneTurn([&] {
            for (int i = 0; i < 3; ++i) queue(d, kToday + 0.1 + i * 1e-4, 1);
        });
        c.meanwhile(d, path);
        const QByteArray before = readFile(path);
        const qsizetype mark = fs_.journal.size();
        reports_.queued.clear();
        test::inOneTurn([&] {
            for (int i = 0; i < 3; ++i) queue(d, kToday + 0.2 + i * 1e-4, 2);
        });
        EXPECT_EQ(calls("Read", d, mark), c.headerReads) << c.name;
        EXPECT_EQ(reports_.queued, Outcomes(3, c.refused ? kF : kW)) << c.name;
        QByteArray expected = before;
        if (!c.refused)
            for (int i = 0; i < 3; ++i) expected += record(kToday + 0.2 + i * 1e-4, 2, 1);
        EXPECT_EQ(readFile(path), expected) << c.name;
    }
}

// A tick of this program for a file being rewritten waits and follows the rewrite, also when the
// caller did not hold the file: appending now would wait for the rewrite's lock for ever.
TEST_F(DataFileStoreTest, ATickDuringARewriteFollowsIt) {
    const TitelDef d = titel("710000");
    ASSERT_EQ(append(d, 46366.1), Appended::kWritten);
    const QString path = store_.filePath(d, kBezahlt);
    Appended during = Appended::kFailed;
    ASSERT_EQ(store_
                  .rewriteInPlace(path, kHeaderSize, nullptr,
                                  [&](DataFileStore::OldBytes&, DataFileStore::NewBytes& out) {
                                      during = append(d, 46366.3, 3);
                                      return out.write(record(46366.2, 2, 1).constData(), 16);
                                  })
                  .code(),
              0);
    EXPECT_EQ(during, Appended::kHeld);
    EXPECT_FALSE(store_.isHeld(path));
    EXPECT_EQ(test::readFile(path).mid(kHeaderSize), record(46366.2, 2, 1) + record(46366.3, 3, 1));
}

// Files stay open between ticks; whatever happens to a file meanwhile, the next tick lands at the
// end of the file that has the name, behind every record another program put there.
TEST_F(DataFileStoreTest, AFileKeptOpenFollowsWhatOthersDoToIt) {
    const TitelDef d = titel("710000");
    const QString path = store_.filePath(d, kBezahlt);
    ASSERT_EQ(append(d, kToday + 0.1, 1), Appended::kWritten);

    // Another program appends: our next record goes behind its.
    DataFileStore other;
    other.setRoot(root());
    ASSERT_EQ(other.append(d, kBezahlt, {kToday + 0.2, 2, 1}), Appended::kWritten);
    ASSERT_EQ(append(d, kToday + 0.3, 3), Appended::kWritten);
    EXPECT_EQ(test::readFile(path), header(d, kBezahlt) + record(kToday + 0.1, 1, 1) +
                                        record(kToday + 0.2, 2, 1) + record(kToday + 0.3, 3, 1));

    // Deleted, or replaced by a file of its own: the next tick goes to the file of the name.
    ASSERT_TRUE(QFile::remove(path));
    ASSERT_EQ(append(d, kToday + 0.4, 4), Appended::kWritten);
    EXPECT_EQ(test::readFile(path), header(d, kBezahlt) + record(kToday + 0.4, 4, 1));
    const QString replacement = root() + "/neu.VQS";
    test::writeFile(replacement, header(d, kBezahlt) + record(kToday + 0.5, 5, 1));
    ASSERT_TRUE(QFile::remove(path));
    ASSERT_TRUE(QFile::rename(replacement, path));
    ASSERT_EQ(append(d, kToday + 0.6, 6), Appended::kWritten);
    EXPECT_EQ(test::readFile(path),
              header(d, kBezahlt) + record(kToday + 0.5, 5, 1) + record(kToday + 0.6, 6, 1));

    // Overwritten in place by something that is no data file (of another length): checked
    // again, never written.
    QByteArray foreign = test::readFile(path).chopped(kRecordSize);
    foreign.replace(0, 3, "XYZ");
    test::writeFile(path, foreign);
    EXPECT_EQ(append(d, kToday + 0.7, 7), Appended::kFailed);
    EXPECT_EQ(test::readFile(path), foreign);
}

TEST_F(DataFileStoreTest, MoreFilesThanAreKeptOpenTakeTheirTicksInTurn) {
    store_.keepOpenAtMost(2);
    std::vector<TitelDef> titles;
    for (int i = 0; i < 5; ++i) titles.push_back(titel(QString::number(710000 + i)));
    for (int round = 0; round < 3; ++round)
        for (const TitelDef& d : titles)
            ASSERT_EQ(append(d, kToday + 0.1 * (round + 1), static_cast<float>(round)),
                      Appended::kWritten);
    for (const TitelDef& d : titles)
        EXPECT_EQ(test::readFile(store_.filePath(d, kBezahlt)),
                  header(d, kBezahlt) + record(kToday + 0.1, 0, 1) + record(kToday + 0.2, 1, 1) +
                      record(kToday + 0.3, 2, 1));
    // Made by the first round (after a look that found none); then the first two files are
    // opened once and kept, the others opened for each tick (closing the least recently used
    // one would reopen every file at every tick).
    EXPECT_EQ(fs_.journal.count("Open 710000-BRAVOL-ETR.VQS"), 2);
    EXPECT_EQ(fs_.journal.count("Open 710004-BRAVOL-ETR.VQS"), 3);
}

TEST_F(DataFileStoreTest, TheFirstTickCreatesFolderFileAndHeaderWhole) {
    const TitelDef d = titel("710000");
    ASSERT_EQ(append(d, kToday + 0.5, 101.5f, 300), Appended::kWritten);
    const QString path = pathOf("Dax 30", "710000-BRAVOL-ETR.VQS");
    EXPECT_EQ(store_.filePath(d, kBezahlt), path);
    const QByteArray bytes = readFile(path);
    ASSERT_EQ(bytes.size(), 872);
    EXPECT_EQ(bytes.left(856), header(d, kBezahlt));
    EXPECT_EQ(bytes.mid(856), record(kToday + 0.5, 101.5f, 300));

    ASSERT_EQ(append(d, kToday + 0.6, 101.75f, 0), Appended::kWritten);
    EXPECT_EQ(readFile(path).mid(872), record(kToday + 0.6, 101.75f, 0));
    EXPECT_TRUE(QDir(root() + "/Dax 30").entryList({"*.neu-*"}, QDir::Files).isEmpty())
        << "nothing left aside";
    // The new file's bytes are on disk before it has its name, and its name after (once the
    // burst of new files has ended: after this turn of the event loop).
    QCoreApplication::processEvents();
    const qsizetype sync = fs_.journal.indexOf(QRegularExpression("Sync .*\\.neu-.*"));
    const qsizetype link = fs_.journal.indexOf("Link 710000-BRAVOL-ETR.VQS");
    const qsizetype syncDir = fs_.journal.indexOf("SyncDirectory Dax 30");
    ASSERT_GE(sync, 0);
    EXPECT_LT(sync, link);
    EXPECT_LT(link, syncDir);
    EXPECT_TRUE(reports_.failures.isEmpty());
}

TEST_F(DataFileStoreTest, AFileThatIsNoDataFileIsNeverWrittenAndSaysSoOnce) {
    const TitelDef d = titel("710000");
    QDir().mkpath(root() + "/Dax 30");
    const QString path = pathOf("Dax 30", "710000-BRAVOL-ETR.VQS");
    struct Case {
        const char* name;
        QByteArray content;
    } cases[] = {
        {"100 bytes of other data", QByteArray(100, 'x')},
        {"a short header", header(d, kBezahlt).left(500)},
        {"a foreign Kennung", QByteArray(900, 'y')},
    };
    for (const Case& c : cases) {
        reports_.failures.clear();
        writeFile(path, c.content);
        EXPECT_EQ(append(d, kToday + 0.5), Appended::kFailed) << c.name;
        EXPECT_EQ(append(d, kToday + 0.6), Appended::kFailed) << c.name;
        EXPECT_EQ(readFile(path), c.content) << c.name;
        EXPECT_EQ(reports_.failures.size(), c.name == cases[0].name ? 1 : 0)
            << c.name << ": told once, not per tick and not again for the same reason";
    }
    EXPECT_EQ(store_.faults().value(path),
              "Die Datei ist keine Datendatei (fremder oder unvollständiger Kopf)");
}

TEST_F(DataFileStoreTest, OldHeadersAreCompletedTornRecordsOverwrittenEmptyFilesFilled) {
    const TitelDef d = titel("710000");
    QDir().mkpath(root() + "/Dax 30");

    DateiKopf old = buildHeader(d, kGeld);
    std::memset(old.bytes.data() + 556, 0, 856 - 556);  // written before the completion fields
    const QString geld = pathOf("Dax 30", "710000-G-BRAVOL-ETR.VQS");
    writeFile(geld, QByteArray(old.bytes.data(), 856));
    ASSERT_EQ(append(d, kToday + 0.5, 2, 3, kGeld), Appended::kWritten);
    DateiKopf k;
    std::memcpy(k.bytes.data(), readFile(geld).constData(), 856);
    EXPECT_EQ(k.trimmedField(kopf::kDatenquelle), "BRAVOLT");
    EXPECT_EQ(k.trimmedField(kopf::kTitelKey), "710000@ETR");
    EXPECT_EQ(k.trimmedField(kopf::kKursart), "Geld");
    EXPECT_EQ(readFile(geld).size(), 872);

    const QString bezahlt = pathOf("Dax 30", "710000-BRAVOL-ETR.VQS");
    writeFile(bezahlt, header(d, kBezahlt) + record(kToday + 0.1, 1, 1) + "\x01\x02\x03\x04\x05");
    ASSERT_EQ(append(d, kToday + 0.2, 2, 2), Appended::kWritten);
    EXPECT_EQ(readFile(bezahlt),
              header(d, kBezahlt) + record(kToday + 0.1, 1, 1) + record(kToday + 0.2, 2, 2))
        << "a record torn by a crash is overwritten, so later records stay aligned";

    const QString brief = pathOf("Dax 30", "710000-B-BRAVOL-ETR.VQS");
    writeFile(brief, {});
    ASSERT_EQ(append(d, kToday + 0.3, 3, 3, kBrief), Appended::kWritten);
    EXPECT_EQ(readFile(brief), header(d, kBrief) + record(kToday + 0.3, 3, 3));
}

TEST_F(DataFileStoreTest, NothingIsWrittenForAnEmptyDefinitionOrAnUnusableTick) {
    EXPECT_EQ(append(TitelDef{}, kToday), Appended::kFailed);
    const TitelDef d = titel("710000");
    const float inf = std::numeric_limits<float>::infinity();
    EXPECT_EQ(append(d, std::numeric_limits<double>::quiet_NaN()), Appended::kFailed);
    EXPECT_EQ(append(d, kToday, inf), Appended::kFailed);
    EXPECT_EQ(append(d, kToday, 1, std::numeric_limits<float>::quiet_NaN()), Appended::kFailed);
    EXPECT_EQ(QDir(root()).entryList(QDir::AllEntries | QDir::NoDotAndDotDot), QStringList{})
        << "no file and no folder";
}

TEST_F(DataFileStoreTest, NoTitleNamesAPathOutsideItsFile) {
    TitelDef d = titel("../../x", "../..");
    d.RT_Boerse = "../y";
    ASSERT_EQ(append(d, kToday), Appended::kWritten);
    EXPECT_TRUE(QFile::exists(root() + "/..-../..-..-x-BRAVOL-..-y.VQS"));

    // A NUL would cut the path short and land the ticks in another title's file.
    const TitelDef other = titel("633018");
    TitelDef nul = titel(QString("633018-BRAVOL-ETR.VQS") + QChar(0) + "x");
    nul.Ordner = QString("Dax") + QChar(0) + "30";
    ASSERT_EQ(append(other, kToday), Appended::kWritten);
    ASSERT_EQ(append(nul, kToday + 0.1), Appended::kWritten);
    EXPECT_EQ(readFile(pathOf("Dax 30", "633018-BRAVOL-ETR.VQS")).size(), 872);
    EXPECT_TRUE(QFile::exists(pathOf("Dax-30", "633018-BRAVOL-ETR.VQS-x-BRAVOL-ETR.VQS")));
}

TEST_F(DataFileStoreTest, FoldersAreMadeOneLevelDeepAndFoundInAnyLetterCase) {
    QDir().mkpath(root() + "/Dax 30");
    ASSERT_EQ(append(titel("1", "dax 30"), kToday), Appended::kWritten);
    ASSERT_EQ(append(titel("2", "DAX 30"), kToday), Appended::kWritten);
    EXPECT_EQ(QDir(root()).entryList(QDir::Dirs | QDir::NoDotAndDotDot), QStringList{"Dax 30"});
    EXPECT_EQ(QDir(root() + "/Dax 30").entryList(QDir::Files).size(), 2);

    ASSERT_EQ(append(titel("3", ""), kToday), Appended::kWritten);
    EXPECT_TRUE(QFile::exists(root() + "/3-BRAVOL-ETR.VQS")) << "no folder: the data root";

    store_.setRoot(dir_.path() + "/fehlt");
    EXPECT_EQ(append(titel("4", "Neu"), kToday), Appended::kFailed);
    EXPECT_FALSE(QDir(dir_.path() + "/fehlt").exists()) << "a missing data root is not made";
    EXPECT_EQ(reports_.failures.last(), "Neu: Datei oder Verzeichnis nicht vorhanden")
        << "the folder is what fails";
}

// The store's write fails with ENOSPC for one file: that tick is not written, the failure is
// told once, other files go on, and the next tick after the fault is gone is written.
TEST_F(DataFileStoreTest, AFullDiskForOneFileIsToldOnceAndEndsByItself) {
    const TitelDef full = titel("710000"), other = titel("846900");
    ASSERT_EQ(append(full, kToday + 0.1), Appended::kWritten);
    const QString path = store_.filePath(full, kBezahlt);
    fs_.fail(FaultyFileSystem::Call::Write, ENOSPC, "710000");
    for (int i = 0; i < 5; ++i) {
        EXPECT_EQ(append(full, kToday + 0.2 + i * 0.01), Appended::kFailed);
        EXPECT_EQ(append(other, kToday + 0.2 + i * 0.01), Appended::kWritten);
    }
    EXPECT_EQ(reports_.failures,
              QStringList{"710000-BRAVOL-ETR.VQS: Auf dem Datenträger ist kein Platz mehr frei"});
    EXPECT_EQ(readFile(path).size(), 872) << "only whole records, none of the failed ticks";
    EXPECT_EQ(readFile(store_.filePath(other, kBezahlt)).size(), 856 + 5 * 16);

    fs_.heal();
    ASSERT_EQ(append(full, kToday + 0.3), Appended::kWritten);
    EXPECT_EQ(readFile(path).mid(872), record(kToday + 0.3, 1, 1));
    EXPECT_EQ(reports_.ended, QStringList{"710000-BRAVOL-ETR.VQS"});
    EXPECT_TRUE(store_.faults().isEmpty());
}

TEST_F(DataFileStoreTest, AnyFailingCallOfACreationLeavesNoFileAndNothingAside) {
    const struct {
        FaultyFileSystem::Call call;
        int error;
    } cases[] = {
        {FaultyFileSystem::Call::Open, EACCES},
        {FaultyFileSystem::Call::Write, ENOSPC},
        {FaultyFileSystem::Call::Sync, EIO},
        {FaultyFileSystem::Call::Link, EIO},
        {FaultyFileSystem::Call::MakeDirectory, EROFS},
    };
    for (const auto& c : cases) {
        fs_.heal();
        fs_.fail(c.call, c.error);
        EXPECT_EQ(append(titel("710000"), kToday), Appended::kFailed) << static_cast<int>(c.call);
        QStringList left;
        if (QDir(root() + "/Dax 30").exists())
            left = QDir(root() + "/Dax 30").entryList(QDir::Files);
        EXPECT_EQ(left, QStringList{}) << static_cast<int>(c.call);
    }
    fs_.heal();
    EXPECT_EQ(append(titel("710000"), kToday), Appended::kWritten);
    EXPECT_TRUE(store_.faults().isEmpty()) << "folder and file fault ended";
}

TEST_F(DataFileStoreTest, AHeldFileGetsItsTicksInOrderAfterRelease) {
    const TitelDef held = titel("710000"), free = titel("846900");
    ASSERT_EQ(append(held, kToday + 0.1, 1), Appended::kWritten);
    const QString path = store_.filePath(held, kBezahlt);
    store_.hold(path);
    store_.hold(path);  // holds nest
    for (int i = 0; i < 100; ++i) {
        EXPECT_EQ(append(held, kToday + 0.2 + i * 1e-4, static_cast<float>(i)), Appended::kHeld);
        EXPECT_EQ(append(free, kToday + 0.2 + i * 1e-4), Appended::kWritten);
    }
    EXPECT_EQ(readFile(store_.filePath(free, kBezahlt)).size(), 856 + 100 * 16)
        << "another file's ticks go straight to disk";
    // What the holder writes meanwhile (a rewrite of the file) stays before the held ticks.
    writeFile(path,
              header(held, kBezahlt) + record(kToday + 0.1, 1, 1) + record(kToday + 0.15, 7, 7));
    store_.release(path);
    EXPECT_EQ(readFile(path).size(), 856 + 2 * 16) << "held twice: still held";
    store_.release(path);
    const QByteArray bytes = readFile(path);
    ASSERT_EQ(bytes.size(), 856 + 102 * 16);
    EXPECT_EQ(bytes.mid(872, 16), record(kToday + 0.15, 7, 7));
    for (int i = 0; i < 100; ++i)
        ASSERT_EQ(bytes.mid(888 + i * 16, 16),
                  record(kToday + 0.2 + i * 1e-4, static_cast<float>(i), 1))
            << i;
    EXPECT_EQ(reports_.heldWritten.size(), 100u);
    EXPECT_EQ(append(held, kToday + 0.5), Appended::kWritten);
}

TEST_F(DataFileStoreTest, WhatAKilledRunLeftAsideGoesWithTheFirstWriteToItsFolder) {
    const TitelDef d = titel("710000");
    ASSERT_EQ(append(d, kToday), Appended::kWritten);
    const QString folder = root() + "/Dax 30/";
    const QString running = QString("846900-BRAVOL-ETR.VQS.neu-%1-0badcafe").arg(getppid());
    for (const QString& name : {QString("846900-BRAVOL-ETR.VQS.neu-1a2b3c4d"),  // older version
                                QString("846900-BRAVOL-ETR.VQS.neu-999999999-1a2b3c4d"), running})
        writeFile(folder + name, "halb");

    DataFileStore next(fs_);  // the next run
    next.setRoot(root());
    ASSERT_EQ(next.append(d, kBezahlt, {kToday + 0.1, 1, 1}), Appended::kWritten);
    EXPECT_EQ(QDir(folder).entryList({"*.neu-*"}, QDir::Files), QStringList{running})
        << "a file of a process that runs may be on its way to its name";
}

// Start-up with many titles: each title's last record is asked for before any tick comes, then
// the first ticks make the files. The folder is listed once, not once per file, and flushed once
// after the burst, when every file is whole under its name already.
TEST_F(DataFileStoreTest, ABurstOfNewFilesListsAndFlushesTheirFolderOnce) {
    struct Counting final : test::ForwardingFileSystem {
        QStringList listed, synced;
        int list(const Path& d, QStringList& n) override {
            listed << QFileInfo(QFile::decodeName(d)).fileName();
            return ForwardingFileSystem::list(d, n);
        }
        int syncDirectory(const Path& d) override {
            synced << QFileInfo(QFile::decodeName(d)).fileName();
            return ForwardingFileSystem::syncDirectory(d);
        }
    } counting;
    DataFileStore many(counting);
    many.setRoot(root());
    std::vector<TitelDef> defs;
    for (int i = 0; i < 50; ++i) {
        defs.push_back(titel(QString::number(710000 + i)));
        EXPECT_EQ(many.lastRecord(defs.back(), kBezahlt), std::nullopt);
    }
    for (const TitelDef& d : defs)
        ASSERT_EQ(many.append(d, kBezahlt, {kToday, 1, 1}), Appended::kWritten);
    EXPECT_EQ(counting.listed.count("Dax 30"), 1) << counting.listed.join(", ").toStdString();
    EXPECT_EQ(counting.synced.count("Dax 30"), 0) << "not yet: after the burst";
    QStringList whole = QDir(root() + "/Dax 30").entryList(QDir::Files);
    EXPECT_EQ(whole.size(), 50);
    for (const QString& name : whole)
        EXPECT_EQ(QFileInfo(root() + "/Dax 30/" + name).size(), 856 + 16) << name.toStdString();
    QCoreApplication::processEvents();
    EXPECT_EQ(counting.synced.count("Dax 30"), 1);

    ASSERT_EQ(many.append(titel("846900"), kBezahlt, {kToday, 1, 1}), Appended::kWritten);
    many.syncFolders();  // the next burst, or the store's end, flushes at once
    EXPECT_EQ(counting.synced.count("Dax 30"), 2);
    QCoreApplication::processEvents();
    EXPECT_EQ(counting.synced.count("Dax 30"), 2) << "nothing left to flush";
}

TEST_F(DataFileStoreTest, AFifoUnderAFilesNameIsRefusedAtOnce) {
    const TitelDef d = titel("710000");
    QDir().mkpath(root() + "/Dax 30");
    const QString path = pathOf("Dax 30", "710000-BRAVOL-ETR.VQS");
    ASSERT_EQ(::mkfifo(QFile::encodeName(path).constData(), 0600), 0);
    EXPECT_EQ(append(d, kToday), Appended::kFailed);
    EXPECT_EQ(store_.lastRecord(d, kBezahlt), std::nullopt);
    EXPECT_EQ(reports_.failures.size(), 1);
}

TEST_F(DataFileStoreTest, TheLastRecordAndAppendingManyAllOrNothing) {
    const TitelDef d = titel("710000");
    EXPECT_EQ(store_.lastRecord(d, kBezahlt), std::nullopt);
    ASSERT_EQ(store_.appendAll(d, kBezahlt, {{kToday + 0.1, 1, 1}, {kToday + 0.2, 2, 2}}).code(),
              0);
    EXPECT_EQ(store_.lastRecord(d, kBezahlt), (KursSatz{kToday + 0.2, 2, 2}));

    fs_.fail(FaultyFileSystem::Call::Write, ENOSPC);
    std::vector<KursSatz> many(1000, KursSatz{kToday + 0.3, 3, 3});
    const Result<void> full = store_.appendAll(d, kBezahlt, many);
    EXPECT_EQ(full.code(), ENOSPC);
    EXPECT_EQ(full.error().text, "Auf dem Datenträger ist kein Platz mehr frei");
    EXPECT_EQ(readFile(store_.filePath(d, kBezahlt)).size(), 856 + 2 * 16) << "none of them";
}

}  // namespace
}  // namespace vqs
