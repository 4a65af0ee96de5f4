#include "titles/titel_definitionen_datei.h"

#include "support/test_support.h"

#include <gtest/gtest.h>

#include <QFile>

namespace vqs {
namespace {

using test::readFile;
using test::writeFile;

TitelDef makeDef(const QString& code, const QString& exchange, const QString& folder, bool aktiv,
                 bool bidAsk) {
    TitelDef d;
    d.RT_WKN = code;
    d.WKN = code;
    d.Name = QStringLiteral("Titel %1 (Ü)").arg(code);
    d.Ordner = folder;
    d.RT_Boerse = exchange;
    d.Aktiv = aktiv;
    d.UseBidAsk = bidAsk;
    d.NeueNamen = true;
    return d;
}

class RecordingListener final : public TitelLoadListener {
public:
    void replaceTitleObjects() override { ++replaced; }
    void activeTitleLoaded(const TitelDef& d) override { active << d.key(); }
    int replaced = 0;
    QStringList active;
};

class TitelDefinitionenDatei : public ::testing::Test {
protected:
    test::TestContext t;
    RecordingListener listener;
    QString path() const { return t.ctx.definitionsFilePath(); }

    void save(const std::vector<TitelDef>& defs) {
        KeyedCollection<TitelDef> c;
        for (const TitelDef& d : defs) c.add(d.collectionKey(), d);
        writeTitelDefinitionenFile(path(), c);
    }
    QStringList loadedKeys() const {
        QStringList keys;
        for (const auto& e : t.ctx.TitelDefinitionen) keys << e.key;
        return keys;
    }
};

TEST_F(TitelDefinitionenDatei, AnEmptyCollectionIsTheHeaderAndTwoZeroBytes) {
    ASSERT_TRUE(SaveTitelDefinitionen(t.ctx));
    QByteArray bytes = readFile(path());
    EXPECT_EQ(bytes, QByteArray("Tradomir VQS BravoltDefs 01.00\0\0", 32));
    LoadTitelDefinitionen(t.ctx, listener);
    EXPECT_TRUE(t.ctx.TitelDefinitionen.isEmpty());
    EXPECT_TRUE(t.messages.shown.empty());
}

TEST_F(TitelDefinitionenDatei, SavedDefinitionsLoadBackEqualInOrder) {
    TitelDef withNames = makeDef("710000", "ETR", "Dax 30", true, true);
    withNames.Dateinamen = std::array<QString, 3>{"a.VQS", "b.VQS", "c.VQS"};
    std::vector<TitelDef> defs{withNames, makeDef("A1B2C3", "FRA", "Eigene", false, false),
                               makeDef("710000", "FRA", "Dax 30", true, false)};
    for (const TitelDef& d : defs) t.ctx.TitelDefinitionen.add(d.collectionKey(), d);
    ASSERT_TRUE(SaveTitelDefinitionen(t.ctx));
    t.ctx.TitelDefinitionen.clear();

    LoadTitelDefinitionen(t.ctx, listener);
    EXPECT_EQ(loadedKeys(), (QStringList{"K710000@ETR", "KA1B2C3@FRA", "K710000@FRA"}));
    withNames.Dateinamen.reset();  // never stored
    EXPECT_EQ(*t.ctx.TitelDefinitionen.find("K710000@ETR"), withNames);
    EXPECT_EQ(*t.ctx.TitelDefinitionen.find("KA1B2C3@FRA"), defs[1]);
    EXPECT_EQ(listener.active, (QStringList{"710000@ETR", "710000@FRA"}));
    EXPECT_EQ(listener.replaced, 1);
    QStringList folders;
    for (const auto& e : t.ctx.Ordnerliste) folders << e.value;
    EXPECT_EQ(folders, (QStringList{"Dax 30", "Eigene"}));
    EXPECT_EQ(t.mainWindow.titelInfoCalls, 1);
    EXPECT_EQ(t.mainWindow.startInfo,
              (QStringList{"Die Titeldefinitionen werden geladen. Bitte warten...",
                           "Der Datenstrom wird initialisiert. Bitte warten..."}));
    EXPECT_EQ(t.loop.busyDepth, 0) << "the hourglass is gone again";
    EXPECT_TRUE(t.messages.shown.empty());
}

TEST_F(TitelDefinitionenDatei, ProgressIsReportedAtEveryTwentiethDefinition) {
    std::vector<TitelDef> defs;
    for (int i = 0; i < 45; ++i)
        defs.push_back(makeDef(QString::number(100000 + i), "ETR", "X", false, false));
    save(defs);
    LoadTitelDefinitionen(t.ctx, listener);
    EXPECT_EQ(t.ctx.TitelDefinitionen.size(), 45);
    EXPECT_EQ(t.mainWindow.progressMaximum, 45);
    EXPECT_EQ(t.mainWindow.progressValues, (std::vector<int>{20, 40}));
}

TEST_F(TitelDefinitionenDatei, AMissingFileIsCreatedEmptyWithoutAMessage) {
    LoadTitelDefinitionen(t.ctx, listener);
    EXPECT_TRUE(QFile::exists(path()));
    EXPECT_EQ(readFile(path()).size(), 0);
    EXPECT_TRUE(t.ctx.TitelDefinitionen.isEmpty());
    EXPECT_TRUE(t.messages.shown.empty());
    EXPECT_EQ(listener.replaced, 0);
}

TEST_F(TitelDefinitionenDatei, AForeignFileLoadsNothingAndStaysAsItIs) {
    const QByteArray foreign("Irgendeine andere Datei mit Inhalt, lang genug");
    writeFile(path(), foreign);
    t.ctx.TitelDefinitionen.add("Kx@y", makeDef("x", "y", "", false, false));
    LoadTitelDefinitionen(t.ctx, listener);
    EXPECT_EQ(t.ctx.TitelDefinitionen.size(), 1) << "collections stay as they were";
    EXPECT_EQ(readFile(path()), foreign);
    EXPECT_TRUE(t.messages.shown.empty());
}

TEST_F(TitelDefinitionenDatei, ATruncatedFileNeverCrashesAndReportsTheDamage) {
    std::vector<TitelDef> defs;
    for (int i = 0; i < 3; ++i)
        defs.push_back(makeDef(QString::number(i), "ETR", "Dax 30", true, true));
    save(defs);
    const QByteArray full = readFile(path());
    for (qsizetype len = 0; len <= full.size(); ++len) {
        writeFile(path(), full.left(len));
        t.messages.shown.clear();
        t.ctx.TitelDefinitionen.clear();
        LoadTitelDefinitionen(t.ctx, listener);
        if (len < 30) {
            EXPECT_TRUE(t.messages.shown.empty()) << len;  // a foreign (short) header
        } else if (len < full.size()) {
            ASSERT_EQ(t.messages.shown.size(), 1u) << len;
            EXPECT_TRUE(t.messages.shown[0].text.startsWith(
                "Fehler beim Laden der Titeldefinitionen aufgetreten: "))
                << len;
            EXPECT_EQ(t.messages.shown[0].style, msg::kOk);
        } else {
            EXPECT_TRUE(t.messages.shown.empty());
            EXPECT_EQ(t.ctx.TitelDefinitionen.size(), 3);
        }
    }
}

TEST_F(TitelDefinitionenDatei, OddElementsAreSkippedAndFoldersCannotLeaveTheDataRoot) {
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
    };
    QByteArray bytes(kTitelDefinitionenKennung, kTitelDefinitionenKennungLength);
    writeTaggedValue(bytes, TaggedValue::list(elements, 1));
    writeFile(path(), bytes);

