#include "recording/titel_verwaltung.h"

#include "broker/fake_broker.h"
#include "common/error.h"
#include "datafiles/datei_kopf.h"
#include "support/test_support.h"
#include "titles/titel_registry.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFileInfo>

namespace vqs {
namespace {

struct TitelVerwaltungTest : ::testing::Test {
    test::FakeBrokerSession* fake = nullptr;
    test::TestContext t{[this] {
        auto f = std::make_unique<test::FakeBrokerSession>();
        fake = f.get();
        return f;
    }};
    TitelVerwaltungTest() { EXPECT_TRUE(t.loginWith()); }
    TitelRegistry& titles() { return t.recorder.titles(); }

    TitelDef define(const QString& code, const QString& ordner, bool aktiv = false) {
        const TitelDef d = test::titel(code, ordner, aktiv);
        EXPECT_TRUE(t.record({d}));
        return d;
    }
    QStringList listed(int position, const QString& ordner) {
        QStringList codes;
        for (const TitelDef& d : titelImOrdner(titles(), position, ordner)) codes << d.RT_WKN;
        return codes;
    }
};

TEST_F(TitelVerwaltungTest, TheRememberedFolderIsFoundInAnyCaseAndAVanishedOneIsAlleTitel) {
    define("710000", "Dax 30");
    define("A1B2C3", "Eigene");
    const QStringList eintraege = ordnerEintraege(titles());
    EXPECT_EQ(eintraege, (QStringList{"Alle Titel", "Dax 30", "Eigene"}));
    struct Case {
        const char* gemerkt;
        int position;
    } cases[] = {{"", 0}, {"Dax 30", 1}, {"EIGENE", 2}, {"Verschwunden", 0}, {"alle titel", 0}};
    for (const Case& c : cases) {
        ordnerMerken(t.settings, QString::fromUtf8(c.gemerkt));
        EXPECT_EQ(gemerkterOrdner(eintraege, t.settings), c.position) << c.gemerkt;
    }
}

TEST_F(TitelVerwaltungTest, AFolderListsItsTitlesInCollectionOrderWithoutRegardToCase) {
    define("710000", "Dax 30");
    define("A1B2C3", "Eigene");
    define("846900", "DAX 30");  // filed under the spelling known first
    EXPECT_EQ(listed(0, "Alle Titel"), (QStringList{"710000", "A1B2C3", "846900"}));
    EXPECT_EQ(listed(1, "dax 30"), (QStringList{"710000", "846900"}));
    EXPECT_EQ(listed(2, "Gibt es nicht"), QStringList{});
}

TEST_F(TitelVerwaltungTest, DeletingAnActiveTitleEndsItsSubscriptionAndKeepsItsFiles) {
    const TitelDef aktiv = define("710000", "Dax 30", true);
    define("A1B2C3", "Dax 30");
    ASSERT_EQ(t.recorder.store().appendAll(aktiv, kBezahlt, {{46000.5, 10.f, 100.f}}).code(), 0);
    const QString file = t.recorder.store().filePath(aktiv, kBezahlt);
    const int changesBefore = t.events.titlesChanged;

    EXPECT_EQ(TitelLoeschen(t.recorder, {"710000@ETR", "unbekannt@ETR"}), 1);

    EXPECT_FALSE(titles().find("710000@ETR"));
    EXPECT_FALSE(titles().titleObjects().contains("710000@ETR"))
        << "nothing of it stays subscribed for the rest of the run";
    EXPECT_EQ(fake->counters->stops, 1);
    EXPECT_EQ(titles().countRecording().aktiv, 0);
    EXPECT_TRUE(titles().folders().contains("Dax 30")) << "the folder goes only when asked";
    EXPECT_EQ(QFileInfo(file).size(), kHeaderSize + kRecordSize) << "data files stay";
    EXPECT_EQ(t.events.titlesChanged, changesBefore + 1);
}

TEST_F(TitelVerwaltungTest, TheDateninspektorsFileIsMadeOnlyWhenWanted) {
    const TitelDef def = define("710000", "Neuer Ordner");
    const InspektorDatei datei = inspektorDatei(t.recorder, def, kGeld);
    EXPECT_TRUE(datei.ohneDaten);
    EXPECT_FALSE(QFileInfo::exists(datei.path)) << "asking leaves nothing behind";
    EXPECT_TRUE(datei.path.endsWith(".VQS"));

    datendateiAnlegen(t.recorder, def, kGeld);
    const QByteArray bytes = test::readFile(datei.path);
    ASSERT_EQ(bytes.size(), kHeaderSize) << "a header and no record";
    EXPECT_TRUE(isDataFileStart(bytes.size(), bytes.constData()));
    EXPECT_FALSE(inspektorDatei(t.recorder, def, kGeld).ohneDaten);

    // An empty file under the name takes the header; anything else short is no data file and
    // is never written over.
    const QString brief = t.recorder.store().filePath(def, kBrief);
    test::writeFile(brief, {});
    EXPECT_TRUE(inspektorDatei(t.recorder, def, kBrief).ohneDaten);
    datendateiAnlegen(t.recorder, def, kBrief);
    EXPECT_EQ(QFileInfo(brief).size(), kHeaderSize);

    const QString bezahlt = t.recorder.store().filePath(def, kBezahlt);
    test::writeFile(bezahlt, "kurz");
    EXPECT_THROW(inspektorDatei(t.recorder, def, kBezahlt), VqsError);
    EXPECT_THROW(datendateiAnlegen(t.recorder, def, kBezahlt), VqsError);
    EXPECT_EQ(test::readFile(bezahlt), "kurz");
}

}  // namespace
}  // namespace vqs
