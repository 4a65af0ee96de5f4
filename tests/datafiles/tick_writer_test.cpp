#include "datafiles/tick_writer.h"

#include "datafiles/datei_kopf.h"
#include "support/test_support.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>

#include <cstring>

namespace vqs {
namespace {

using test::readFile;
using test::writeFile;

constexpr double kToday = 46366.0;  // 2026-12-10

TEST(CompleteTimestamp, DateCompletionTable) {
    struct Case {
        double zeit;
        QTime now;
        double expected;
    } cases[] = {
        {0.70, QTime(8, 0), kToday - 1 + 0.70},  // last evening's quote seen in the morning
        {0.70, QTime(10, 0), kToday + 0.70},
        {0.01, QTime(23, 0), kToday + 1 + 0.01},  // just after midnight, seen late: tomorrow
        {0.01, QTime(22, 0), kToday + 0.01},
        {0.666, QTime(8, 0), kToday + 0.666},  // the limit itself is today
        {0.05, QTime(23, 0), kToday + 0.05},
        {0.5, QTime(12, 0), kToday + 0.5},
        {kToday - 3 + 0.5, QTime(8, 0), kToday - 3 + 0.5},  // a full date stays
    };
    for (const Case& c : cases) {
        ManualClock clock(QDateTime(QDate(2026, 12, 10), c.now));
        EXPECT_DOUBLE_EQ(completeTimestamp(c.zeit, clock), c.expected)
            << c.zeit << " at " << c.now.toString().toStdString();
    }
}

class TickWriterTest : public ::testing::Test {
protected:
    test::TestContext t;
    TickWriter writer{t.ctx.TitelDefinitionen, t.ctx.Datenpfad, t.clock};