    LoadTitelDefinitionen(t.ctx, listener);
    EXPECT_EQ(loadedKeys(), (QStringList{"K1@ETR", "K2@ETR", "K4@ETR"}));
    EXPECT_EQ(t.ctx.TitelDefinitionen.find("K1@ETR")->Ordner, "..-..-etc");
    EXPECT_EQ(t.ctx.TitelDefinitionen.find("K2@ETR")->Ordner, "--");
    EXPECT_EQ(t.ctx.TitelDefinitionen.find("K4@ETR")->Ordner, "a-b");
    EXPECT_TRUE(t.ctx.TitelDefinitionen.find("K1@ETR")->Aktiv) << "-1 as a number is true";
    EXPECT_FALSE(t.ctx.TitelDefinitionen.find("K1@ETR")->NeueNamen) << "missing is false";
}

TEST_F(TitelDefinitionenDatei, ASaveThatCannotWriteIsReported) {
    // A program folder below a plain file cannot be written to, whatever the user's rights.
    writeFile(t.dir.path() + "/eine-datei", "x");
    AppContext blocked(t.dir.path() + "/eine-datei/sub", t.settings, t.clock);
    blocked.setMessagePresenter(&t.messages);
    blocked.TitelDefinitionen.add("K2@ETR", makeDef("2", "ETR", "A", false, false));
    EXPECT_FALSE(SaveTitelDefinitionen(blocked));
    ASSERT_EQ(t.messages.shown.size(), 1u);
    EXPECT_TRUE(t.messages.shown[0].text.startsWith(
        "Fehler beim Speichern der Titeldefinitionen aufgetreten: "));
}

}  // namespace
}  // namespace vqs
