#include "model/titel_def_collection.h"

#include "common/keyed_collection.h"
#include "support/test_support.h"

#include <gtest/gtest.h>

#include <random>

namespace vqs {
namespace {

TitelDef makeDef(const QString& code, const QString& exchange, const QString& name,
                 const QString& folder = QStringLiteral("Dax 30")) {
    TitelDef d = test::titel(code, folder);
    d.Name = name;
    d.RT_Boerse = exchange;
    return d;
}

std::vector<TitelDef> all(const TitelDefCollection& c) { return {c.begin(), c.end()}; }

// Every text comes back exactly as it went in, Latin-1 or not, and keys compare without regard
// to case, as the title collections always did.
TEST(TitelDefCollection, KeepsEveryTextExactlyAndFindsKeysWithoutRegardToCase) {
    std::vector<TitelDef> defs{
        makeDef("710000", "ETR", "Mercedes-Benz Group AG"),
        makeDef("a1b2c3", "FRA", "Börse Überall (Ä)", "Eigene Ä"),
        makeDef("EURO1", "PAR", QString::fromUtf8("Zertifikat 5 € – \xF0\x9F\x93\x88 日本"), ""),
        makeDef("", "", ""),
    };
    defs[1].WKN = QStringLiteral("Anzeige-Code");
    defs[1].Aktiv = defs[1].UseBidAsk = true;
    defs[2].NeueNamen = false;
    defs[2].Aktiv = true;
    TitelDefCollection c;
    for (const TitelDef& d : defs) EXPECT_TRUE(c.add(d)) << d.id().text().toStdString();
    EXPECT_FALSE(c.add(makeDef("710000", "etr", "Doppelt"))) << "the same key in other case";

    EXPECT_EQ(all(c), defs);
    EXPECT_EQ(c.size(), 4);
    ASSERT_TRUE(c.find(QStringLiteral("A1B2C3@fra")));
    EXPECT_EQ(*c.find(QStringLiteral("A1B2C3@fra")), defs[1]);
    EXPECT_EQ(*c.find(QStringLiteral("euro1@par")), defs[2]);
    EXPECT_EQ(*c.find(QStringLiteral("@")), defs[3]);
    EXPECT_FALSE(c.find(QStringLiteral("710000@FRA")));
    EXPECT_EQ(c.active(), (std::vector<TitelDef>{defs[1], defs[2]}));
    EXPECT_EQ(c.countActive().aktiv, 2);
    EXPECT_EQ(c.countActive().bidAsk, 1);
}

// Random adds, changes in place and at the end, and removals, many enough that removed rows
// and replaced texts are dropped on the way: the collection always holds what the plain keyed
// collection holds, in the same order.
TEST(TitelDefCollection, FollowsTheKeyedCollectionThroughManyChanges) {
    std::mt19937 random(20261211);
    TitelDefCollection c;
    KeyedCollection<TitelDef> expected;
    auto key = [&](int n) { return QStringLiteral("W%1@ETR").arg(n); };
    auto def = [&](int n, int version) {
        TitelDef d = makeDef(QStringLiteral("W%1").arg(n), QStringLiteral("ETR"),
                             QStringLiteral("Titel %1 Fassung %2 %3")
                                 .arg(n)
                                 .arg(version)
                                 .arg(QString(static_cast<qsizetype>(version % 40), u'ü')),
                             QStringLiteral("Ordner %1").arg(n % 13));
        d.Aktiv = version % 2;
        d.UseBidAsk = version % 3 == 0;
        return d;
    };
    constexpr int kKeys = 30000;
    for (int step = 0; step < 200000; ++step) {
        const int n = static_cast<int>(random() % kKeys);
        const int version = static_cast<int>(random() % 1000);
        switch (random() % 4) {
            case 0:
            case 1:  // adding is as frequent as the rest, so that the collection stays large
                EXPECT_EQ(c.add(def(n, version)), expected.add(key(n), def(n, version)));
                break;
            case 2: {
                const bool toEnd = random() % 2;
                const bool known = expected.contains(key(n));
                EXPECT_EQ(c.replace(def(n, version), toEnd), known);
                if (known && toEnd) {
                    expected.remove(key(n));
                    expected.add(key(n), def(n, version));
                } else if (known) {
                    expected.replace(key(n), def(n, version));
                }
                break;
            }
            default:
                EXPECT_EQ(c.remove(key(n).toLower()), expected.remove(key(n)));
        }
        if (step % 50000 == 49999 || step < 100) {
            std::vector<TitelDef> want;
            for (const auto& e : expected) want.push_back(e.value);
            ASSERT_EQ(all(c), want) << "after step " << step;
            ASSERT_EQ(c.size(), expected.size());
        }
    }
    for (int n = 0; n < kKeys; ++n)
        ASSERT_EQ(c.find(key(n)).has_value(), expected.contains(key(n))) << n;
}

}  // namespace
}  // namespace vqs
