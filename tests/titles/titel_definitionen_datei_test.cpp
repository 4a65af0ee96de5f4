#include "titles/titel_definitionen_datei.h"

#include "support/forwarding_file_system.h"
#include "support/test_support.h"
#include "titles/titel_registry.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>

#include <sys/stat.h>

#include <variant>

namespace vqs {
namespace {

using test::readFile;
using test::writeFile;

TitelDef makeDef(const QString& code, const QString& exchange, const QString& folder, bool aktiv,
                 bool bidAsk) {
    TitelDef d = test::titel(code, folder, aktiv, bidAsk);
    d.Name = QStringLiteral("Titel %1 (Ü)").arg(code);  // a letter beyond ASCII
    d.RT_Boerse = exchange;
    return d;
}

// Loading and saving through the recording core, as both programs do.
class TitelDefinitionenDateiTest : public ::testing::Test {
protected:
    test::TestContext t_;
    TitelRegistry& titles() { return t_.recorder.titles(); }
    QString path() const { return t_.recorder.definitionsFilePath(); }

    void save(const std::vector<TitelDef>& defs) {
        KeyedCollection<TitelDef> c;
        for (const TitelDef& d : defs) c.add(d.id().text(), d);
        writeTitelDefinitionenFile(path(), c);
    }
    QStringList loadedKeys() {
        QStringList keys;
        for (const TitelDef& def : titles().definitions()) keys << def.id().text();
        return keys;
    }
    // The files kept aside beside the definitions file.
    QStringList keptAside() const {
        return QDir(t_.dir.path()).entryList({"Bravolt_Titel_Original_*.Dat"}, QDir::Files);
    }
};

TEST_F(TitelDefinitionenDateiTest, AnEmptyCollectionIsTheHeaderAndTwoZeroBytes) {
    ASSERT_TRUE(t_.recorder.saveDefinitions());
    EXPECT_EQ(readFile(path()), QByteArray("Tradomir VQS BravoltDefs 01.00\0\0", 32));
    t_.recorder.loadDefinitions();
    EXPECT_TRUE(titles().definitions().isEmpty());
    EXPECT_TRUE(t_.messages.shown.empty());
}

TEST_F(TitelDefinitionenDateiTest, SavedDefinitionsLoadBackEqualInOrder) {
    const std::vector<TitelDef> defs{makeDef("710000", "ETR", "Dax 30", true, true),
                                     makeDef("A1B2C3", "FRA", "Eigene", false, false),
                                     makeDef("710000", "FRA", "dax 30", true, false)};
    for (const TitelDef& d : defs) titles().add(d);
    ASSERT_TRUE(t_.recorder.saveDefinitions());
    titles().clear();

    t_.recorder.loadDefinitions();
    EXPECT_EQ(loadedKeys(), (QStringList{"710000@ETR", "A1B2C3@FRA", "710000@FRA"}));
    EXPECT_EQ(*titles().find(QStringLiteral("710000@ETR")), defs[0]);
    EXPECT_EQ(*titles().find(QStringLiteral("A1B2C3@FRA")), defs[1]);
    QStringList folders;
    for (const auto& e : titles().folders()) folders << e.value;
    EXPECT_EQ(folders, (QStringList{"Dax 30", "Eigene"})) << "one folder, its first spelling";
    EXPECT_EQ(titles().find(QStringLiteral("710000@FRA"))->Ordner, "Dax 30");
    EXPECT_EQ(t_.events.titlesChanged, 1);
    EXPECT_EQ(t_.events.startInfo,
              (QStringList{"Die Titeldefinitionen werden geladen. Bitte warten...",
                           "Der Datenstrom wird initialisiert. Bitte warten..."}));
    EXPECT_EQ(t_.loop.busyDepth, 0) << "the hourglass is gone again";
    EXPECT_TRUE(t_.messages.shown.empty());
}

TEST_F(TitelDefinitionenDateiTest, ProgressIsReportedAtEveryTwentiethDefinition) {
    std::vector<TitelDef> defs;
    for (int i = 0; i < 45; ++i)
        defs.push_back(makeDef(QString::number(100000 + i), "ETR", "X", false, false));
    save(defs);
    t_.recorder.loadDefinitions();
    EXPECT_EQ(titles().definitions().size(), 45);
    EXPECT_EQ(t_.events.progressMaximum, 45);
    EXPECT_EQ(t_.events.progressValues, (std::vector<int>{20, 40}));
}

TEST_F(TitelDefinitionenDateiTest, AMissingFileIsCreatedEmptyWithoutAMessage) {
    t_.recorder.loadDefinitions();
    EXPECT_TRUE(QFile::exists(path()));
    EXPECT_EQ(readFile(path()).size(), 0);
    EXPECT_TRUE(titles().definitions().isEmpty());
    EXPECT_TRUE(t_.messages.shown.empty());
    t_.recorder.loadDefinitions();
    EXPECT_TRUE(t_.messages.shown.empty()) << "an empty file is no damage";
}

// A file that does not load whole is kept aside before anything is saved over it; the
// definitions before the damage load; the message says how many and where the original is.
TEST_F(TitelDefinitionenDateiTest, ADamagedFileIsKeptAsideAndItsCompleteDefinitionsLoad) {
    save({makeDef("1", "ETR", "Dax 30", false, false), makeDef("2", "ETR", "Dax 30", false, true),
          makeDef("3", "ETR", "Dax 30", false, false)});
    const QByteArray full = readFile(path());
    const QByteArray torn = full.left(full.size() - 3);
    writeFile(path(), torn);

    t_.recorder.loadDefinitions();
    EXPECT_EQ(loadedKeys(), (QStringList{"1@ETR", "2@ETR"}));
    ASSERT_EQ(keptAside().size(), 1);
    EXPECT_EQ(keptAside()[0], "Bravolt_Titel_Original_2026-12-10_10-00-00.Dat");
    EXPECT_EQ(readFile(t_.dir.path() + "/" + keptAside()[0]), torn);
    ASSERT_EQ(t_.messages.shown.size(), 1u);
    const QString text = t_.messages.shown[0].text;
    EXPECT_TRUE(
        text.startsWith("Fehler beim Laden der Titeldefinitionen aufgetreten: Die Datei "
                        "endet unerwartet"))
        << text.toStdString();
    EXPECT_TRUE(text.contains("2 vollständige Titeldefinitionen wurden übernommen."));
    EXPECT_TRUE(text.contains(keptAside()[0]));
    EXPECT_EQ(t_.messages.shown[0].style, msg::kOk);

    ASSERT_TRUE(t_.recorder.saveDefinitions());
    EXPECT_EQ(keptAside().size(), 1) << "kept once";
    t_.recorder.loadDefinitions();
    EXPECT_EQ(loadedKeys(), (QStringList{"1@ETR", "2@ETR"}));
}

TEST_F(TitelDefinitionenDateiTest, ForeignOrRandomFilesAreToldAndKeptAsTheyAre) {
    const QByteArray cases[] = {
        QByteArray("Irgendeine andere Datei mit Inhalt, lang genug"),
        QByteArray("kurz"),
        QByteArray::fromHex("8f3a00c1ffee0102030405060708090a0b0c0d0e0f10111213141516171819"),
    };
    for (const QByteArray& foreign : cases) {
        t_.messages.shown.clear();
        for (const QString& old : keptAside()) QFile::remove(t_.dir.path() + "/" + old);
        writeFile(path(), foreign);
        titles().add(makeDef("x", "y", "", false, false));
        t_.recorder.loadDefinitions();
        EXPECT_EQ(titles().definitions().size(), 1) << "the titles stay as they were";
        EXPECT_EQ(readFile(path()), foreign);
        ASSERT_EQ(t_.messages.shown.size(), 1u);
        EXPECT_TRUE(t_.messages.shown[0].text.contains("keine Titeldefinitionsdatei"));
        ASSERT_EQ(keptAside().size(), 1);
        EXPECT_EQ(readFile(t_.dir.path() + "/" + keptAside()[0]), foreign);
    }
}

TEST_F(TitelDefinitionenDateiTest, AnyCutOfAFileNeverCrashesAndAlwaysTells) {
    std::vector<TitelDef> defs;
    for (int i = 0; i < 3; ++i) defs.push_back(makeDef(QString::number(i), "ETR", "D", true, true));
    save(defs);
    const QByteArray full = readFile(path());
    for (qsizetype len = 1; len <= full.size(); ++len) {
        writeFile(path(), full.left(len));
        t_.messages.shown.clear();
        titles().clear();
        t_.recorder.loadDefinitions();
        EXPECT_EQ(t_.messages.shown.size(), len < full.size() ? 1u : 0u) << len;
        if (len == full.size()) {
            EXPECT_EQ(titles().definitions().size(), 3);
        }
    }
}

TEST_F(TitelDefinitionenDateiTest, OddElementsAreSkippedAndFoldersCannotLeaveTheDataRoot) {
    auto text = [](const char* s) { return TaggedValue::text(QString::fromUtf8(s)); };
    auto def = [&](const char* code, const char* folder) {
        return TaggedValue::list({text(code), text(code), text("Name"), text(folder), text("ETR"),
                                  TaggedValue::int16(-1)},
                                 0);
    };
    std::vector<TaggedValue> elements{
        def("1", "../../etc"),
        def("2", ".."),
        TaggedValue::text("kein Titel"),
        TaggedValue::list({text("3"), text("3")}, 0),  // too short for a key
        def("1", "Doppelt"),                           // duplicate key: skipped
        def("4", "a/b"),
        TaggedValue::list({text("5"), text("5"), TaggedValue::list({text("x")}, 0), text("E"),
                           text("ETR"), TaggedValue::boolean(true), TaggedValue::boolean(false),
                           TaggedValue(), TaggedValue::boolean(true), text("mehr"), text("mehr")},
                          0),  // a list where a text belongs, and more than nine positions
    };
    QByteArray bytes(kTitelDefinitionenKennung, kTitelDefinitionenKennungLength);
    writeTaggedValue(bytes, TaggedValue::list(elements, 1));
    writeFile(path(), bytes);

    t_.recorder.loadDefinitions();
    EXPECT_EQ(loadedKeys(), (QStringList{"1@ETR", "2@ETR", "4@ETR", "5@ETR"}));
    EXPECT_EQ(titles().find(QStringLiteral("1@ETR"))->Ordner, "..-..-etc");
    EXPECT_EQ(titles().find(QStringLiteral("2@ETR"))->Ordner, "--");
    EXPECT_EQ(titles().find(QStringLiteral("4@ETR"))->Ordner, "a-b");
    EXPECT_TRUE(titles().find(QStringLiteral("1@ETR"))->Aktiv) << "-1 as a number is true";
    EXPECT_FALSE(titles().find(QStringLiteral("1@ETR"))->NeueNamen) << "missing is false";
    EXPECT_EQ(titles().find(QStringLiteral("5@ETR"))->Name, "");
    EXPECT_TRUE(titles().find(QStringLiteral("5@ETR"))->NeueNamen);
    EXPECT_TRUE(t_.messages.shown.empty());
}

TEST_F(TitelDefinitionenDateiTest, ASaveThatCannotWriteIsReported) {
    // A program folder below a plain file cannot be written to, whatever the user's rights.
    writeFile(t_.dir.path() + "/eine-datei", "x");
    Recorder blocked(t_.dir.path() + "/eine-datei/sub", t_.settings, t_.clock, {});
    blocked.setMessagePresenter(&t_.messages);
    blocked.titles().add(makeDef("2", "ETR", "A", false, false));
    EXPECT_FALSE(blocked.saveDefinitions());
    ASSERT_EQ(t_.messages.shown.size(), 1u);
    EXPECT_TRUE(t_.messages.shown[0].text.startsWith(
        "Fehler beim Speichern der Titeldefinitionen aufgetreten: "));
}

TEST_F(TitelDefinitionenDateiTest, AFifoUnderTheNameIsToldAndNeverWaitedOn) {
    ASSERT_EQ(::mkfifo(QFile::encodeName(path()).constData(), 0600), 0);
    t_.recorder.loadDefinitions();
    ASSERT_EQ(t_.messages.shown.size(), 1u);
    EXPECT_TRUE(t_.messages.shown[0].text.contains("keine gewöhnliche Datei"));
    EXPECT_FALSE(t_.recorder.saveDefinitions()) << "what it holds is unknown: nothing over it";
}

// Reading holds one definition at a time, so memory follows the definitions, not the bytes:
// a file of nothing but empty elements loads nothing and holds nothing.
TEST(TitelDefinitionenScan, ElementsAreReadOneAtATime) {
    QByteArray bytes(kTitelDefinitionenKennung, kTitelDefinitionenKennungLength);
    const int n = 1'000'000;
    writeTaggedValue(bytes, TaggedValue::list(std::vector<TaggedValue>(n), 1));
    qint64 upper = 0, elements = 0, definitions = 0;
    TitelDefinitionenHandlers handlers;
    handlers.onCount = [&](qint64 u) { upper = u; };
    handlers.onDefinition = [&](qint64, std::optional<TitelDef>&& def) {
        ++elements;
        if (def) ++definitions;
    };
    const TitelDefinitionenScan scan = scanTitelDefinitionen(bytes, handlers);
    EXPECT_EQ(scan.status, TitelDefinitionenScan::kWhole);
    EXPECT_EQ(upper, n);
    EXPECT_EQ(elements, n);
    EXPECT_EQ(definitions, 0);
}

// What a scan hands over, element by element, and how it ends.
struct ScanRecord {
    std::vector<std::pair<qint64, std::optional<TitelDef>>> elements;
    qint64 upper = -1;
    TitelDefinitionenScan scan;
};
TitelDefinitionenHandlers recordInto(ScanRecord& r) {
    TitelDefinitionenHandlers h;
    h.onCount = [&r](qint64 upper) { r.upper = upper; };
    h.onDefinition = [&r](qint64 i, std::optional<TitelDef>&& d) {
        r.elements.emplace_back(i, std::move(d));
    };
    return h;
}

// The file is read in pieces: wherever a piece ends (inside a tag, a length, a text, a list
// header), the definitions and the damage found are those of the same bytes in memory.
TEST_F(TitelDefinitionenDateiTest, ReadingInPiecesFindsTheSameWhereverAPieceEnds) {
    auto text = [](const char* s) { return TaggedValue::text(QString::fromUtf8(s)); };
    std::vector<TaggedValue> elements{
        makeDef("710000", "ETR", "Dax 30", true, true).toTagged(),
        TaggedValue::text("kein Titel"),
        TaggedValue::list(
            {text("A"), text("B"), text("Zertifikat 5 € Ü"), text("Ordner"), text("FRA"),
             TaggedValue::int16(-1), TaggedValue::real(0.5), TaggedValue::list({text("x")}, 0),
             TaggedValue::boolean(true), TaggedValue::date(46366.5)},
            0),
        makeDef("710000", "FRA", "Dax 30", false, false).toTagged(),
        makeDef("X", "ETR", "", false, true).toTagged(),
    };
    QByteArray full(kTitelDefinitionenKennung, kTitelDefinitionenKennungLength);
    writeTaggedValue(full, TaggedValue::list(elements, 1));
    full.append("Danach kommt nichts mehr, was gelesen wird.");
    for (const qsizetype cut : {full.size(), full.size() - 50, qsizetype{100}, qsizetype{33}}) {
        const QByteArray bytes = full.left(cut);
        writeFile(path(), bytes);
        ScanRecord inMemory;
        inMemory.scan = scanTitelDefinitionen(bytes, recordInto(inMemory));
        ASSERT_EQ(inMemory.scan.status == TitelDefinitionenScan::kWhole, cut == full.size());
        for (const qint64 piece : {1, 2, 3, 5, 7, 11, 16, 31, 64, 1 << 20}) {
            ScanRecord fromFile;
            fromFile.scan =
                scanTitelDefinitionenFile(path(), systemFileSystem(), recordInto(fromFile), piece);
            EXPECT_EQ(fromFile.scan.status, inMemory.scan.status) << cut << "/" << piece;
            EXPECT_EQ(fromFile.scan.problem, inMemory.scan.problem) << cut << "/" << piece;
            EXPECT_EQ(fromFile.upper, inMemory.upper) << cut << "/" << piece;
            EXPECT_EQ(fromFile.elements, inMemory.elements) << cut << "/" << piece;
        }
    }
}

// A definitions file may be far larger than its definitions (bytes after the stored value are
// ignored): one beyond the 64 MiB that once were the limit loads whole. The bytes behind are a
// hole in the file, so the test writes a few hundred bytes.
TEST_F(TitelDefinitionenDateiTest, AFileBeyondSixtyFourMebibytesLoads) {
    save({makeDef("1", "ETR", "A", false, false), makeDef("2", "ETR", "A", false, true),
          makeDef("3", "ETR", "B", false, false)});
    QFile file(path());
    ASSERT_TRUE(file.resize(100LL * 1024 * 1024));
    t_.recorder.loadDefinitions();
    EXPECT_TRUE(t_.messages.shown.empty());
    EXPECT_EQ(loadedKeys(), (QStringList{"1@ETR", "2@ETR", "3@ETR"}));
    ASSERT_TRUE(t_.recorder.saveDefinitions());
    EXPECT_LT(QFileInfo(path()).size(), 1000);
}

// A file said to be over 1 GiB is refused with its size before anything is read: the titles
// stay as they were, and nothing is saved over it or copied aside.
TEST(TitelDefinitionenLimit, AFileOverOneGibibyteIsRefusedWithItsSizeAndKept) {
    class HugeFiles final : public test::ForwardingFileSystem {
    public:
        int size(Handle, std::int64_t& size) override {
            size = kMaxTitelDefinitionenSize + 1;
            return 0;
        }
    } huge;
    test::TestContext t({}, huge);
    const QString path = t.recorder.definitionsFilePath();
    KeyedCollection<TitelDef> defs;
    const TitelDef def = makeDef("1", "ETR", "A", false, false);
    defs.add(def.id().text(), def);
    writeTitelDefinitionenFile(path, defs);
    const QByteArray before = readFile(path);
    t.recorder.titles().add(makeDef("schon", "da", "A", false, false));

    t.recorder.loadDefinitions();
    ASSERT_EQ(t.messages.shown.size(), 1u);
    EXPECT_EQ(t.messages.shown[0].text,
              QStringLiteral("Fehler beim Laden der Titeldefinitionen aufgetreten: Die Datei %1 "
                             "ist mit 1073741825 Bytes zu groß.")
                  .arg(path));
    EXPECT_EQ(t.recorder.titles().definitions().size(), 1);
    EXPECT_TRUE(t.recorder.titles().find(QStringLiteral("schon@da")));

    EXPECT_FALSE(t.recorder.saveDefinitions());
    EXPECT_EQ(readFile(path), before);
    EXPECT_EQ(QDir(t.dir.path()).entryList({"Bravolt_Titel*"}, QDir::Files),
              QStringList{"Bravolt_Titel.Dat"});
}

// A save writes aside and puts the new file in place only when it is whole: one that fails after
// its first megabyte (a text too long for its length field) leaves the old file as it was.
TEST_F(TitelDefinitionenDateiTest, ASaveThatFailsOnTheWayLeavesTheOldFileWhole) {
    save({makeDef("alt", "ETR", "A", false, false)});
    const QByteArray before = readFile(path());
    for (int i = 0; i < 30000; ++i)
        titles().add(makeDef(QStringLiteral("T%1").arg(i), "ETR", "Ordner", false, false));
    TitelDef tooLong = makeDef("lang", "ETR", "X", false, false);
    tooLong.Name = QString(70000, u'x');
    titles().add(tooLong);

    EXPECT_FALSE(t_.recorder.saveDefinitions());
    ASSERT_EQ(t_.messages.shown.size(), 1u);
    EXPECT_TRUE(t_.messages.shown[0].text.contains("zu lang"))
        << t_.messages.shown[0].text.toStdString();
    EXPECT_EQ(readFile(path()), before);
    EXPECT_EQ(QDir(t_.dir.path()).entryList({"Bravolt_Titel*"}, QDir::Files),
              QStringList{"Bravolt_Titel.Dat"});
}

// Saving writes each definition directly; its bytes are exactly those of the tagged values.
TEST(TitelDefinitionenBytes, ASavedCollectionIsTheTaggedListOfItsDefinitions) {
    TitelDefCollection defs;
    std::vector<TaggedValue> items;
    for (const TitelDef& d :
         {makeDef("710000", "ETR", "Börse €", true, true), makeDef("", "", "", false, false)}) {
        TitelDef def = d;
        def.WKN = def.RT_WKN + "-W";
        defs.add(def);
        items.push_back(def.toTagged());
    }
    QByteArray expected(kTitelDefinitionenKennung, kTitelDefinitionenKennungLength);
    writeTaggedValue(expected, TaggedValue::list(items, 1));
    EXPECT_EQ(encodeTitelDefinitionen(defs).toHex(' '), expected.toHex(' '));
}

}  // namespace
}  // namespace vqs
