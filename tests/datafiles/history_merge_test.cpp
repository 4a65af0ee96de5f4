#include "datafiles/history_merge.h"

#include "datafiles/data_file_check.h"
#include "support/faulty_file_system.h"
#include "support/test_support.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <functional>

namespace vqs {
namespace {

using test::FaultyFileSystem;
using test::readFile;
using test::writeFile;

constexpr double kDay = 46366.0;  // 2026-12-10
const QDate kToday(2026, 12, 10);
double at(int h, int m = 0, int s = 0) { return kDay + ((h * 60 + m) * 60 + s) / 86400.0; }

struct RecordingProgress final : MergeProgress {
    void progressMaximum(int m) override { maximum = m; }
    void progress(int v) override { values.push_back(v); }
    void cancelEnabled(bool e) override { cancelStates.push_back(e); }
    void yield() override {
        ++yields;
        if (onYield) onYield();
    }
    int maximum = -1;
    std::vector<int> values;
    std::vector<bool> cancelStates;
    int yields = 0;
    std::function<void()> onYield;
};

class HistoryMergeTest : public ::testing::Test {
protected:
    QTemporaryDir dir_;
    FaultyFileSystem fs_;
    DataFileStore store_{fs_};
    RecordingProgress progress_;
    TitelDef def_;

