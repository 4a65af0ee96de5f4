#include "datafiles/datei_kopf.h"
#include "support/test_support.h"
#include "tools/vqstool_run.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <sys/stat.h>

namespace vqs {
namespace {

using test::readFile;
using test::runTool;
using test::ToolRun;
using test::writeFile;

const QByteArray kCsv =
    "time,price,volume\n"
    "2026-12-10T09:00:00.000,101.25,300\n"
    "2026-12-10T09:00:00.000,101.5,0\n"
    "2026-12-10T09:31:02.123,99.75,1500\n"
    "2026-12-11T17:35:59.999,0.001,12.5\n";

class VqstoolData : public ::testing::Test {
protected:
    QTemporaryDir dir_;
    QString root() const { return dir_.path() + "/daten"; }

    ToolRun import(const QByteArray& csv, const QStringList& extra = {}) {
        QDir().mkpath(root());
        writeFile(dir_.path() + "/in.csv", csv);
        return runTool(QStringList{"import", "--root", root(), "--folder", "Eigene (Depot)",
                                   "--wkn", "A1B/2C", "--name", "Muster AG", "--exchange", "ETR"} +
                       extra + QStringList{dir_.path() + "/in.csv"});
    }
};

TEST_F(VqstoolData, ImportThenDumpGivesBackTheCsv) {
    ToolRun r = import(kCsv);
    ASSERT_EQ(r.rc, 0) << r.err.toStdString();
    const QString path = root() + "/Eigene -Depot-/A1B-2C-BRAVOL-ETR.VQS";
    EXPECT_EQ(r.out, path + "\n");
    EXPECT_EQ(readFile(path).size(), 856 + 4 * 16);

    ToolRun d = runTool({"dump", path});
    EXPECT_EQ(d.rc, 0);
    EXPECT_EQ(d.out.toUtf8(), kCsv);

    // A second import appends behind the first.
    ASSERT_EQ(import("time,price,volume\n2026-12-12T08:00:00.000,5,5\n").rc, 0);
    EXPECT_EQ(readFile(path).size(), 856 + 5 * 16);
}

TEST_F(VqstoolData, InfoShowsTheHeaderFieldsAndRecordCount) {
    ASSERT_EQ(import(kCsv, {"--kind", "1"}).rc, 0);
    ToolRun r = runTool({"info", root() + "/Eigene -Depot-/A1B-2C-G-BRAVOL-ETR.VQS"});
    EXPECT_EQ(r.rc, 0);
    EXPECT_EQ(r.out,
              "Kennung: PLV Tickarchivar-Datei Version 01.00\n"
              "Titelname: Muster AG (ETR), Geld\n"
              "Kurzcode: A1B-2C-G-BRAVOL-ET\n"
              "Beschreibung: Muster AG (A1B/2C, ETR), Geld\n"
              "LangFelder: Ja\n"
              "TitelnameLang: Muster AG (ETR), Geld\n"
              "KurzcodeLang: A1B-2C-G-BRAVOL-ETR\n"
              "Datenquelle: BRAVOLT\n"
              "TitelKey: A1B/2C@ETR\n"
              "Pflegedatum: \n"
              "Kursart: Geld\n"
              "Datensätze: 4\n");
}

// An import is all or nothing and never leaves a file that check refuses: a corrected re-run
// appends each row once.
TEST_F(VqstoolData, ABadRowStopsTheImportWithItsLineNumberAndNothingIsAppended) {
    const QString path = root() + "/Eigene -Depot-/A1B-2C-BRAVOL-ETR.VQS";
    ToolRun r = import(
        "time,price,volume\n"
        "2026-12-10T09:00:00.000,101.25,300\n"
        "2026-12-10T09:00:01.000,abc,300\n"
        "2026-12-10T09:00:02.000,102,300\n");
    EXPECT_EQ(r.rc, 1);
    EXPECT_TRUE(r.err.contains("Zeile 3")) << r.err.toStdString();
    EXPECT_FALSE(QFile::exists(path)) << "not even the rows before";

    for (const char* bad : {"2026-12-10 09:00:00,1,1\n", "2026-12-10T09:00:00.000,1\n",
                            "2026-12-10T09:00:00.000,1,-5\n", "2026-12-10T25:00:00.000,1,1\n",
                            "1899-12-30T12:00:00.000,1,1\n", "0001-01-01T00:00:00.000,1,1\n"}) {
        ToolRun b = import(QByteArray("time,price,volume\n") + bad);
        EXPECT_EQ(b.rc, 1) << bad;
        EXPECT_TRUE(b.err.contains("Zeile 2")) << bad;
    }
    EXPECT_FALSE(QFile::exists(path));

    // Rows out of time order, within the CSV or against what the file holds.
    ASSERT_EQ(import(kCsv).rc, 0);
    const QByteArray before = readFile(path);
    r = import("2026-12-12T10:00:00.000,1,1\n2026-12-12T09:59:59.999,1,1\n");
    EXPECT_EQ(r.rc, 1);
    EXPECT_TRUE(r.err.contains("Zeile 2: älter als die Zeile davor")) << r.err.toStdString();
    r = import("2026-12-11T17:35:59.998,1,1\n");
    EXPECT_EQ(r.rc, 1);
    EXPECT_TRUE(
        r.err.contains("Zeile 1: älter als der letzte Datensatz der Datei "
                       "(2026-12-11T17:35:59.999)"))
        << r.err.toStdString();
    EXPECT_EQ(readFile(path), before);
    EXPECT_EQ(runTool({"check", path}).rc, 0);

    EXPECT_EQ(runTool({"import", "--root", root()}).rc, 2);
}

// The back-fill merge from a CSV file: rows in any order replace the old records of their span;
// earlier and later records stay.
TEST_F(VqstoolData, MergeReplacesTheSpanOfItsRowsAndKeepsTheRest) {
    ASSERT_EQ(import(kCsv).rc, 0);
    const QString path = root() + "/Eigene -Depot-/A1B-2C-BRAVOL-ETR.VQS";
    writeFile(dir_.path() + "/nach.csv",
              "2026-12-10T09:31:00.000,98,5\n"
              "2026-12-10T09:00:00.500,97,5\n");
    auto merge = [&](const QString& csv) {
        return runTool({"merge", "--root", root(), "--folder", "Eigene (Depot)", "--wkn", "A1B/2C",
                        "--name", "Muster AG", "--exchange", "ETR", csv});
    };
    ToolRun r = merge(dir_.path() + "/nach.csv");
    ASSERT_EQ(r.rc, 0) << r.err.toStdString();
    EXPECT_EQ(r.out, path + "\n2 Datensätze eingefügt, 2 spätere behalten\n");
    EXPECT_EQ(runTool({"dump", path}).out,
              "time,price,volume\n"
              "2026-12-10T09:00:00.000,101.25,300\n"
              "2026-12-10T09:00:00.000,101.5,0\n"
              "2026-12-10T09:00:00.500,97,5\n"
              "2026-12-10T09:31:00.000,98,5\n"
              "2026-12-10T09:31:02.123,99.75,1500\n"
              "2026-12-11T17:35:59.999,0.001,12.5\n");
    EXPECT_EQ(runTool({"check", path}).rc, 0);

    const QByteArray before = readFile(path);
    writeFile(dir_.path() + "/kaputt.csv", "2026-12-10T09:10:00.000,1,1\nkaputt\n");
    r = merge(dir_.path() + "/kaputt.csv");
    EXPECT_EQ(r.rc, 1);
    EXPECT_TRUE(r.err.contains("Zeile 2")) << r.err.toStdString();
    EXPECT_EQ(readFile(path), before) << "nothing of a bad file is merged";
}

TEST_F(VqstoolData, CheckAcceptsValidFilesAndNamesWhatIsWrong) {
    TitelDef d;
    d.RT_WKN = d.WKN = "X";
    d.RT_Boerse = "ETR";
    const QByteArray header(buildHeader(d, kBezahlt).bytes.data(), 856);
    auto rec = [](double zeit) {
        char r[16];
        encodeKursSatz({zeit, 1, 1}, r);
        return QByteArray(r, 16);
    };
    struct Case {
        const char* name;
        QByteArray bytes;
        int rc;
        const char* says;
    } cases[] = {
        {"header only", header, 0, "0 Datensätze"},
        {"equal times", header + rec(1) + rec(2) + rec(2) + rec(3), 0, "4 Datensätze"},
        {"short header", header.left(855), 1, "unvollständig (855 von 856 Bytes)"},
        {"foreign", QByteArray(900, 'x'), 1, "keine Tickarchivar-Datei"},
        {"partial record", header + rec(1) + QByteArray(5, 'x'), 1,
         "unvollständiger Datensatz (5 Bytes)"},
        {"out of order", header + rec(1) + rec(3) + rec(2) + rec(1), 1, "Datensatz 3 ist älter"},
    };
    for (const Case& c : cases) {
        const QString path = dir_.path() + "/f.VQS";
        writeFile(path, c.bytes);
        ToolRun r = runTool({"check", path});
        EXPECT_EQ(r.rc, c.rc) << c.name;
        EXPECT_TRUE((r.out + r.err).contains(QString::fromUtf8(c.says)))
            << c.name << ": " << (r.out + r.err).toStdString();
    }
    EXPECT_EQ(runTool({"check", dir_.path() + "/fehlt.VQS"}).rc, 1);
    EXPECT_EQ(runTool({"info", dir_.path() + "/fehlt.VQS"}).rc, 1);

    // A FIFO under the name is refused at once, never waited on.
    const QString fifo = dir_.path() + "/fifo.VQS";
    ASSERT_EQ(::mkfifo(QFile::encodeName(fifo).constData(), 0600), 0);
    for (const char* command : {"check", "info", "dump", "titles"}) {
        ToolRun r = runTool({command, fifo});
        EXPECT_EQ(r.rc, 1) << command;
        EXPECT_TRUE(r.err.contains("keine gewöhnliche Datei")) << command << r.err.toStdString();
    }
}

}  // namespace
}  // namespace vqs
