#include "titles/titel_aktivierung.h"

#include "broker/fake_broker.h"
#include "support/test_support.h"
#include "titles/titel_objekt.h"
#include "titles/titel_registry.h"

#include <gtest/gtest.h>

namespace vqs {
namespace {

struct ActivationTest : ::testing::Test {
    test::FakeBrokerSession* fake = nullptr;
    test::TestContext t{[this] {
        auto f = std::make_unique<test::FakeBrokerSession>();
        fake = f.get();
        return f;
    }};
    ActivationTest() { EXPECT_TRUE(t.loginWith()); }
    TitelRegistry& titles() { return t.recorder.titles(); }
    AktivierungsPorts ports() { return {t.messages, t.loop}; }

    static TitelZeile row(const QString& code, const QString& boerse = "ETR") {
        return {code + "@" + boerse, "Name " + code, code, boerse};
    }
    void define(const QString& code, bool aktiv, bool bidAsk, const QString& ordner = "Alt") {
        titles().add(test::titel(code, ordner, aktiv, bidAsk));
    }
    std::optional<TitelDef> def(const QString& code) const {
        return t.recorder.titles().find(code + "@ETR");
    }
    QStringList order() const {
        QStringList keys;
        for (const TitelDef& d : t.recorder.titles().definitions()) keys << d.id().text();
        return keys;
    }
};

TEST_F(ActivationTest, NewTitlesInEveryState) {
    struct Case {
        const char* code;
        bool bezahlt, bidAsk;
        TitelIcon icon;
        bool aktiv, useBidAsk, subscribed;
    } cases[] = {
        {"710000", true, false, kBezahltAufgezeichnet, true, false, true},
        {"A1B2C3", true, true, kAlleAufgezeichnet, true, true, true},
        {"846900", false, false, kNichtAufgezeichnet, false, false, false},
        {"UNBEKANNT", true, true, kNichtAufgezeichnet, false, false, false},  // refused
    };
    for (const Case& c : cases) {
        auto r = TitelAktivierenAuswahl(titles(), ports(), {row(c.code)}, "Dax 30", false,
                                        c.bezahlt, c.bidAsk);
        ASSERT_EQ(r.icons.size(), 1u) << c.code;
        EXPECT_EQ(r.icons[0], c.icon) << c.code;
        const std::optional<TitelDef> d = def(c.code);
        ASSERT_TRUE(d) << c.code << ": a definition is made in every state";
        EXPECT_EQ(d->Aktiv, c.aktiv) << c.code;
        EXPECT_EQ(d->UseBidAsk, c.useBidAsk) << c.code;
        EXPECT_EQ(d->Ordner, "Dax 30") << c.code;
        EXPECT_TRUE(d->NeueNamen);
        EXPECT_EQ(d->RT_WKN, c.code);
        EXPECT_EQ(d->Name, QString("Name ") + c.code);
        EXPECT_EQ(titles().titleObjects().contains(QString(c.code) + "@ETR"), c.subscribed)
            << c.code;
    }
    EXPECT_TRUE(titles().folders().contains("Dax 30"));
    EXPECT_EQ(t.events.titlesChanged, 4);
    ASSERT_EQ(t.messages.shown.size(), 1u) << "the refused code, named once";
    EXPECT_EQ(t.messages.shown[0].text,
              "Die Bravolt-API kennt diese Titel nicht, sie wurden nicht "
              "aktiviert: UNBEKANNT");
}

TEST_F(ActivationTest, SelectionChangesMoveToTheEndAndRepeatedClicksDoNothing) {
    define("710000", false, false);
    define("A1B2C3", true, true);
    define("846900", false, false);
    auto counters = fake->counters;

    auto r = TitelAktivierenAuswahl(titles(), ports(), {row("710000")}, "Neu", false, true, false);
    EXPECT_EQ(r.icons, std::vector<TitelIcon>{kBezahltAufgezeichnet});
    EXPECT_EQ(order(), (QStringList{"A1B2C3@ETR", "846900@ETR", "710000@ETR"}));
    EXPECT_EQ(def("710000")->Ordner, "Alt") << "an existing definition keeps its folder";
    EXPECT_EQ(counters->subscriptions, 1);

    r = TitelAktivierenAuswahl(titles(), ports(), {row("710000")}, "Neu", false, true, false);
    EXPECT_EQ(r.icons, std::vector<TitelIcon>{kBezahltAufgezeichnet});
    EXPECT_EQ(counters->subscriptions, 1) << "the second click changes nothing";
    EXPECT_EQ(order().back(), "710000@ETR");

    // All quote kinds down to paid prices only.
    r = TitelAktivierenAuswahl(titles(), ports(), {row("A1B2C3")}, "Neu", false, true, false);
    EXPECT_EQ(r.icons, std::vector<TitelIcon>{kBezahltAufgezeichnet});
    EXPECT_FALSE(def("A1B2C3")->UseBidAsk);
    EXPECT_TRUE((*titles().titleObjects().find("A1B2C3@ETR"))->isActive());
    EXPECT_FALSE((*titles().titleObjects().find("A1B2C3@ETR"))->UseBidAsk);

    // Deactivation keeps the title object, inactive.
    r = TitelAktivierenAuswahl(titles(), ports(), {row("710000")}, "Neu", false, false, false);
    EXPECT_EQ(r.icons, std::vector<TitelIcon>{kNichtAufgezeichnet});
    ASSERT_TRUE(titles().titleObjects().contains("710000@ETR"));
    EXPECT_FALSE((*titles().titleObjects().find("710000@ETR"))->isActive());
}

TEST_F(ActivationTest, TheFolderRulesOfTheSearchTab) {
    define("710000", true, false);
    // An empty folder stops an activation with a notice...
    auto r = TitelAktivierenAuswahl(titles(), ports(), {row("A1B2C3")}, "", true, true, false);
    EXPECT_TRUE(r.stopped);
    ASSERT_EQ(t.messages.shown.size(), 1u);
    EXPECT_TRUE(t.messages.shown[0].text.startsWith("Geben Sie bitte einen Ordner an"));
    EXPECT_FALSE(def("A1B2C3"));
    // ...but not a deactivation, which files a new title without folder.
    r = TitelAktivierenAuswahl(titles(), ports(), {row("710000"), row("846900")}, "", true, false,
                               false);
    EXPECT_FALSE(r.stopped);
    EXPECT_EQ(t.messages.shown.size(), 1u);
    EXPECT_FALSE(def("710000")->Aktiv);
    EXPECT_EQ(def("710000")->Ordner, "Alt");
    EXPECT_EQ(def("846900")->Ordner, "");

    // Folder names are sanitised; the folder is registered even with no row marked.
    r = TitelAktivierenAuswahl(titles(), ports(), {}, "Eigene (Depot)", true, true, false);
    EXPECT_TRUE(r.icons.empty());
    EXPECT_TRUE(titles().folders().contains("Eigene -Depot-"));
}

TEST_F(ActivationTest, ManagementChangesInPlaceAndRestartsEachTime) {
    define("710000", true, false);
    define("A1B2C3", false, false);
    define("UNBEKANNT", false, false);
    auto counters = fake->counters;
    auto icons =
        TitelAktivierenVerwaltung(titles(), ports(), {"A1B2C3@ETR", "UNBEKANNT@ETR"}, true, true);
    EXPECT_EQ(icons, (std::vector<TitelIcon>{kAlleAufgezeichnet, kNichtAufgezeichnet}));
    EXPECT_EQ(order(), (QStringList{"710000@ETR", "A1B2C3@ETR", "UNBEKANNT@ETR"}));
    EXPECT_FALSE(def("UNBEKANNT")->Aktiv) << "a refused title stays inactive";

    // Pressing again restarts: the object is switched off and on, no second subscription.
    icons = TitelAktivierenVerwaltung(titles(), ports(), {"A1B2C3@ETR"}, true, true);
    EXPECT_EQ(icons, std::vector<TitelIcon>{kAlleAufgezeichnet});
    EXPECT_EQ(counters->subscriptions, 1);
    EXPECT_TRUE((*titles().titleObjects().find("A1B2C3@ETR"))->isActive());

    icons = TitelAktivierenVerwaltung(titles(), ports(), {"A1B2C3@ETR"}, false, false);
    EXPECT_EQ(icons, std::vector<TitelIcon>{kNichtAufgezeichnet});
    EXPECT_FALSE((*titles().titleObjects().find("A1B2C3@ETR"))->isActive());
    EXPECT_EQ(order(), (QStringList{"710000@ETR", "A1B2C3@ETR", "UNBEKANNT@ETR"}));
}

TEST_F(ActivationTest, WithoutConnectionNothingStarts) {
    t.recorder.session().CloseSession();
    auto r =
        TitelAktivierenAuswahl(titles(), ports(), {row("710000")}, "Dax 30", false, true, true);
    EXPECT_EQ(r.icons, std::vector<TitelIcon>{kNichtAufgezeichnet});
    EXPECT_FALSE(def("710000")->Aktiv);
    ASSERT_EQ(t.messages.shown.size(), 1u);
    EXPECT_EQ(t.messages.shown[0].text,
              "Ohne Verbindung zur Bravolt-API wurden diese Titel nicht aktiviert: 710000");
}

}  // namespace
}  // namespace vqs