    TitelDef& addTitle(const QString& code, const QString& folder = "Dax 30") {
        TitelDef d;
        d.RT_WKN = d.WKN = code;
        d.Name = "Titel " + code;
        d.Ordner = folder;
        d.RT_Boerse = "ETR";
        d.Aktiv = true;
        d.NeueNamen = true;
        t.ctx.TitelDefinitionen.add(d.collectionKey(), d);
        return *t.ctx.TitelDefinitionen.find(d.collectionKey());
    }
    QString pathOf(const QString& folder, const QString& name) const {
        return t.ctx.Datenpfad + "/" + folder + "/" + name;
    }
    bool append(TitelDef& d, Kursart kind, float kurs, float volume, double zeit) {
        return writer.append(d, kind, d.key(), kurs, volume, zeit);
    }
    static QByteArray record(double zeit, float kurs, float volume) {
        char r[16];
        encodeKursSatz({zeit, kurs, volume}, r);
        return QByteArray(r, 16);
    }
};

TEST_F(TickWriterTest, TheFirstTickCreatesFolderFileAndHeader) {
    TitelDef& d = addTitle("710000");
    ASSERT_TRUE(append(d, kBezahlt, 101.5f, 300, 0.5));
    const QByteArray bytes = readFile(pathOf("Dax 30", "710000-BRAVOL-ETR.VQS"));
    ASSERT_EQ(bytes.size(), 872);
    EXPECT_EQ(bytes.left(856), QByteArray(buildHeader(d, kBezahlt).bytes.data(), 856));
    EXPECT_EQ(bytes.mid(856), record(kToday + 0.5, 101.5f, 300));

    ASSERT_TRUE(append(d, kBezahlt, 101.75f, 0, kToday + 0.6));
    EXPECT_EQ(readFile(pathOf("Dax 30", "710000-BRAVOL-ETR.VQS")).mid(872),
              record(kToday + 0.6, 101.75f, 0));
    EXPECT_TRUE(QDir(t.ctx.Datenpfad + "/Dax 30").entryList({"*.neu-*"}, QDir::Files).isEmpty())
        << "nothing left aside";
}

TEST_F(TickWriterTest, AFileNameBuiltHereIsRememberedAtItsPlace) {
    addTitle("A");
    TitelDef& d = addTitle("B");
    addTitle("C");
    TitelDef copy = d;  // the writer works on the caller's copy and puts it back
    ASSERT_TRUE(append(copy, kBrief, 1, 1, 0.5));
    const TitelDef* stored = t.ctx.TitelDefinitionen.find("KB@ETR");
    ASSERT_TRUE(stored->Dateinamen);
    EXPECT_EQ((*stored->Dateinamen)[2], "B-B-BRAVOL-ETR.VQS");
    EXPECT_EQ(t.ctx.TitelDefinitionen.indexOf("KB@ETR"), 1);

    // A remembered name is used as it stands.
    (*copy.Dateinamen)[2] = "anders.VQS";
    ASSERT_TRUE(append(copy, kBrief, 1, 1, 0.6));
    EXPECT_TRUE(QFile::exists(pathOf("Dax 30", "anders.VQS")));
}

TEST_F(TickWriterTest, FilesThatAreNoDataFilesAreNeverWritten) {
    TitelDef& d = addTitle("710000");
    QDir().mkpath(t.ctx.Datenpfad + "/Dax 30");
    const QString path = pathOf("Dax 30", "710000-BRAVOL-ETR.VQS");
    struct Case {
        const char* name;
        QByteArray content;
    } cases[] = {
        {"100 bytes of other data", QByteArray(100, 'x')},
        {"a short header", QByteArray(buildHeader(d, kBezahlt).bytes.data(), 500)},
        {"a foreign Kennung", QByteArray(900, 'y')},
    };
    for (const Case& c : cases) {
        writeFile(path, c.content);
        EXPECT_FALSE(append(d, kBezahlt, 1, 1, 0.5)) << c.name;
        EXPECT_EQ(readFile(path), c.content) << c.name;
    }
}

TEST_F(TickWriterTest, AnOldHeaderIsCompletedBeforeTheRecord) {
    TitelDef& d = addTitle("710000");
    DateiKopf old = buildHeader(d, kGeld);
    std::memset(old.bytes.data() + 556, 0, 856 - 556);  // written before the completion fields
    QDir().mkpath(t.ctx.Datenpfad + "/Dax 30");
    const QString path = pathOf("Dax 30", "710000-G-BRAVOL-ETR.VQS");
    writeFile(path, QByteArray(old.bytes.data(), 856));

    ASSERT_TRUE(append(d, kGeld, 2, 3, 0.5));
    const QByteArray bytes = readFile(path);
    ASSERT_EQ(bytes.size(), 872);
    DateiKopf k;
    std::memcpy(k.bytes.data(), bytes.constData(), 856);
    EXPECT_EQ(k.trimmedField(kopf::Datenquelle), "BRAVOLT");
    EXPECT_EQ(k.trimmedField(kopf::TitelKey), "710000@ETR");
    EXPECT_EQ(k.trimmedField(kopf::Kursart), "Geld");
    EXPECT_EQ(k.field(kopf::Pflegedatum), QString(8, QChar(0)));
}

TEST_F(TickWriterTest, ATornRecordIsOverwrittenSoLaterRecordsStayAligned) {
    TitelDef& d = addTitle("710000");
    ASSERT_TRUE(append(d, kBezahlt, 1, 1, kToday + 0.1));
    const QString path = pathOf("Dax 30", "710000-BRAVOL-ETR.VQS");
    QFile f(path);
    ASSERT_TRUE(f.open(QIODevice::Append));
    f.write("\x01\x02\x03\x04\x05", 5);  // a crash in the middle of a record
    f.close();

    ASSERT_TRUE(append(d, kBezahlt, 2, 2, kToday + 0.2));
    const QByteArray bytes = readFile(path);
    ASSERT_EQ(bytes.size(), 856 + 32);
    EXPECT_EQ(bytes.mid(872), record(kToday + 0.2, 2, 2));
}

TEST_F(TickWriterTest, AnEmptyFileGetsItsHeaderAndRecord) {
    TitelDef& d = addTitle("710000");
    QDir().mkpath(t.ctx.Datenpfad + "/Dax 30");
    const QString path = pathOf("Dax 30", "710000-BRAVOL-ETR.VQS");
    writeFile(path, {});
    ASSERT_TRUE(append(d, kBezahlt, 1, 1, 0.5));
    EXPECT_EQ(readFile(path).size(), 872);
}

TEST_F(TickWriterTest, NothingIsWrittenForAnEmptyDefinitionOrAnUnusableTick) {
    TitelDef empty;
    EXPECT_FALSE(writer.append(empty, kBezahlt, "X@ETR", 1, 1, 0.5));
    TitelDef& d = addTitle("710000");
    const float inf = std::numeric_limits<float>::infinity();
    const double nan = std::numeric_limits<double>::quiet_NaN();
    EXPECT_FALSE(append(d, kBezahlt, 1, 1, nan));
    EXPECT_FALSE(append(d, kBezahlt, inf, 1, 0.5));
    EXPECT_FALSE(append(d, kBezahlt, 1, std::numeric_limits<float>::quiet_NaN(), 0.5));
    EXPECT_EQ(QDir(t.ctx.Datenpfad).entryList(QDir::AllEntries | QDir::NoDotAndDotDot),
              QStringList{})
        << "no file and no folder";
}

TEST_F(TickWriterTest, NoTitleWritesOutsideTheDataRoot) {
    TitelDef& d = addTitle("../../x", "../..");
    d.RT_Boerse = "../y";
    ASSERT_TRUE(append(d, kBezahlt, 1, 1, 0.5));
    EXPECT_TRUE(QFile::exists(t.ctx.Datenpfad + "/..-../..-..-x-BRAVOL-..-y.VQS"));
}

}  // namespace
}  // namespace vqs
