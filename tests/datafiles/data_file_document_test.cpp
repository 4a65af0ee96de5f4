#include "datafiles/data_file_document.h"
#include "datafiles/data_file_listing.h"
#include "datafiles/data_file_store.h"
#include "support/faulty_file_system.h"
#include "support/test_support.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFileInfo>
#include <QProcess>
#include <QTemporaryDir>

#include <algorithm>
#include <atomic>
#include <cmath>
#include <limits>

namespace vqs {
namespace {

constexpr double kDay = 46366.0;  // 10.12.2026

std::vector<KursSatz> decodeAll(const QByteArray& file) {
    std::vector<KursSatz> out;
    for (qsizetype at = kHeaderSize; at + kRecordSize <= file.size(); at += kRecordSize)
        out.push_back(decodeKursSatz(file.constData() + at));
    return out;
}

std::vector<KursSatz> ticks(int n, double start = kDay + 0.4) {
    std::vector<KursSatz> out;
    for (int i = 0; i < n; ++i)
        out.push_back({start + i / kMillisecondsPerDay, 100.0f + static_cast<float>(i % 13), 1});
    return out;
}

struct DataFileDocumentTest : ::testing::Test {
    void SetUp() override {
        store.setRoot(dir.path());
        QDir().mkpath(dir.path() + "/Dax 30");
        path = store.filePath(test::mercedesBenz(), kBezahlt);
    }
    std::unique_ptr<DataFileDocument> write(const std::vector<KursSatz>& records) {
        test::writeFile(path, QByteArray(buildHeader(test::mercedesBenz(), kBezahlt).bytes.data(),
                                         kHeaderSize) +
                                  test::encodeRecords(records));
        auto doc = DataFileDocument::open(path);
        EXPECT_TRUE(doc) << doc.error().text.toStdString();
        return doc ? std::move(doc).value() : nullptr;
    }
    QTemporaryDir dir;
    DataFileStore store;
    QString path;
};

TEST_F(DataFileDocumentTest, RefusesForeignAndShortFilesWithoutTouchingThem) {
    const QByteArray valid(buildHeader(test::mercedesBenz(), kBezahlt).bytes.data(), kHeaderSize);
    QByteArray foreign = valid + test::encodeRecords(ticks(3));
    foreign[0] = 'X';
    struct Case {
        const char* what;
        QByteArray bytes;
    } cases[] = {{"empty", {}}, {"short", valid.left(855)}, {"foreign", foreign}};
    for (const Case& c : cases) {
        test::writeFile(path, c.bytes);
        const auto refused = DataFileDocument::open(path);
        ASSERT_FALSE(refused) << c.what;
        EXPECT_EQ(refused.code(), DataFileStore::kNoDataFile) << c.what;
        EXPECT_TRUE(refused.error().text.contains("keine Tradomir-Datendatei")) << c.what;
        EXPECT_EQ(test::readFile(path), c.bytes) << c.what;
    }
    const auto missing = DataFileDocument::open(dir.path() + "/fehlt.VQS");
    ASSERT_FALSE(missing);
    EXPECT_EQ(missing.code(), ENOENT);
    EXPECT_TRUE(missing.error().text.contains("kann nicht geöffnet werden"));

    // A header on 8 TiB (sparse): refused with its size, before anything is counted or held.
    test::writeFile(path, valid + test::encodeRecords(ticks(3)));
    QFile sparse(path);
    ASSERT_TRUE(sparse.open(QIODevice::ReadWrite));
    ASSERT_TRUE(sparse.resize(std::int64_t{8} << 40));
    sparse.close();
    const auto tooLarge = DataFileDocument::open(path);
    ASSERT_FALSE(tooLarge);
    EXPECT_TRUE(tooLarge.error().text.contains("mit 8796093022208 Bytes zu groß"))
        << tooLarge.error().text.toStdString();
    EXPECT_EQ(QFileInfo(path).size(), std::int64_t{8} << 40);
}

TEST_F(DataFileDocumentTest, ReadsRecordsAcrossPagesAndCountsFaults) {
    std::vector<KursSatz> records = ticks(10000);
    records[5000].Zeit = records[4998].Zeit;  // earlier than 4999: out of order
    records[7000].Kurs = std::numeric_limits<float>::quiet_NaN();
    records[8000].Volume = -1;
    records[9000].Kurs = std::numeric_limits<float>::infinity();
    records[0].Zeit = -1e308;  // times that name no date
    records[9999].Zeit = 1e308;
    records[6000].Kurs = 1e-40f;  // a subnormal price is odd, not a fault
    auto doc = write(records);
    ASSERT_EQ(doc->count(), 10000);
    EXPECT_EQ(doc->record(9999), records[9999]);
    EXPECT_EQ(doc->record(4096), records[4096]);
    EXPECT_EQ(doc->faultCount(), 6);
    for (int i : {0, 5000, 7000, 8000, 9000, 9999}) EXPECT_TRUE(doc->isFaulty(i)) << i;
    EXPECT_FALSE(doc->isFaulty(5001)) << "a later record after an early one is in order again";
    EXPECT_FALSE(doc->isFaulty(1));
}

// The opening pass sums blocks four lanes at a time and falls back to record by record where a
// block is unusual; it reads the file in place, or by copying when a writer has the file (or the
// system cannot show it in memory). Every way must give what a plain loop gives.
TEST_F(DataFileDocumentTest, TheOpeningPassSumsAlikeInPlaceCopiedAndWhileAWriterHasTheFile) {
    // Large enough for two halves at once, and a last block cut short at an odd count.
    const std::int64_t n = 8 * 65536 + 37;
    std::vector<KursSatz> records = ticks(static_cast<int>(n));
    for (std::int64_t i = 0; i < n; ++i) records[i].Volume = static_cast<float>(i % 7);
    const float nan = std::numeric_limits<float>::quiet_NaN();
    const float inf = std::numeric_limits<float>::infinity();
    records[64].Zeit = records[62].Zeit;                  // a block's first record, out of order
    records[200].Zeit = records[198].Zeit;                // inside a block
    records[n / 2].Zeit = records[n / 2 - 3].Zeit;        // where the second half starts
    records[1 << 18].Zeit = records[(1 << 18) - 3].Zeit;  // where a chunk of the pass starts
    records[1000].Zeit = std::numeric_limits<double>::quiet_NaN();
    records[2000].Zeit = std::numeric_limits<double>::infinity();
    records[3000].Kurs = nan;
    records[4000].Kurs = -inf;
    records[5000].Volume = nan;
    records[6000].Volume = inf;  // not faulty, but no part of a sum
    records[7000].Volume = -1;
    records[n - 1].Kurs = inf;
    test::writeFile(
        path, QByteArray(buildHeader(test::mercedesBenz(), kBezahlt).bytes.data(), kHeaderSize) +
                  test::encodeRecords(records));

    // What a plain loop over the records gives.
    std::int64_t faults = 0;
    std::vector<DataFileDocument::Block> expected;
    for (std::int64_t i = 0; i < n; ++i) {
        const KursSatz& s = records[i];
        faults += DataFileDocument::isFaultyAfter(s, i ? &records[i - 1] : nullptr);
        if (i % DataFileDocument::kBlockSize == 0) {
            DataFileDocument::Block b;
            b.zeitMin = b.kursMin = inf;
            b.zeitMax = b.kursMax = -inf;
            expected.push_back(b);
        }
        DataFileDocument::Block& b = expected.back();
        if (std::isfinite(s.Zeit)) {
            b.zeitMin = std::min(b.zeitMin, s.Zeit);
            b.zeitMax = std::max(b.zeitMax, s.Zeit);
        }
        if (std::isfinite(s.Kurs)) {
            b.kursMin = std::min(b.kursMin, s.Kurs);
            b.kursMax = std::max(b.kursMax, s.Kurs);
        }
        if (std::isfinite(s.Volume) && s.Volume > 0) b.volumeSum += s.Volume;
    }
    ASSERT_EQ(faults, 12);  // the record after the infinite time is earlier than it

    OpenFile writer(systemFileSystem());
    struct Way {
        const char* what;
        bool writerHasTheFile;
    } ways[] = {{"alone", false}, {"while a writer has the file", true}};
    for (const Way& way : ways) {
        if (way.writerHasTheFile) {
            ASSERT_EQ(writer.open(FileSystem::nativePath(path), FileSystem::Access::kReadWrite), 0);
            ASSERT_EQ(writer.lock(), 0);
        }
        auto opened = DataFileDocument::open(path);
        writer.close();
        ASSERT_TRUE(opened) << way.what << ": " << opened.error().text.toStdString();
        const std::unique_ptr<DataFileDocument>& doc = *opened;
        EXPECT_EQ(doc->faultCount(), faults) << way.what;
        const std::vector<DataFileDocument::Block>& blocks = doc->blocks();
        ASSERT_EQ(blocks.size(), expected.size()) << way.what;
        for (size_t b = 0; b < blocks.size(); ++b) {
            SCOPED_TRACE(testing::Message() << way.what << ", block " << b);
            EXPECT_EQ(blocks[b].zeitMin, expected[b].zeitMin);
            EXPECT_EQ(blocks[b].zeitMax, expected[b].zeitMax);
            EXPECT_EQ(blocks[b].kursMin, expected[b].kursMin);
            EXPECT_EQ(blocks[b].kursMax, expected[b].kursMax);
            EXPECT_EQ(blocks[b].volumeSum, expected[b].volumeSum);
            if (HasFailure()) return;
        }
    }
}

TEST_F(DataFileDocumentTest, ALargeFileIsReadOnThreadsThatTellTheirEndOnce) {
    const QByteArray header(buildHeader(test::mercedesBenz(), kBezahlt).bytes.data(), kHeaderSize);
    test::writeFile(path, header + test::encodeRecords(ticks(8 * 65536 + 5)));
    std::atomic<int> told{0};
    auto doc = DataFileDocument::beginOpening(path, systemFileSystem(), [&] { ++told; });
    ASSERT_TRUE(doc) << doc.error().text.toStdString();
    EXPECT_FALSE((*doc)->isRead());
    EXPECT_EQ((*doc)->count(), 8 * 65536 + 5);
    EXPECT_EQ((*doc)->finishOpening().code(), 0);
    EXPECT_TRUE((*doc)->isRead());
    EXPECT_EQ(told, 1);
    EXPECT_EQ((*doc)->faultCount(), 0);

    // Gone before its pass ends: the pass stops and is waited for.
    told = 0;
    doc = DataFileDocument::beginOpening(path, systemFileSystem(), [&] { ++told; });
    ASSERT_TRUE(doc);
    doc->reset();
    EXPECT_LE(told, 1);

    // A small file is read before the call returns and never tells.
    test::writeFile(path, header + test::encodeRecords(ticks(100)));
    told = 0;
    doc = DataFileDocument::beginOpening(path, systemFileSystem(), [&] { ++told; });
    ASSERT_TRUE(doc);
    EXPECT_TRUE((*doc)->isRead());
    EXPECT_EQ(told, 0);
}

// The passes of files opened one after the other share the threads that read them: each file is
// read whole and alone, and one closed before its pass ends holds up no other.
TEST_F(DataFileDocumentTest, LargeFilesOpenedAtOnceAreEachReadWhole) {
    const QByteArray header(buildHeader(test::mercedesBenz(), kBezahlt).bytes.data(), kHeaderSize);
    const int n = 8 * 65536 + 5;
    struct File {
        QString path;
        std::vector<int> outOfOrder;
        float kurs;  // every record's price
        std::vector<KursSatz> records;
    } files[] = {{dir.path() + "/erste.VQS", {70000}, 101, {}},
                 {dir.path() + "/zweite.VQS", {2, 300000, n - 1}, 202, {}},
                 {dir.path() + "/dritte.VQS", {}, 303, {}}};
    for (File& f : files) {
        f.records = ticks(n);
        for (KursSatz& s : f.records) s.Kurs = f.kurs;
        for (int i : f.outOfOrder) f.records[i].Zeit = f.records[i - 2].Zeit;
        test::writeFile(f.path, header + test::encodeRecords(f.records));
    }
    std::atomic<int> told{0};
    std::vector<std::unique_ptr<DataFileDocument>> docs;
    for (const File& f : files) {
        auto opened = DataFileDocument::beginOpening(f.path, systemFileSystem(), [&] { ++told; });
        ASSERT_TRUE(opened) << opened.error().text.toStdString();
        docs.push_back(std::move(*opened));
    }
    docs[2].reset();  // closed at once
    for (int i : {1, 0}) {
        const File& f = files[i];
        SCOPED_TRACE(f.path.toStdString());
        EXPECT_EQ(docs[i]->finishOpening().code(), 0);
        EXPECT_EQ(docs[i]->faultCount(), static_cast<std::int64_t>(f.outOfOrder.size()));
        const std::vector<DataFileDocument::Block>& groups = docs[i]->groups();
        ASSERT_EQ(groups.size(), static_cast<size_t>(n / DataFileDocument::kGroupRecords + 1));
        for (size_t g = 0; g < groups.size(); ++g) {
            const auto first = static_cast<std::int64_t>(g) * DataFileDocument::kGroupRecords;
            const std::int64_t end =
                std::min<std::int64_t>(n, first + DataFileDocument::kGroupRecords);
            double zeitMax = -INFINITY;
            for (std::int64_t r = first; r < end; ++r)
                zeitMax = std::max(zeitMax, f.records[r].Zeit);
            EXPECT_EQ(groups[g].zeitMax, zeitMax) << g;
            EXPECT_EQ(groups[g].kursMin, f.kurs) << g;
            EXPECT_EQ(groups[g].kursMax, f.kurs) << g;
            EXPECT_EQ(groups[g].volumeSum, static_cast<double>(end - first)) << g;
            if (HasFailure()) return;
        }
    }
    EXPECT_GE(told, 2);
    EXPECT_LE(told, 3);
}

TEST_F(DataFileDocumentTest, GoesToTheFirstRecordAtOrAfterATime) {
    std::vector<KursSatz> records = ticks(100);
    records[50].Zeit = records[49].Zeit;  // equal times are in order
    auto doc = write(records);
    EXPECT_EQ(doc->firstAtOrAfter(records[49].Zeit), 49);
    EXPECT_EQ(doc->firstAtOrAfter(records[49].Zeit + 0.1 / kMillisecondsPerDay), 51);
    EXPECT_EQ(doc->firstAtOrAfter(0), 0);
    EXPECT_EQ(doc->firstAtOrAfter(kDay + 1), 100);
    // Out of order, the first such record counts, not a binary search's guess.
    records[10].Zeit = kDay + 0.9;
    doc = write(records);
    EXPECT_EQ(doc->firstAtOrAfter(kDay + 0.5), 10);
}

TEST_F(DataFileDocumentTest, DecimatesToOnePairPerColumnWithTheExtremes) {
    std::vector<KursSatz> records = ticks(100000);
    records[31234].Kurs = 1;
    records[77777].Kurs = 500;
    records[50000].Kurs = std::numeric_limits<float>::quiet_NaN();
    auto doc = write(records);
    const double from = records.front().Zeit, to = records.back().Zeit + 1e-9;
    const std::vector<ChartColumn> cols = doc->decimate(from, to, 100);
    ASSERT_EQ(cols.size(), 100u);
    float lo = INFINITY, hi = -INFINITY;
    double volume = 0;
    for (const ChartColumn& c : cols) {
        lo = std::min(lo, c.kursMin);
        hi = std::max(hi, c.kursMax);
        volume += c.volume;
    }
    EXPECT_EQ(lo, 1);
    EXPECT_EQ(hi, 500);
    EXPECT_DOUBLE_EQ(volume, 100000);
    // Zoomed into one millisecond per column: each column is its record.
    const std::vector<ChartColumn> fine =
        doc->decimate(records[100].Zeit - 0.5 / kMillisecondsPerDay,
                      records[109].Zeit + 0.5 / kMillisecondsPerDay, 10);
    ASSERT_EQ(fine.size(), 10u);
    for (int i = 0; i < 10; ++i) EXPECT_EQ(fine[i].kursMin, records[100 + i].Kurs) << i;
}

TEST_F(DataFileDocumentTest, EditsSaveInPlaceAndKeepRecordsAppendedMeanwhile) {
    const std::vector<KursSatz> records = ticks(20000);
    auto doc = write(records);
    std::vector<KursSatz> expected = records;

    doc->set(15000, {records[15000].Zeit, 55.5f, 7});
    expected[15000] = {records[15000].Zeit, 55.5f, 7};
    doc->remove(16000);
    expected.erase(expected.begin() + 16000);
    const KursSatz inserted{records[17000].Zeit, 77, 3};
    doc->insert(17000, inserted);
    expected.insert(expected.begin() + 17000, inserted);
    EXPECT_EQ(doc->count(), 20000);

    // The recorder appends: some seen by the document before the save, some not.
    const TitelDef def = test::mercedesBenz();
    const std::vector<KursSatz> later = ticks(6, kDay + 0.5);
    for (int i = 0; i < 3; ++i)
        ASSERT_EQ(store.append(def, kBezahlt, later[i]), Appended::kWritten);
    EXPECT_EQ(doc->refresh(), 3);
    EXPECT_EQ(doc->record(20002), later[2]);
    for (int i = 3; i < 6; ++i)
        ASSERT_EQ(store.append(def, kBezahlt, later[i]), Appended::kWritten);

    const QFileInfo before(path);
    ASSERT_EQ(doc->save(store).code(), 0);
    expected.insert(expected.end(), later.begin(), later.end());
    EXPECT_EQ(decodeAll(test::readFile(path)), expected);
    EXPECT_EQ(QFileInfo(path).fileTime(QFileDevice::FileBirthTime),
              before.fileTime(QFileDevice::FileBirthTime));
    EXPECT_FALSE(QFile::exists(DataFileStore::journalPath(path)));

    // After the save the document reads the file, and takes what came while it saved.
    EXPECT_EQ(doc->count(), 20003);
    EXPECT_EQ(doc->refresh(), 3);
    for (size_t i = 0; i < expected.size(); i += 997) EXPECT_EQ(doc->record(i), expected[i]) << i;
    EXPECT_EQ(doc->record(20005), later[5]);
    EXPECT_FALSE(doc->isEdited());
}

TEST_F(DataFileDocumentTest, AFailedSaveLeavesTheFileAsItWasAndKeepsTheEdits) {
    auto doc = write(ticks(100));
    const QByteArray old = test::readFile(path);
    doc->set(3, {kDay, 1, 1});
    doc->remove(50);
    for (const auto call : {test::FaultyFileSystem::Call::Write, test::FaultyFileSystem::Call::Sync,
                            test::FaultyFileSystem::Call::Truncate}) {
        test::FaultyFileSystem faulty;
        faulty.fail(call, ENOSPC, "710000");
        DataFileStore failing(faulty);
        failing.setRoot(dir.path());
        EXPECT_EQ(doc->save(failing).code(), ENOSPC);
        EXPECT_EQ(test::readFile(path), old);
        EXPECT_TRUE(doc->isEdited()) << "the edits stay for another try";
    }
    ASSERT_EQ(doc->save(store).code(), 0);
    EXPECT_EQ(decodeAll(test::readFile(path)).size(), 99u);
}

// A Datenpflege merge rewrote the file after the edits began: saving would undo it or mix the
// two, so nothing is written and the edits stay.
TEST_F(DataFileDocumentTest, ASaveAfterAnotherRewriteOfTheRecordsWritesNothing) {
    auto doc = write(ticks(1000));
    doc->set(10, {kDay + 0.4, 1, 1});
    ASSERT_EQ(store
                  .rewriteInPlace(path, kHeaderSize + 900 * kRecordSize, nullptr,
                                  [](DataFileStore::OldBytes&, DataFileStore::NewBytes& out) {
                                      char r[kRecordSize];
                                      encodeKursSatz({kDay + 0.45, 5, 5}, r);
                                      return out.write(r, kRecordSize);
                                  })
                  .code(),
              0);
    const QByteArray merged = test::readFile(path);
    EXPECT_EQ(doc->save(store).code(), DataFileDocument::kChangedMeanwhile);
    EXPECT_EQ(test::readFile(path), merged);
    EXPECT_TRUE(doc->isEdited());
}

// A recorder in another process appends all the while: the save waits for each append and each
// append for the save, so no record is lost or doubled.
TEST_F(DataFileDocumentTest, SaveWhileAnotherProcessAppends) {
    const std::vector<KursSatz> records = ticks(200000);
    auto doc = write(records);
    QProcess appender;
    appender.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    appender.start(QStringLiteral(DATENINSPEKTOR_SAVE_HELPER), {"append", dir.path(), "4000"});
    ASSERT_TRUE(appender.waitForStarted());
    int seen = 0;
    while (seen < 200 && appender.waitForReadyRead(30000))
        seen += static_cast<int>(appender.readAllStandardOutput().count('\n'));
    for (int i = 0; i < 200000; i += 1000) doc->set(i, {records[i].Zeit, 1.5f, 2});
    doc->remove(10);
    ASSERT_EQ(doc->save(store).code(), 0);
    ASSERT_TRUE(appender.waitForFinished(60000));
    ASSERT_EQ(appender.exitCode(), 0);

    const std::vector<KursSatz> saved = decodeAll(test::readFile(path));
    ASSERT_EQ(saved.size(), 200000u - 1 + 4000);
    for (size_t i = 0; i < 199999; ++i) {
        const size_t original = i < 10 ? i : i + 1;
        const float kurs = original % 1000 == 0 ? 1.5f : records[original].Kurs;
        ASSERT_EQ(saved[i].Kurs, kurs) << i;
    }
    for (size_t i = 199999; i < saved.size(); ++i)
        ASSERT_EQ(saved[i].Volume, static_cast<float>(i - 199999 + 1)) << "appended ticks in order";
}

TEST(DataFileListing, ListsDataFilesByTheirHeaders) {
    QTemporaryDir dir;
    const QByteArray header(buildHeader(test::mercedesBenz(), kBezahlt).bytes.data(), kHeaderSize);
    DateiKopf alt;  // the old layout: no long fields
    alt.setField(kopf::kKennung, kKennung);
    alt.setField(kopf::kTitelname, QString(60, 'N'));
    alt.setField(kopf::kKurzcode, "ALTCODE-1234567890XYZ");
    alt.setField(kopf::kTitelnameLang, "nicht gezeigt");
    const QByteArray record(kRecordSize, '\0');
    test::writeFile(dir.path() + "/nur-kopf.VQS", header);        // 856: not listed
    test::writeFile(dir.path() + "/klein.vqs", header + record);  // 872: listed
    test::writeFile(dir.path() + "/ALT.Vqs", QByteArray(alt.bytes.data(), kHeaderSize) + record);
    test::writeFile(dir.path() + "/andere.txt", header + record);
    const DataFileListing listing = listDataFiles(dir.path());
    EXPECT_TRUE(listing.error.isEmpty());
    ASSERT_EQ(listing.files.size(), 2u);
    for (const ListedDataFile& f : listing.files) {
        if (f.path.endsWith("ALT.Vqs")) {
            EXPECT_EQ(f.titel, QString(50, 'N'));
            EXPECT_EQ(f.code, "ALTCODE-1234567890");
        } else {
            EXPECT_EQ(f.path, dir.path() + "/klein.vqs");
            EXPECT_EQ(f.titel, "Mercedes-Benz (ETR)");
            EXPECT_EQ(f.code, "710000-BRAVOL-ETR");
            EXPECT_EQ(f.beschreibung.size(), 250);
        }
    }
}

}  // namespace
}  // namespace vqs