    HistoryMergeTest() {
        store_.setRoot(dir_.path());
        def_.RT_WKN = def_.WKN = "710000";
        def_.Name = "Titel";
        def_.Ordner = "Dax 30";
        def_.RT_Boerse = "ETR";
        def_.NeueNamen = true;
    }
    QString path() { return store_.filePath(def_, kBezahlt); }
    void writeRecords(const std::vector<KursSatz>& records) {
        QDir().mkpath(dir_.path() + "/Dax 30");
        QByteArray bytes(buildHeader(def_, kBezahlt).bytes.data(), kHeaderSize);
        for (const KursSatz& k : records) {
            char r[kRecordSize];
            encodeKursSatz(k, r);
            bytes.append(r, kRecordSize);
        }
        writeFile(path(), bytes);
    }
    std::vector<KursSatz> records() {
        std::vector<KursSatz> all;
        scanDataFile(path(), [&](qint64, const KursSatz& k) {
            all.push_back(k);
            return true;
        });
        return all;
    }
    static std::vector<double> times(const std::vector<KursSatz>& records) {
        std::vector<double> t;
        for (const KursSatz& k : records) t.push_back(k.Zeit);
        return t;
    }
    MergeResult merge(std::vector<KursSatz> fetched, bool volumeFilter = false) {
        return mergeHistory(store_, def_, std::move(fetched), volumeFilter, kToday, progress_);
    }
    // A merge whose file fails while it is rewritten and whose journal cannot be removed: the
    // old bytes could not go back, the journal stays for the next start.
    void failMergeKeepingItsJournal() {
        int yields = 0;
        progress_.onYield = [&] {
            if (++yields != 2) return;  // the journal is written; the file is being rewritten
            fs_.fail(FaultyFileSystem::Call::Write, EIO, "710000-BRAVOL-ETR.VQS");
            fs_.fail(FaultyFileSystem::Call::Remove, EIO, "journal");
        };
        std::vector<KursSatz> fetched;
        for (int i = 0; i < 1500; ++i) fetched.push_back({at(9, 30) + i / 86400.0, 3, 3});
        EXPECT_EQ(merge(fetched).outcome, MergeResult::kFailed);
        progress_.onYield = nullptr;
        fs_.heal();
    }
    DateiKopf header() {
        DateiKopf k;
        const QByteArray bytes = readFile(path());
        std::memcpy(k.bytes.data(), bytes.constData(), kHeaderSize);
        return k;
    }
};

// The system's short date, cut or padded to the field's 8 characters.
TEST(Pflegedatum, TheShortDateInEightCharacters) {
    const struct {
        QLocale locale;
        QDate day;
        const char* text;
    } cases[] = {
        {QLocale(QLocale::German, QLocale::Germany), {2026, 12, 10}, "10.12.26"},
        {QLocale(QLocale::English, QLocale::UnitedKingdom), {2026, 12, 10}, "10/12/20"},
        {QLocale(QLocale::English, QLocale::UnitedStates), {2026, 2, 1}, "2/1/26  "},
        {QLocale::c(), {2026, 12, 10}, "10 Dec 2"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(pflegedatumText(c.day, c.locale), QString::fromUtf8(c.text)) << c.text;
}

TEST_F(HistoryMergeTest, TheOverlapIsReplacedAndLaterOldRecordsFollow) {
    writeRecords({{at(9), 1, 1}, {at(10), 2, 2}, {at(11), 3, 3}, {at(12), 4, 4}});
    const MergeResult r = merge({{at(10), 20, 5}, {at(10, 30), 21, 5}, {at(11), 22, 5}});
    EXPECT_EQ(r.outcome, MergeResult::kMerged);
    EXPECT_EQ(r.written, 3);
    EXPECT_EQ(r.kept, 1);
    const std::vector<KursSatz> all = records();
    EXPECT_EQ(times(all), (std::vector<double>{at(9), at(10), at(10, 30), at(11), at(12)}));
    EXPECT_EQ(all[1].Kurs, 20) << "the old 10:00 was overwritten";
    EXPECT_EQ(all[4].Kurs, 4) << "the old 12:00 follows";
    EXPECT_EQ(header().field(kopf::kPflegedatum), "10 Dec 2");  // the C locale's, cut
    EXPECT_FALSE(QFile::exists(DataFileStore::journalPath(path()))) << "the journal is gone";
    EXPECT_EQ(progress_.cancelStates, (std::vector<bool>{false, true}))
        << "no cancel while the file is rewritten";
}

// Every old record later than the last fetched tick survives, however far from the end the
// fetched span ends.
TEST_F(HistoryMergeTest, NoOldRecordIsLost) {
    const struct {
        const char* name;
        std::vector<KursSatz> fetched;
        int expected;  // records afterwards
    } cases[] = {
        {"all earlier than the first old record", {{at(8), 1, 1}, {at(8, 30), 1, 1}}, 5002},
        {"in the middle of the file", {{at(9, 10), 1, 1}, {at(9, 20), 1, 1}}, -1},
        {"all later than the last old record", {{at(23), 1, 1}}, 5001},
    };
    for (const auto& c : cases) {
        std::vector<KursSatz> old;
        for (int i = 0; i < 5000; ++i) old.push_back({at(9) + i / 86400.0, 2, 2});  // 09:00 on
        writeRecords(old);
        ASSERT_EQ(merge(c.fetched).outcome, MergeResult::kMerged) << c.name;
        const std::vector<KursSatz> all = records();
        int expected = c.expected;
        if (expected < 0) expected = 600 + 2 + (5000 - 1201);  // 09:00–09:10 kept, 09:20 on kept
        EXPECT_EQ(static_cast<int>(all.size()), expected) << c.name;
        const std::vector<double> t = times(all);
        EXPECT_TRUE(std::is_sorted(t.begin(), t.end())) << c.name;
        EXPECT_EQ(all.back().Zeit, std::max(old.back().Zeit, c.fetched.back().Zeit)) << c.name;
    }
}

TEST_F(HistoryMergeTest, NewEmptyShortAndForeignFiles) {
    EXPECT_EQ(merge({}).outcome, MergeResult::kNothing);
    EXPECT_FALSE(QFile::exists(path())) << "nothing fetched: no file";

    // A missing file is made with the fetched ticks, those without turnover left out.
    MergeResult r = merge({{at(10), 1, 5}, {at(11), 2, 0}, {at(12), 3, 7}}, true);
    EXPECT_EQ(r.outcome, MergeResult::kMerged);
    EXPECT_EQ(times(records()), (std::vector<double>{at(10), at(12)}));
    EXPECT_EQ(readFile(path()).left(556),
              QByteArray(buildHeader(def_, kBezahlt).bytes.data(), 556));
    EXPECT_EQ(header().field(kopf::kPflegedatum), "10 Dec 2");  // the C locale's, cut

    writeFile(path(), {});
    EXPECT_EQ(merge({{at(10), 1, 5}}).outcome, MergeResult::kMerged);
    EXPECT_EQ(records().size(), 1u) << "an empty file gets its header";

    for (const QByteArray& foreign : {QByteArray(100, 'x'), QByteArray(900, 'y')}) {
        writeFile(path(), foreign);
        EXPECT_EQ(merge({{at(10), 1, 5}}).outcome, MergeResult::kNoDataFile);
        EXPECT_EQ(readFile(path()), foreign);
    }
}

TEST_F(HistoryMergeTest, AFetchedSpanOverTheWholeFileCutsIt) {
    std::vector<KursSatz> old;
    for (int i = 0; i < 300; ++i) old.push_back({at(10) + i / 86400.0, 2, 2});
    writeRecords(old);
    const MergeResult r = merge({{at(10), 1, 1}, {at(10, 1), 1, 1}, {at(10, 5), 1, 1}});
    EXPECT_EQ(r.kept, 0);
    EXPECT_EQ(readFile(path()).size(), kHeaderSize + 3 * kRecordSize);
}

TEST_F(HistoryMergeTest, FetchedTicksArePutInOrderAndUnusableOnesDropped) {
    writeRecords({{at(9), 1, 1}});
    const MergeResult r = merge({{at(11), 3, 1},
                                 {at(10), 1, 1},
                                 {at(10), 2, 1},  // equal times keep their order
                                 {NAN, 4, 1},
                                 {at(12), INFINITY, 1},
                                 {at(12), 5, -1}});
    EXPECT_EQ(r.written, 3);
    const std::vector<KursSatz> all = records();
    EXPECT_EQ(times(all), (std::vector<double>{at(9), at(10), at(10), at(11)}));
    EXPECT_EQ(all[1].Kurs, 1);
    EXPECT_EQ(all[2].Kurs, 2);
}

// Realtime ticks of the file wait while it is merged and follow the merged records.
TEST_F(HistoryMergeTest, RealtimeTicksDuringTheMergeComeAfterIt) {
    writeRecords({{at(9), 1, 1}, {at(13), 1, 1}});
    std::vector<KursSatz> fetched;
    for (int i = 0; i < 3000; ++i) fetched.push_back({at(10) + i / 86400.0, 2, 2});
    int held = 0;
    progress_.onYield = [&] {
        if (store_.append(def_, kBezahlt, {at(14) + held / 86400.0, 9, 9}) == Appended::kHeld)
            ++held;
    };
    ASSERT_EQ(merge(fetched).outcome, MergeResult::kMerged);
    EXPECT_GE(held, 3);
    const std::vector<KursSatz> all = records();
    ASSERT_EQ(static_cast<int>(all.size()), 1 + 3000 + 1 + held);
    EXPECT_EQ(all[3001].Zeit, at(13));
    for (int i = 0; i < held; ++i) EXPECT_EQ(all[3002 + i].Kurs, 9);
    EXPECT_EQ(progress_.maximum, 3000);
    EXPECT_EQ(progress_.values, (std::vector<int>{0, 1000, 2000, 3000}));
}

// A realtime tick that the merged history holds already (a new subscription's stale first
// quote, a tick delivered after the history was fetched) is not appended again, held or not;
// the first later one is, and so is everything after it.
TEST_F(HistoryMergeTest, TicksTheHistoryHoldsAreNotAppendedAgain) {
    writeRecords({{at(9), 1, 1}});
    const std::vector<KursSatz> fetched{{at(10), 2, 2}, {at(11), 3, 3}};
    progress_.onYield = [&] {
        EXPECT_EQ(store_.append(def_, kBezahlt, {at(11), 3, 3}), Appended::kHeld);
    };
    ASSERT_EQ(merge(fetched).outcome, MergeResult::kMerged);
    EXPECT_EQ(store_.append(def_, kBezahlt, {at(10, 30), 2.5, 1}), Appended::kCovered);
    EXPECT_EQ(store_.append(def_, kBezahlt, {at(12), 4, 4}), Appended::kWritten);
    EXPECT_EQ(store_.append(def_, kBezahlt, {at(11, 30), 5, 5}), Appended::kWritten)
        << "only until the first later tick";
    const std::vector<KursSatz> all = records();
    ASSERT_EQ(all.size(), 5u);
    EXPECT_EQ(all[2], (KursSatz{at(11), 3, 3}));
    EXPECT_EQ(all[3], (KursSatz{at(12), 4, 4}));
}

// A merge that cannot finish puts the old content back: the file is as it was.
TEST_F(HistoryMergeTest, AFailingWriteLeavesTheOldFile) {
    std::vector<KursSatz> old;
    for (int i = 0; i < 2000; ++i) old.push_back({at(9) + i / 86400.0, 2, 2});
    writeRecords(old);
    const QByteArray before = readFile(path());
    std::vector<KursSatz> fetched;
    for (int i = 0; i < 2500; ++i) fetched.push_back({at(9) + (i + 100) / 86400.0, 3, 3});
    int writes = 0;
    progress_.onYield = [&] {
        if (++writes == 2)
            fs_.fail(FaultyFileSystem::Call::Write, ENOSPC, "710000-BRAVOL-ETR.VQS", 1);
    };
    const MergeResult r = merge(fetched);
    fs_.heal();
    EXPECT_EQ(r.outcome, MergeResult::kFailed);
    EXPECT_EQ(r.error.code, ENOSPC);
    EXPECT_EQ(readFile(path()), before);
    EXPECT_FALSE(QFile::exists(DataFileStore::journalPath(path())));
}

TEST_F(HistoryMergeTest, AJournalCutShortIsDroppedAndAWholeOnePlayedBack) {
    writeRecords({{at(9), 1, 1}, {at(10), 2, 2}});
    const QByteArray old = readFile(path());
    // Cut short: the crash came before the file was touched.
    writeFile(DataFileStore::journalPath(path()), "VQSJRNL1 und nicht mehr");
    EXPECT_EQ(store_.recoverJournals(), QStringList{});
    EXPECT_EQ(readFile(path()), old);
    EXPECT_FALSE(QFile::exists(DataFileStore::journalPath(path())));

    // Whole: kept when the rewrite could not even put the old bytes back (the journal stays
    // for the next start), then played back.
    failMergeKeepingItsJournal();
    ASSERT_TRUE(QFile::exists(DataFileStore::journalPath(path())));
    // Whatever a crash left of the merge: it never reaches before the merge's start.
    writeFile(path(), old.left(kHeaderSize + kRecordSize) + QByteArray(5000, 'z'));
    DataFileStore next;  // the next start
    next.setRoot(dir_.path());
    EXPECT_EQ(next.recoverJournals(), QStringList{path()});
    EXPECT_EQ(readFile(path()), old);
}

// Appended to before its journal is played back, a file would lose those ticks at playback.
TEST_F(HistoryMergeTest, AFileWhoseJournalCannotBePlayedBackTakesNoTick) {
    writeRecords({{at(9), 1, 1}, {at(10), 2, 2}});
    failMergeKeepingItsJournal();
    // Even in the same run the file waits for its journal.
    EXPECT_EQ(store_.unrecoveredJournals().keys(), QStringList{path()});

    fs_.fail(FaultyFileSystem::Call::Read, EIO, "journal");
    DataFileStore next(fs_);  // the next start
    next.setRoot(dir_.path());
    EXPECT_EQ(next.recoverJournals(), QStringList{});
    EXPECT_EQ(next.unrecoveredJournals().value(path()).code, EIO);
    const QByteArray left = readFile(path());
    EXPECT_EQ(next.append(def_, kBezahlt, {at(11), 4, 4}), Appended::kFailed);
    EXPECT_EQ(readFile(path()), left);

    fs_.heal();  // the next tick plays the journal back first
    EXPECT_EQ(next.append(def_, kBezahlt, {at(11), 4, 4}), Appended::kWritten);
    EXPECT_EQ(times(records()), (std::vector<double>{at(9), at(10), at(11)}));
    EXPECT_TRUE(next.unrecoveredJournals().isEmpty());
    EXPECT_FALSE(QFile::exists(DataFileStore::journalPath(path())));
}

}  // namespace
}  // namespace vqs
