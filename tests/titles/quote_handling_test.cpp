#include "titles/titel_objekt.h"

#include "titles/titel_registry.h"

#include "broker/fake_broker.h"
#include "support/test_support.h"

#include <gtest/gtest.h>

#include <cmath>
#include <functional>

namespace vqs {
namespace {

using broker::Quote;
using broker::QuoteGroup;

QuoteGroup group(QTime t, double price, std::optional<double> volume = std::nullopt) {
    QuoteGroup g;
    g.present = true;
    g.price = price;
    g.volumePresent = volume.has_value();
    g.volume = volume.value_or(0);
    g.time = {t.hour(), t.minute(), t.second(), t.msec(), t.toString("HH:mm:ss.zzz")};
    return g;
}
Quote paid(QTime t, double price, std::optional<double> volume = std::nullopt) {
    Quote q;
    q.paid = group(t, price, volume);
    return q;
}
Quote withBidAsk(Quote q, QTime t, double bid, double ask, std::optional<double> volume = 500) {
    q.bid = group(t, bid, volume);
    q.ask = group(t, ask, volume);
    return q;
}
Quote damaged(std::function<void(QuoteGroup&)> change) {
    Quote q = paid(QTime(10, 0, 1), 100, 10);
    change(q.paid);
    return q;
}

struct Step {
    QTime clock;
    Quote quote;
    enum Action { kUpdate, kClear, kReactivate } action = kUpdate;
};
struct Tick {
    Kursart kind;
    float kurs;
    float volume;
    friend bool operator==(const Tick&, const Tick&) = default;
};
std::ostream& operator<<(std::ostream& os, const Tick& t) {
    return os << "{" << t.kind << ", " << t.kurs << ", " << t.volume << "}";
}

// Logs in and records the title; its title object.
TitelObjekt& loggedInRecording(test::TestContext& t, const TitelDef& def) {
    EXPECT_TRUE(t.loginWith({def}));
    return **t.recorder.titles().titleObjects().find(def.id().text());
}

const QTime T0(10, 0, 0);
const QTime T0_5(10, 0, 0, 500);

struct Case {
    const char* name;
    bool useBidAsk;
    bool filterBezahlt;
    bool filterAndere;
    std::vector<Step> steps;
    std::vector<Tick> ticks;
};

TEST(QuoteHandling, UpdatesBecomeTheExpectedTicks) {
    const Case cases[] = {
        {"a fresh first update is recorded",
         false,
         false,
         false,
         {{T0_5, paid(T0, 100, 10)}},
         {{kBezahlt, 100, 10}}},
        {"a stale first update is held back, the next is recorded",
         false,
         false,
         false,
         {{QTime(10, 0, 2), paid(T0, 100, 10)}, {QTime(10, 0, 3), paid(QTime(10, 0, 3), 101, 10)}},
         {{kBezahlt, 101, 10}}},
        {"a stale first update holds back bid and ask too",
         true,
         false,
         false,
         {{QTime(10, 0, 5), withBidAsk(paid(T0, 100, 10), QTime(10, 0, 4, 900), 99, 101)},
          {QTime(10, 0, 6), withBidAsk(paid(T0, 100, 10), QTime(10, 0, 6), 99.5, 100.5)}},
         {{kGeld, 99.5, 500}, {kBrief, 100.5, 500}}},
        {"no volume with the filter: nothing",
         false,
         true,
         false,
         {{T0_5, paid(T0, 100)}, {QTime(10, 0, 1), paid(QTime(10, 0, 1), 101, 20)}},
         {{kBezahlt, 101, 20}}},
        {"no volume without the filter: volume 0",
         false,
         false,
         false,
         {{T0_5, paid(T0, 100)}},
         {{kBezahlt, 100, 0}}},
        {"same time and volume twice: once",
         false,
         false,
         false,
         {{T0_5, paid(T0, 100, 10)}, {T0_5, paid(T0, 100, 10)}},
         {{kBezahlt, 100, 10}}},
        {"same time, other volume: twice",
         false,
         false,
         false,
         {{T0_5, paid(T0, 100, 10)}, {T0_5, paid(T0, 100, 30)}},
         {{kBezahlt, 100, 10}, {kBezahlt, 100, 30}}},
        {"a price-only change without volume is dropped",
         false,
         false,
         false,
         {{T0_5, paid(T0, 100)}, {T0_5, paid(T0, 105)}},
         {{kBezahlt, 100, 0}}},
        {"an inactive object changes nothing, not even the last values",
         false,
         false,
         false,
         {{T0_5, {}, Step::kClear},
          {T0_5, paid(T0, 100, 10)},
          {T0_5, {}, Step::kReactivate},
          {T0_5, paid(T0, 100, 10)}},
         {{kBezahlt, 100, 10}}},
        {"a title without bid/ask never records kinds 1 and 2",
         false,
         false,
         false,
         {{T0_5, withBidAsk(paid(T0, 100, 10), T0, 99, 101)},
          {QTime(10, 0, 1), withBidAsk(paid(T0, 100, 10), QTime(10, 0, 1), 98, 102)}},
         {{kBezahlt, 100, 10}}},
        {"bid and ask after a fresh paid price",
         true,
         false,
         true,
         {{T0_5, withBidAsk(paid(T0, 100, 10), T0, 99, 101, std::nullopt)},
          {QTime(10, 0, 1), withBidAsk(paid(T0, 100, 10), QTime(10, 0, 1), 98, 102, 40)}},
         {{kBezahlt, 100, 10}, {kGeld, 98, 40}, {kBrief, 102, 40}}},
        {"broker data out of range yields no tick and stops nothing",
         false,
         false,
         false,
         {{T0_5, damaged([](QuoteGroup& g) { g.time.hour = 25; })},
          {T0_5, damaged([](QuoteGroup& g) { g.time.minute = 61; })},
          {T0_5, damaged([](QuoteGroup& g) { g.time.text = "kaputt"; })},
          {T0_5, damaged([](QuoteGroup& g) { g.price = std::nan(""); })},
          {T0_5, damaged([](QuoteGroup& g) { g.price = 1e300; })},
          {T0_5, damaged([](QuoteGroup& g) { g.volume = -5; })},
          {T0_5, damaged([](QuoteGroup& g) { g.volume = INFINITY; })},
          {QTime(10, 0, 2), paid(QTime(10, 0, 2), 100, 10)}},
         {{kBezahlt, 100, 10}}},
    };
    for (const Case& c : cases) {
        test::TestContext t([] { return std::make_unique<test::FakeBrokerSession>(); });
        t.recorder.options().UmsatzFilterBezahlt = c.filterBezahlt;
        t.recorder.options().UmsatzFilterAndere = c.filterAndere;
        TitelObjekt& objekt =
            loggedInRecording(t, test::titel("710000", "Dax 30", true, c.useBidAsk));
        for (const Step& s : c.steps) {
            t.clock.set(QDateTime(QDate(2026, 12, 10), s.clock));
            if (s.action == Step::kClear)
                objekt.ClearSubscription();
            else if (s.action == Step::kReactivate)
                objekt.InitSubscription("710000", "ETR");
            else
                objekt.RealtimeSubscription_OnQuoteUpdate(s.quote, {}, {});
        }
        std::vector<Tick> ticks;
        for (const auto& e : t.events.ticks) ticks.push_back({e.kind, e.kurs, e.volume});
        EXPECT_EQ(ticks, c.ticks) << c.name;
        EXPECT_EQ(t.recorder.kursanzahl(), static_cast<double>(c.ticks.size())) << c.name;
    }
}

TEST(QuoteHandling, TicksCarryTheTimeTextAndLandInTheDataFile) {
    test::TestContext t([] { return std::make_unique<test::FakeBrokerSession>(); });
    TitelObjekt& objekt = loggedInRecording(t, test::titel("710000", "Dax 30", true));
    t.clock.set(QDateTime(QDate(2026, 12, 10), QTime(9, 31, 2, 500)));
    objekt.RealtimeSubscription_OnQuoteUpdate(paid(QTime(9, 31, 2, 123), 101.25, 300), {}, {});
    ASSERT_EQ(t.events.ticks.size(), 1u);
    EXPECT_DOUBLE_EQ(t.events.ticks[0].zeit, (9 * 3600 + 31 * 60 + 2.123) / 86400);
    EXPECT_EQ(test::readFile(t.datenpfad() + "/Dax 30/710000-BRAVOL-ETR.VQS").size(), 872);
}

TEST(QuoteHandling, SubscriptionsAreMadeOnceAndStoppedWhenTheObjectGoes) {
    test::FakeBrokerSession* fake = nullptr;
    test::TestContext t([&] {
        auto f = std::make_unique<test::FakeBrokerSession>();
        fake = f.get();
        return f;
    });
    struct NoSink final : TickSink {
        void tick(const TitelId&, Kursart, float, float, double) override {}
        std::optional<KursSatz> lastRecorded(const TitelDef&, Kursart) override { return {}; }
    } sink;
    auto objekt = std::make_unique<TitelObjekt>(t.recorder.session(), sink, t.clock);
    EXPECT_THROW(objekt->InitSubscription("710000", "ETR"), broker::BrokerError)
        << "no session: the error goes to the caller";
    ASSERT_TRUE(t.loginWith());
    auto counters = fake->counters;
    EXPECT_FALSE(objekt->InitSubscription("UNBEKANNT", "ETR")) << "a refused instrument";
    EXPECT_FALSE(objekt->isActive());
    EXPECT_TRUE(objekt->InitSubscription("710000", "ETR"));
    objekt->ClearSubscription();
    EXPECT_TRUE(objekt->InitSubscription("710000", "ETR"));
    EXPECT_EQ(counters->subscriptions, 1) << "no second subscription";
    EXPECT_EQ(objekt->Key().text(), "710000@ETR");

    TitelObjekt other(t.recorder.session(), sink, t.clock);
    other.InitSubscription("710000", "FRA");
    EXPECT_EQ(other.Key().text(), "710000@FRA");
    objekt.reset();
    EXPECT_EQ(counters->stops, 1);
}

TEST(Tageszeit, FractionOfTheDayToTheMillisecond) {
    EXPECT_DOUBLE_EQ(*Tageszeit({12, 0, 0, 0, {}}), 0.5);
    EXPECT_DOUBLE_EQ(*Tageszeit({9, 31, 2, 123, {}}), (9 * 3600 + 31 * 60 + 2.123) / 86400);
    EXPECT_FALSE(Tageszeit({24, 0, 0, 0, {}}));
    EXPECT_FALSE(Tageszeit({10, 60, 0, 0, {}}));
    EXPECT_FALSE(Tageszeit({10, 0, -1, 0, {}}));
    EXPECT_FALSE(Tageszeit({10, 0, 0, 1000, {}}));
}

TEST(TimeText, TheFormsABrokerUses) {
    const double nineThirty = 9.5 / 24;
    EXPECT_DOUBLE_EQ(*serialFromTimeText(u"09:30:00"), nineThirty);
    EXPECT_DOUBLE_EQ(*serialFromTimeText(u"9:30"), nineThirty);
    EXPECT_DOUBLE_EQ(*serialFromTimeText(u"09:30:00.5"), nineThirty + 0.5 / 86400);
    EXPECT_DOUBLE_EQ(*serialFromTimeText(u"10.12.2026 09:30:00.000"), 46366 + nineThirty);
    EXPECT_DOUBLE_EQ(*serialFromTimeText(u"2026-12-10T09:30:00"), 46366 + nineThirty);
    for (const char16_t* bad : {u"", u"25:00:00", u"09:61", u"9", u"09:30:00x", u"32.12.2026 09:30",
                                u"abc", u"10.12.2026"}) {
        EXPECT_FALSE(serialFromTimeText(bad)) << QString::fromUtf16(bad).toStdString();
    }
}

}  // namespace
}  // namespace vqs
