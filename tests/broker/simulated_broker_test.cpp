#include "broker/simulated_broker.h"
#include "support/manual_clock.h"

#include <gtest/gtest.h>

#include <QSet>

#include <algorithm>
#include <functional>

namespace vqs::broker {
namespace {

const QDateTime kTen(QDate(2026, 12, 10), QTime(10, 0));

struct Recorder final : QuoteListener {
    void OnQuoteUpdate(const Quote& q, const QuoteSource&, const QString&) override {
        quotes.push_back(q);
    }
    std::vector<Quote> quotes;
};

std::unique_ptr<BrokerSession> loggedIn(SimulatedBroker& broker) {
    auto s = broker.createSession();
    s->LoginWithAddOnName("Tradomir VQS");
    return s;
}

TEST(SimulatedMarket, TheSameSeedGivesTheSameMarket) {
    SimulatedMarket a(7, 0.5), b(7, 0.5), c(8, 0.5);
    ASSERT_EQ(a.instruments().size(), b.instruments().size());
    for (size_t i = 0; i < a.instruments().size(); i += 97) {
        EXPECT_EQ(a.instruments()[i].wkn, b.instruments()[i].wkn);
        EXPECT_EQ(a.instruments()[i].name, b.instruments()[i].name);
    }
    EXPECT_NE(a.catalogue("Dax30")->front().code, c.catalogue("Dax30")->front().code);
    const SimInstrument& in = a.instruments()[3];
    auto ea = a.eventsInMinute(in, "ETR", kTen.date(), 600);
    auto eb = b.eventsInMinute(in, "ETR", kTen.date(), 600);
    ASSERT_EQ(ea.size(), eb.size());
    for (size_t i = 0; i < ea.size(); ++i) EXPECT_EQ(ea[i].paidPrice, eb[i].paidPrice);
}

// The README's codes must be there whichever compiler built the program: every draw of the
// market is a statement of its own, so no evaluation order of arguments can change it.
TEST(SimulatedMarket, TheDefaultSeedIsTheMarketTheReadmeDescribes) {
    const SimulatedMarket market(SimulationSettings{}.seed, 0.5);
    const struct {
        const char* code;
        const char* name;
        const char* catalogue;
        const char* exchange;
    } known[] = {
        {"633018", "Neckar Kunststoff SE", "Dax30", "ETR"},
        {"884708", "Adler Immobilien KGaA", "Dax30", "ETR"},
        {"661677", "Bergmann Brauerei KGaA", "Dax30", "ETR"},
        {"635781", "Kronberg Solar SE", "TecDax30", "ETR"},
        {"808131", "Eifel Stahl S.A.", "EuroStoxx50", "MAD"},
        {"850057", "Eifel Versicherung AG", "MDax", "ETR"},
        {"JQ6BJR", "DAX", nullptr, "ETR"},
        {"ZR71D4", "FDAX Jan 27", nullptr, "ETR"},
        {"DQGRBQ", "Gold Spot", nullptr, "FRA"},
    };
    for (const auto& k : known) {
        const SimInstrument* in = market.find(k.code);
        ASSERT_NE(in, nullptr) << k.code;
        EXPECT_EQ(in->name, QString::fromUtf8(k.name));
        EXPECT_EQ(in->homeExchange, QString::fromLatin1(k.exchange));
        if (!k.catalogue) continue;
        const auto* members = market.catalogue(k.catalogue);
        ASSERT_NE(members, nullptr);
        EXPECT_TRUE(std::any_of(members->begin(), members->end(),
                                [&](const Identifier& id) { return id.code == k.code; }))
            << k.code << " in " << k.catalogue;
    }
    // The first quotes of 633018 at 10:00 on 10 December 2026.
    const auto events = market.eventsInMinute(*market.find("633018"), "ETR", kTen.date(), 600);
    ASSERT_GE(events.size(), 2u);
    EXPECT_EQ(events[0].msOfDay, 36008122);
    EXPECT_DOUBLE_EQ(events[0].paidPrice, 202.34);
    EXPECT_DOUBLE_EQ(events[0].bidPrice, 202.20);
    EXPECT_DOUBLE_EQ(events[0].askPrice, 202.53);
    EXPECT_EQ(events[0].paidVolume, 1750);
    EXPECT_EQ(events[1].msOfDay, 36011796);
    EXPECT_FALSE(events[1].paid);
    EXPECT_DOUBLE_EQ(events[1].bidPrice, 202.30);
}
TEST(SimulatedMarket, CataloguesClassesAndExchanges) {
    SimulatedMarket m(20261210, 0.5);
    const struct {
        const char* key;
        size_t size;
    } catalogues[] = {
        {"Dax30", 30}, {"TecDax30", 30}, {"EuroStoxx50", 50}, {"SDax", 70}, {"MDax", 50}};
    for (const auto& c : catalogues) {
        ASSERT_TRUE(m.catalogue(c.key)) << c.key;
        EXPECT_EQ(m.catalogue(c.key)->size(), c.size) << c.key;
        for (const Identifier& id : *m.catalogue(c.key)) {
            EXPECT_TRUE(m.find(id.code)) << id.code.toStdString();
            EXPECT_TRUE(m.isAdmitted(id.exchange)) << id.exchange.toStdString();
        }
    }
    EXPECT_FALSE(m.catalogue("Nikkei"));
    EXPECT_GE(m.instruments().size(), 5000u);
    QSet<QChar> classes;
    QSet<QString> codes;
    for (const SimInstrument& in : m.instruments()) {
        classes.insert(in.classLetter);
        codes.insert(in.wkn);
        EXPECT_EQ(in.wkn.size(), 6);
    }
    EXPECT_EQ(classes, (QSet<QChar>{'S', 'W', 'C', 'F', 'I', 'U', 'B', 'X'}));
    EXPECT_EQ(codes.size(), static_cast<qsizetype>(m.instruments().size())) << "codes are unique";
    EXPECT_TRUE(m.isAdmitted("ETR"));
    EXPECT_TRUE(m.isAdmitted("fra"));
    EXPECT_FALSE(m.isAdmitted("NYS"));
}

TEST(SimulatedMarket, SearchByTermAndClass) {
    SimulatedMarket m(20261210, 0.5);
    const SimInstrument& share = m.instruments().front();
    auto byCode = m.search({share.wkn, std::nullopt});
    ASSERT_FALSE(byCode.empty());
    EXPECT_EQ(byCode.front().wkn, share.wkn);
    auto calls = m.search({"call", QString("W")});
    ASSERT_FALSE(calls.empty());
    for (const Instrument& i : calls) EXPECT_EQ(m.find(i.wkn)->classLetter, u'W');
    EXPECT_GT(m.search({"call", std::nullopt}).size(), calls.size() / 2);
    EXPECT_TRUE(m.search({"gibtesnicht", std::nullopt}).empty());
    EXPECT_TRUE(m.search({"  ", std::nullopt}).empty());
}

TEST(SimulatedBroker, RefusesWhatARealBrokerWould) {
    ManualClock clock(kTen);
    SimulatedBroker broker({}, clock);
    auto s = broker.createSession();
    EXPECT_THROW(s->subscribe({"X", "ETR"}), BrokerError) << "not logged in";
    s->LoginWithAddOnName("Tradomir VQS");
    const QString code = broker.market().catalogue("Dax30")->front().code;
    EXPECT_TRUE(s->subscribe({code, "ETR"}));
    EXPECT_TRUE(s->subscribe({code, "FRA"}));
    EXPECT_FALSE(s->subscribe({"ZZZZZZ", "ETR"})) << "unknown instrument";
    EXPECT_FALSE(s->subscribe({code, "NYS"})) << "exchange not admitted";
    EXPECT_FALSE(s->subscribe({code, "XYZ"}));
    EXPECT_THROW(s->runIndexList({"Nikkei"}), BrokerError);

    SimulationSettings refusing;
    refusing.refuseLogin = true;
    SimulatedBroker closed(refusing, clock);
    EXPECT_THROW(closed.createSession()->LoginWithAddOnName("Tradomir VQS"), BrokerError);

    SimulationSettings failing;
    failing.failHistory = true;
    SimulatedBroker noHistory(failing, clock);
    EXPECT_THROW(loggedIn(noHistory)->runHistory({code, "ETR"}), BrokerError);
}

// Logs an event listener's calls.
struct Events final : SessionListener {
    void OnLogout() override { ++logouts; }
    void OnQuotesStatusChange(std::int32_t) override {}
    int logouts = 0;
};

// The faults of a real connection: the first session is logged out after its time and logins
// are refused for a while; or its quotes stop without a word; the first histories fail. A later
// session is spared.
TEST(SimulatedBroker, FailsLikeARealConnection) {
    ManualClock clock(kTen);
    SimulationSettings dropping;
    dropping.quotesPerSecond = 5;
    dropping.dropAfter = 20;
    dropping.downFor = 30;
    dropping.failHistoryFirst = 2;
    SimulatedBroker broker(dropping, clock);
    auto first = loggedIn(broker);
    Events events;
    first->addListener(&events);
    const QString code = broker.market().catalogue("Dax30")->front().code;
    auto sub = first->subscribe({code, "ETR"});
    Recorder rec;
    sub->setListener(&rec);
    auto run = [&](int seconds, SimulatedBroker& which) {
        for (int i = 0; i < seconds * 10; ++i) {
            clock.advanceMs(100);
            which.pump();
        }
    };
    run(19, broker);
    EXPECT_EQ(events.logouts, 0);
    const size_t before = rec.quotes.size();
    EXPECT_GT(before, 10u);
    run(1, broker);
    EXPECT_EQ(events.logouts, 1);
    EXPECT_FALSE(first->isLoggedIn());
    run(29, broker);
    EXPECT_LE(rec.quotes.size(), before + 5) << "nothing after the drop";
    EXPECT_THROW(loggedIn(broker), BrokerError) << "down";
    run(1, broker);
    auto second = loggedIn(broker);
    EXPECT_THROW(second->runHistory({code, "ETR"}), BrokerError);
    EXPECT_THROW(second->runHistory({code, "ETR"}), BrokerError);
    EXPECT_NO_THROW(second->runHistory({code, "ETR"}));
    run(60, broker);
    EXPECT_TRUE(second->isLoggedIn()) << "only the first session is dropped";

    SimulationSettings silent;
    silent.quotesPerSecond = 5;
    silent.silentAfter = 10;
    SimulatedBroker quiet(silent, clock);
    auto session = loggedIn(quiet);
    Events none;
    session->addListener(&none);
    auto quietSub = session->subscribe({code, "ETR"});
    Recorder quietRec;
    quietSub->setListener(&quietRec);
    run(10, quiet);
    const size_t heard = quietRec.quotes.size();
    EXPECT_GT(heard, 10u);
    run(60, quiet);
    EXPECT_LE(quietRec.quotes.size(), heard + 1) << "silent from then on";
    EXPECT_TRUE(session->isLoggedIn()) << "without any event";
    EXPECT_EQ(none.logouts, 0);
}

TEST(SimulatedBroker, SettingsFromTheEnvironment) {
    qputenv("BRAVOLT_SIM_SEED", "42");
    qputenv("BRAVOLT_SIM_RATE", "2.5");
    qputenv("BRAVOLT_SIM_REFUSE_LOGIN", "1");
    qputenv("BRAVOLT_SIM_DROP_AFTER", "20");
    qputenv("BRAVOLT_SIM_DOWN_FOR", "-3");
    qputenv("BRAVOLT_SIM_FAIL_HISTORY_FIRST", "2");
    SimulationSettings s = SimulationSettings::fromEnvironment();
    EXPECT_EQ(s.dropAfter, 20);
    EXPECT_EQ(s.downFor, 0) << "no negative time";
    EXPECT_EQ(s.silentAfter, 0);
    EXPECT_EQ(s.failHistoryFirst, 2);
    qunsetenv("BRAVOLT_SIM_DROP_AFTER");
    qunsetenv("BRAVOLT_SIM_DOWN_FOR");
    qunsetenv("BRAVOLT_SIM_FAIL_HISTORY_FIRST");
    EXPECT_EQ(s.seed, 42u);
    EXPECT_EQ(s.quotesPerSecond, 2.5);
    EXPECT_TRUE(s.refuseLogin);
    EXPECT_FALSE(s.failHistory);
    qunsetenv("BRAVOLT_SIM_SEED");
    qunsetenv("BRAVOLT_SIM_RATE");
    qunsetenv("BRAVOLT_SIM_REFUSE_LOGIN");
}

TEST(SimulatedBroker, AStaleSnapshotFirstThenLiveQuotesThatTheHistoryRepeats) {
    ManualClock clock(kTen);
    SimulationSettings settings;
    settings.quotesPerSecond = 2;
    SimulatedBroker broker(settings, clock);
    auto session = loggedIn(broker);
    const QString code = broker.market().catalogue("Dax30")->at(5).code;
    auto sub = session->subscribe({code, "ETR"});
    Recorder rec;
    sub->setListener(&rec);

    for (int i = 0; i < 6000; ++i) {  // ten minutes in steps of 100 ms
        clock.advanceMs(100);
        broker.pump();
    }
    ASSERT_GT(rec.quotes.size(), 100u);
    const Quote& snapshot = rec.quotes.front();
    EXPECT_TRUE(snapshot.paid.present);
    EXPECT_LT(QTime::fromString(snapshot.paid.time.text, "HH:mm:ss.zzz"), QTime(10, 0));

    // Paid changes as realtime raised them, in time order...
    std::vector<std::pair<QString, double>> live;
    QString lastTime = snapshot.paid.time.text;
    double lastVolume = snapshot.paid.volume;
    bool sawMilliseconds = false;
    for (size_t i = 1; i < rec.quotes.size(); ++i) {
        const QuoteGroup& p = rec.quotes[i].paid;
        if (p.time.text != lastTime || p.volume != lastVolume)
            live.push_back({p.time.text, p.price});
        EXPECT_GE(p.time.text, lastTime);
        lastTime = p.time.text;
        lastVolume = p.volume;
        sawMilliseconds |= p.time.millisecond != 0;
        EXPECT_TRUE(rec.quotes[i].bid.present && rec.quotes[i].ask.present);
    }
    EXPECT_TRUE(sawMilliseconds);
    // ...are the history's items after the subscription, with the same time and price.
    HistoryResult history = session->runHistory({code, "ETR"});
    ASSERT_EQ(history.date, clock.now().date());
    std::vector<std::pair<QString, double>> fromHistory;
    for (const HistoryItem& item : history.items)
        if (item.time.text > "10:00:00.000") fromHistory.push_back({item.time.text, item.price});
    EXPECT_EQ(live, fromHistory);

    sub->stop();
    const size_t before = rec.quotes.size();
    clock.advanceMs(60000);
    broker.pump();
    EXPECT_EQ(rec.quotes.size(), before) << "a stopped subscription raises nothing";
}

TEST(SimulatedBroker, IndicesQuoteWithoutVolumeAndWithoutBidAndAsk) {
    ManualClock clock(kTen);
    SimulatedBroker broker({}, clock);
    auto session = loggedIn(broker);
    auto indices = session->search({"DAX", QString("I")});
    ASSERT_FALSE(indices.empty());
    auto sub = session->subscribe({indices.front().wkn, "ETR"});
    Recorder rec;
    sub->setListener(&rec);
    for (int i = 0; i < 600; ++i) {
        clock.advanceMs(100);
        broker.pump();
    }
    ASSERT_GT(rec.quotes.size(), 1u) << "the snapshot and live quotes";
    for (const Quote& q : rec.quotes) {
        EXPECT_FALSE(q.paid.volumePresent);
        EXPECT_FALSE(q.bid.present);
    }
}

// The market's events after `from` up to and including `to`, across midnight.
std::vector<MarketEvent> eventsBetween(const SimulatedMarket& market, const SimInstrument& in,
                                       const QString& exchange, const QDateTime& from,
                                       const QDateTime& to) {
    std::vector<MarketEvent> events;
    for (QDate day = from.date(); day <= to.date(); day = day.addDays(1)) {
        const int first = day == from.date() ? from.time().msecsSinceStartOfDay() + 1 : 0;
        const int last = day == to.date() ? to.time().msecsSinceStartOfDay() : 86399999;
        for (int minute = first / 60000; minute <= last / 60000; ++minute)
            for (const MarketEvent& e : market.eventsInMinute(in, exchange, day, minute))
                if (e.msOfDay >= first && e.msOfDay <= last) events.push_back(e);
    }
    return events;
}

// The quote raised after an event: the groups as the market's state has them after it.
void expectQuoteAfter(const Quote& quote, const QuoteState& state, const SimInstrument& in) {
    const struct {
        const QuoteGroup& raised;
        const GroupState& market;
    } groups[] = {{quote.paid, state.paid}, {quote.bid, state.bid}, {quote.ask, state.ask}};
    for (const auto& g : groups) {
        if (&g.raised != &quote.paid && !in.hasBidAsk) {
            EXPECT_FALSE(g.raised.present);
            continue;
        }
        EXPECT_EQ(g.raised.present, g.market.present);
        if (!g.market.present) continue;
        EXPECT_EQ(g.raised.price, g.market.price);
        EXPECT_EQ(g.raised.time.text, SimulatedMarket::timeObject(g.market.msOfDay).text);
    }
}

// The clock's time of msOfDay on day, as the quote source tells when a quote was due.
qint64 dueAt(QDate day, int msOfDay) {
    return QDateTime(day, QTime::fromMSecsSinceStartOfDay(msOfDay)).toMSecsSinceEpoch();
}

// Realtime at five quotes a second over several minutes, the streaming path included: the stale
// snapshot at the moment of subscribing, then one quote per event of the market, each due at
// the event's time, for a share, an index, a fund and a warrant, also across midnight.
TEST(SimulatedBroker, RealtimeQuotesAreTheMarketsEventsAtTheirTimes) {
    const struct {
        QChar classLetter;
        QTime start;
    } cases[] = {{u'S', QTime(10, 0, 17, 345)},
                 {u'I', QTime(12, 59, 59, 999)},
                 {u'F', QTime(23, 58, 40)},
                 {u'W', QTime(9, 0)}};
    for (const auto& c : cases) {
        SCOPED_TRACE(QString(c.classLetter).toStdString());
        const QDateTime start(kTen.date(), c.start);
        ManualClock clock(start);
        SimulationSettings settings;
        settings.quotesPerSecond = 5;
        SimulatedBroker broker(settings, clock);
        const SimulatedMarket& market = broker.market();
        const SimInstrument& in =
            *std::find_if(market.instruments().begin(), market.instruments().end(),
                          [&](const SimInstrument& i) { return i.classLetter == c.classLetter; });
        auto session = loggedIn(broker);
        auto sub = session->subscribe({in.wkn, in.homeExchange});
        Recorder rec;
        sub->setListener(&rec);
        for (int i = 0; i < 3 * 600 + 7; ++i) {
            clock.advanceMs(100);
            broker.pump();
        }
        const auto events = eventsBetween(market, in, in.homeExchange, start, clock.now());
        ASSERT_GT(events.size(), 700u);
        ASSERT_EQ(rec.quotes.size(), events.size() + 1);
        QuoteState state =
            market.stateAt(in, in.homeExchange, start.date(), start.time().msecsSinceStartOfDay());
        expectQuoteAfter(rec.quotes[0], state, in);
        EXPECT_EQ(rec.quotes[0].readyAtMs, start.toMSecsSinceEpoch()) << "the snapshot";
        QDate day = start.date();
        for (size_t i = 0; i < events.size(); ++i) {
            if (i > 0 && events[i].msOfDay < events[i - 1].msOfDay) {
                day = day.addDays(1);
                state = {};
            }
            state.apply(events[i]);
            expectQuoteAfter(rec.quotes[i + 1], state, in);
            EXPECT_EQ(rec.quotes[i + 1].readyAtMs, dueAt(day, events[i].msOfDay));
            if (HasFailure()) FAIL() << "quote " << i + 1;
        }
    }
}

// Records whose quotes it hears; may release its subscription and make another when it hears
// the first live quote.
struct Swapper final : QuoteListener {
    void OnQuoteUpdate(const Quote& q, const QuoteSource& source, const QString&) override {
        heard.push_back({q, source.symbol});
        if (heard.size() == 2 && replace) replace();
    }
    std::vector<std::pair<Quote, QString>> heard;
    std::function<void()> replace;
};

// A listener releases its subscription during a pump and subscribes another title at once (the
// allocator may well give it the released one's address): the released one's remaining quotes
// of that pump go nowhere, and the new one starts with its snapshot in the next pump.
TEST(SimulatedBroker, AReleasedSubscriptionRaisesNothingThoughANewOneTakesItsPlace) {
    ManualClock clock(kTen);
    SimulationSettings settings;
    settings.quotesPerSecond = 5;
    SimulatedBroker broker(settings, clock);
    auto session = loggedIn(broker);
    const auto& dax = *broker.market().catalogue("Dax30");
    std::vector<std::unique_ptr<Subscription>> subs;
    Swapper first, second;
    for (int i = 0; i < 3; ++i) {
        subs.push_back(session->subscribe({dax[static_cast<size_t>(i)].code, "ETR"}));
        subs.back()->setListener(i == 1 ? &first : &second);
    }
    broker.pump();  // the snapshots
    const QString replacement = dax[10].code;
    QDateTime replacedAt;
    first.replace = [&] {
        subs[1].reset();
        replacedAt = clock.now();
        subs[1] = session->subscribe({replacement, "ETR"});
        subs[1]->setListener(&first);
    };
    clock.advanceMs(1000);  // several quotes of each in one pump
    broker.pump();
    ASSERT_TRUE(replacedAt.isValid());
    ASSERT_EQ(first.heard.size(), 2u) << "nothing after the release, nothing of the new one";
    EXPECT_EQ(broker.liveSubscriptions(), 3);
    for (int i = 0; i < 50; ++i) {
        clock.advanceMs(100);
        broker.pump();
    }
    ASSERT_GT(first.heard.size(), 10u);
    EXPECT_EQ(first.heard[2].first.readyAtMs, replacedAt.toMSecsSinceEpoch()) << "its snapshot";
    const auto events = eventsBetween(broker.market(), *broker.market().find(replacement), "ETR",
                                      replacedAt, clock.now());
    ASSERT_EQ(first.heard.size(), events.size() + 3);
    for (size_t i = 2; i < first.heard.size(); ++i) {
        EXPECT_EQ(first.heard[i].second, replacement);
        if (i > 2) {
            EXPECT_EQ(first.heard[i].first.readyAtMs, dueAt(kTen.date(), events[i - 3].msOfDay));
        }
    }
}

// A pump four minutes late raises at most a second of each subscription's backlog; the next
// pumps raise the rest in time order, none lost or twice. After more than five minutes the
// quote jumps to now instead.
TEST(SimulatedBroker, ALatePumpRaisesABoundedBacklogAndTheNextPumpsTheRest) {
    ManualClock clock(kTen);
    SimulationSettings settings;
    settings.quotesPerSecond = 5;
    SimulatedBroker broker(settings, clock);
    const SimulatedMarket& market = broker.market();
    auto session = loggedIn(broker);
    const auto& dax = *market.catalogue("Dax30");
    std::vector<std::unique_ptr<Subscription>> subs;
    std::vector<Recorder> recs(4);
    for (size_t i = 0; i < recs.size(); ++i) {
        subs.push_back(session->subscribe({dax[i].code, "ETR"}));
        subs.back()->setListener(&recs[i]);
    }
    auto pumps = [&](int count) {
        for (int i = 0; i < count; ++i) {
            clock.advanceMs(100);
            broker.pump();
        }
    };
    pumps(10);
    const QDateTime lateFrom = clock.now();
    std::vector<size_t> before;
    for (const Recorder& r : recs) before.push_back(r.quotes.size());

    clock.advanceMs(4 * 60000);
    broker.pump();
    size_t raised = 0;
    for (size_t i = 0; i < recs.size(); ++i) {
        const auto& q = recs[i].quotes;
        raised += q.size() - before[i];
        EXPECT_LE(q.back().readyAtMs, lateFrom.toMSecsSinceEpoch() + 1000) << "one second";
    }
    EXPECT_GT(raised, 0u);
    pumps(300);  // 30 s more: the backlog is caught up at 0.9 s a pump
    for (size_t i = 0; i < recs.size(); ++i) {
        SCOPED_TRACE(i);
        const auto events =
            eventsBetween(market, *market.find(dax[i].code), "ETR", kTen, clock.now());
        const auto& q = recs[i].quotes;
        ASSERT_EQ(q.size(), events.size() + 1) << "none lost, none twice";
        for (size_t k = 0; k < events.size(); ++k)
            ASSERT_EQ(q[k + 1].readyAtMs, dueAt(kTen.date(), events[k].msOfDay))
                << "in time order: " << k;
    }

    for (Recorder& r : recs) r.quotes.clear();
    clock.advanceMs(6 * 60000);
    broker.pump();
    const int nowMs = clock.now().time().msecsSinceStartOfDay();
    for (size_t i = 0; i < recs.size(); ++i) {
        ASSERT_EQ(recs[i].quotes.size(), 1u) << "the quote as it stands now";
        const Quote& q = recs[i].quotes.front();
        EXPECT_EQ(q.readyAtMs, clock.now().toMSecsSinceEpoch());
        const QuoteState now = market.stateAt(*market.find(dax[i].code), "ETR", kTen.date(), nowMs);
        EXPECT_EQ(q.paid.price, now.paid.price);
        EXPECT_EQ(q.bid.time.text, SimulatedMarket::timeObject(now.bid.msOfDay).text);
    }
}

// A listener that runs an event loop while it handles a quote (a message box) lets the timer
// pump again inside the pump: every subscription still raises each of its quotes once, in
// time order and none before its time.
TEST(SimulatedBroker, APumpWithinAPumpRaisesNothingTwice) {
    ManualClock clock(kTen);
    SimulationSettings settings;
    settings.quotesPerSecond = 5;
    SimulatedBroker broker(settings, clock);
    auto session = loggedIn(broker);
    const auto& dax = *broker.market().catalogue("Dax30");
    struct Nesting final : QuoteListener {
        void OnQuoteUpdate(const Quote& q, const QuoteSource&, const QString&) override {
            quotes.push_back(q);
            EXPECT_LE(q.readyAtMs, clock->now().toMSecsSinceEpoch()) << "not before its time";
            if (onQuote) std::exchange(onQuote, nullptr)();
        }
        const Clock* clock = nullptr;
        std::vector<Quote> quotes;
        std::function<void()> onQuote;
    };
    std::vector<std::unique_ptr<Subscription>> subs;
    std::vector<Nesting> listeners(20);
    for (size_t i = 0; i < listeners.size(); ++i) {
        subs.push_back(session->subscribe({dax[i].code, "ETR"}));
        subs.back()->setListener(&listeners[i]);
        listeners[i].clock = &clock;
    }
    broker.pump();
    clock.advanceMs(1000);
    listeners[0].onQuote = [&] {
        clock.advanceMs(100);
        broker.pump();
    };
    broker.pump();
    for (int i = 0; i < 100; ++i) {
        clock.advanceMs(100);
        broker.pump();
    }
    for (size_t i = 0; i < listeners.size(); ++i) {
        const auto events = eventsBetween(broker.market(), *broker.market().find(dax[i].code),
                                          "ETR", kTen, clock.now());
        const auto& q = listeners[i].quotes;
        ASSERT_EQ(q.size(), events.size() + 1) << i;
        for (size_t k = 0; k < events.size(); ++k)
            ASSERT_EQ(q[k + 1].readyAtMs, dueAt(kTen.date(), events[k].msOfDay)) << i << " " << k;
    }
}

// The time text of every quote and history item: "HH:mm:ss.zzz".
TEST(SimulatedMarket, TimeTexts) {
    for (int ms : {0, 1, 999, 1000, 59999, 60000, 3599999, 36008122, 43200000, 86399999}) {
        const TimeObject t = SimulatedMarket::timeObject(ms);
        const QTime q = QTime::fromMSecsSinceStartOfDay(ms);
        EXPECT_EQ(t.text, q.toString("HH:mm:ss.zzz"));
        EXPECT_EQ(t.hour, q.hour());
        EXPECT_EQ(t.minute, q.minute());
        EXPECT_EQ(t.second, q.second());
        EXPECT_EQ(t.millisecond, q.msec());
    }
}

}  // namespace
}  // namespace vqs::broker
