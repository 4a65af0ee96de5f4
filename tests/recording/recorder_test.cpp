#include "recording/recorder.h"

#include "broker/fake_broker.h"
#include "broker/simulated_broker.h"
#include "datafiles/data_file_check.h"
#include "support/faulty_file_system.h"
#include "support/test_support.h"
#include "titles/titel_definitionen_datei.h"
#include "titles/titel_objekt.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QDirIterator>

#include <cmath>

namespace vqs {
namespace {

// A paid quote ten milliseconds on, at that instant of the clock.
broker::Quote paidQuoteLater(ManualClock& clock, double price) {
    clock.advanceMs(10);
    broker::Quote q;
    q.paid.present = true;
    q.paid.price = price;
    q.paid.time = broker::timeObjectAt(clock.now().time().msecsSinceStartOfDay());
    return q;
}

// Definitions load, active titles subscribe on the simulated broker, an hour of quotes on a
// fake clock becomes data files that match the broker's own history.
TEST(RecordingEndToEnd, AnHourOfQuotesMatchesTheBrokersHistory) {
    broker::SimulationSettings settings;
    settings.quotesPerSecond = 1;
    test::SimulatedContext t(settings);
    t.clock.set(QDateTime(QDate(2026, 12, 10), QTime(9, 0)));

    const auto& dax = *t.broker().market().catalogue("Dax30");
    KeyedCollection<TitelDef> defs;
    auto define = [&](const broker::Identifier& id, bool aktiv, bool bidAsk) {
        TitelDef d = test::titel(id.code, "Dax 30", aktiv, bidAsk);
        d.Name = t.broker().market().find(id.code)->name;
        d.RT_Boerse = id.exchange;
        defs.add(d.id().text(), d);
        return d;
    };
    const TitelDef withBidAsk = define(dax[0], true, true);
    const TitelDef paidOnly1 = define(dax[1], true, false);
    const TitelDef paidOnly2 = define(dax[2], true, false);
    define(dax[3], false, true);  // inactive: never recorded
    writeTitelDefinitionenFile(t.recorder.definitionsFilePath(), defs);

    ASSERT_TRUE(t.loginWith());
    t.recorder.loadDefinitions();
    ASSERT_EQ(t.recorder.titles().titleObjects().size(), 3);
    EXPECT_EQ(t.broker().liveSubscriptions(), 3);

    for (int step = 0; step < 36000; ++step) {  // one hour in steps of 100 ms
        t.clock.advanceMs(100);
        t.broker().pump();
    }

    // Every file is valid; bid and ask files exist for the bid/ask title only.
    QStringList files;
    QDirIterator it(t.datenpfad(), {"*.VQS"}, QDir::Files, QDirIterator::Subdirectories);
    while (it.hasNext()) {
        const QString path = it.next();
        files << QFileInfo(path).fileName();
        const DataFileScan scan = scanDataFile(path);
        EXPECT_TRUE(scan.problem.isEmpty()) << path.toStdString() << scan.problem.toStdString();
    }
    files.sort();
    const QString b = withBidAsk.WKN, p1 = paidOnly1.WKN, p2 = paidOnly2.WKN;
    QStringList expected{b + "-BRAVOL-ETR.VQS", b + "-G-BRAVOL-ETR.VQS", b + "-B-BRAVOL-ETR.VQS",
                         p1 + "-BRAVOL-ETR.VQS", p2 + "-BRAVOL-ETR.VQS"};
    expected.sort();
    EXPECT_EQ(files, expected);

    // The paid records are the history's ticks of the recorded span.
    auto session = t.broker().createSession();
    session->LoginWithAddOnName("Test");
    for (const TitelDef& d : {withBidAsk, paidOnly1, paidOnly2}) {
        std::vector<KursSatz> recorded;
        scanDataFile(t.datenpfad() + "/Dax 30/" + d.WKN + "-BRAVOL-ETR.VQS",
                     [&](qint64, const KursSatz& s) {
                         recorded.push_back(s);
                         return true;
                     });
        const broker::HistoryResult history = session->runHistory({d.RT_WKN, d.RT_Boerse});
        std::vector<KursSatz> expectedTicks;
        for (const broker::HistoryItem& item : history.items) {
            const double zeit = serialFromDate(*history.date) + *Tageszeit(item.time);
            if (zeit > serialFromDateTime(QDateTime(QDate(2026, 12, 10), QTime(9, 0))))
                expectedTicks.push_back(
                    {zeit, static_cast<float>(item.price), static_cast<float>(item.volume)});
        }
        ASSERT_GT(expectedTicks.size(), 1000u);
        ASSERT_EQ(recorded.size(), expectedTicks.size()) << d.WKN.toStdString();
        for (size_t i = 0; i < recorded.size(); ++i) {
            EXPECT_NEAR(recorded[i].Zeit, expectedTicks[i].Zeit, 0.001 / 86400) << i;
            EXPECT_EQ(recorded[i].Kurs, expectedTicks[i].Kurs) << i;
            EXPECT_EQ(recorded[i].Volume, expectedTicks[i].Volume) << i;
        }
    }

    // Shutdown stops every subscription and leaves the definitions as they are.
    const QByteArray definitions = test::readFile(t.recorder.definitionsFilePath());
    t.recorder.shutdown();
    EXPECT_EQ(t.broker().liveSubscriptions(), 0);
    EXPECT_EQ(t.recorder.titles().definitions().size(), 4);
    EXPECT_FALSE(t.recorder.saveDefinitions()) << "nothing is saved once shutdown began";
    EXPECT_EQ(test::readFile(t.recorder.definitionsFilePath()), definitions);
}

// After a restart the broker's first quote repeats the last tick as a snapshot; change detection
// starts from what the title's files end with, so it is not written twice.
TEST(Recorder, ASnapshotEqualToWhatTheFileEndsWithIsNotWrittenAgain) {
    test::TestContext t([] { return std::make_unique<test::FakeBrokerSession>(); });
    ASSERT_TRUE(t.loginWith());
    const TitelDef d = test::titel("710000", "Dax 30", true, true);
    const double last = serialFromDateTime(QDateTime(QDate(2026, 12, 10), QTime(9, 59, 59, 876)));
    for (Kursart kind : {kBezahlt, kGeld, kBrief})
        ASSERT_EQ(t.recorder.store().append(d, kind, {last, 100.5f, 300}), Appended::kWritten);

    t.recorder.titles().add(d);
    ASSERT_TRUE(t.recorder.titles().startRecording(d));
    auto group = [](QTime time, double price, double volume) {
        broker::QuoteGroup g;
        g.present = g.volumePresent = true;
        g.price = price;
        g.volume = volume;
        g.time = {time.hour(), time.minute(), time.second(), time.msec(),
                  time.toString("HH:mm:ss.zzz")};
        return g;
    };
    broker::Quote snapshot;
    snapshot.paid = snapshot.bid = snapshot.ask = group(QTime(9, 59, 59, 876), 100.5, 300);
    TitelObjekt& objekt = **t.recorder.titles().titleObjects().find("710000@ETR");
    objekt.RealtimeSubscription_OnQuoteUpdate(snapshot, {}, {});  // fresh: within a second
    EXPECT_TRUE(t.events.ticks.empty()) << "the files end with it already";

    broker::Quote next = snapshot;
    next.paid = group(QTime(10, 0, 0, 120), 100.75, 200);
    objekt.RealtimeSubscription_OnQuoteUpdate(next, {}, {});
    ASSERT_EQ(t.events.ticks.size(), 1u);
    EXPECT_EQ(t.events.ticks[0].kind, kBezahlt);
}

// The age of a quote when it reaches the recording: a lag past five seconds is a warning when it
// begins, a line a minute while it lasts and a line when it ends; a lag near the threshold
// does not flicker.
TEST(Recorder, ALagBehindTheQuotesIsToldWhileItLastsAndWhenItEnds) {
    test::TestContext t([] { return std::make_unique<test::FakeBrokerSession>(); });
    ASSERT_TRUE(t.loginWith({test::titel("710000", "Dax 30", true)}));
    TitelObjekt& objekt = **t.recorder.titles().titleObjects().find("710000@ETR");
    int price = 100;
    auto quoteAged = [&](qint64 ageMs) {
        broker::Quote q = paidQuoteLater(t.clock, ++price);
        q.readyAtMs = ageMs < 0 ? 0 : t.clock.now().toMSecsSinceEpoch() - ageMs;
        objekt.RealtimeSubscription_OnQuoteUpdate(q, {}, {});
        return t.recorder.lagSeconds();
    };
    const qsizetype logged = t.events.log.size();
    EXPECT_EQ(quoteAged(-1), std::nullopt) << "a source that does not say";
    EXPECT_EQ(quoteAged(4900), std::nullopt);
    EXPECT_EQ(quoteAged(6400), 6);
    ASSERT_EQ(t.events.warnings.size(), 1);
    EXPECT_EQ(t.events.warnings[0],
              "Rückstand: 6 s – die Aufzeichnung kommt den Kursen nicht nach.");
    t.clock.advanceMs(30000);
    EXPECT_EQ(quoteAged(12500), 12);
    EXPECT_EQ(quoteAged(2000), 2) << "still behind until caught up";
    t.clock.advanceMs(31000);
    EXPECT_EQ(quoteAged(8000), 8);
    EXPECT_EQ(t.events.log.last(), "Rückstand: 8 s.") << "once a minute while it lasts";
    EXPECT_EQ(quoteAged(500), std::nullopt);
    EXPECT_EQ(t.events.log.last(), "Rückstand aufgeholt (höchstens 12 s).");
    EXPECT_EQ(t.events.log.size() - logged, 3);
    EXPECT_EQ(t.events.warnings.size(), 1);
    EXPECT_EQ(t.recorder.kursanzahl(), 7) << "every quote was written all the same";
}

// The ticks of one turn of the event loop are counted and shown once they are in their files,
// in the order they came, with the time the broker gave; a file that cannot take its ticks gets
// none counted and is named in the log. Told to end in the middle of a turn, the recorder writes
// what it has received before it ends, and names what the disk did not take.
TEST(Recorder, TheTicksOfATurnCountOnceWrittenAndTheEndWritesThemFirst) {
    test::FaultyFileSystem fs;
    test::TestContext t([] { return std::make_unique<test::FakeBrokerSession>(); }, fs);
    ASSERT_TRUE(t.loginWith(
        {test::titel("710000", "Dax 30", true), test::titel("846900", "Dax 30", true)}));
    std::vector<TitelObjekt*> objekte;
    for (const char* code : {"710000@ETR", "846900@ETR"})
        objekte.push_back(t.recorder.titles().titleObjects().find(code)->get());
    fs.fail(test::FaultyFileSystem::Call::Write, ENOSPC, "846900");
    int price = 100;
    auto quote = [&](TitelObjekt& objekt) {
        objekt.RealtimeSubscription_OnQuoteUpdate(paidQuoteLater(t.clock, ++price), {}, {});
    };
    test::inOneTurn([&] {
        for (int i = 0; i < 3; ++i)
            for (TitelObjekt* objekt : objekte) quote(*objekt);
        EXPECT_EQ(t.recorder.kursanzahl(), 0) << "not yet written";
        EXPECT_TRUE(t.events.ticks.empty());
    });
    EXPECT_EQ(t.recorder.kursanzahl(), 3);
    ASSERT_EQ(t.events.ticks.size(), 3u);
    for (int i = 0; i < 3; ++i) {
        EXPECT_EQ(t.events.ticks[i].key, "710000@ETR");
        EXPECT_EQ(t.events.ticks[i].kurs, 101 + 2 * i);
        EXPECT_LT(t.events.ticks[i].zeit, 1.0) << "the time of day the broker gave";
    }
    const QString written = t.datenpfad() + "/Dax 30/710000-BRAVOL-ETR.VQS";
    EXPECT_EQ(test::readFile(written).size(), 856 + 3 * 16);
    EXPECT_TRUE(t.events.log.last().endsWith(
        "846900-BRAVOL-ETR.VQS: Auf dem Datenträger ist kein Platz mehr frei"))
        << t.events.log.last().toStdString();

    test::inOneTurn([&] {
        for (TitelObjekt* objekt : objekte) quote(*objekt);
        quote(*objekte[0]);
        t.recorder.shutdown();
        EXPECT_EQ(t.recorder.kursanzahl(), 5) << "written before the end";
    });
    EXPECT_EQ(test::readFile(written).size(), 856 + 5 * 16);
    EXPECT_TRUE(t.events.log.contains(
        "Beim Beenden konnte 1 Kurs nicht geschrieben werden: " +
        QDir::toNativeSeparators(t.datenpfad() + "/Dax 30/846900-BRAVOL-ETR.VQS") +
        " (Auf dem Datenträger ist kein Platz mehr frei)"))
        << t.events.log.join("\n").toStdString();
}

// A title whose subscription the broker refuses at start is named once, and is not counted as
// recorded.
TEST(Recorder, RefusedTitlesAreNamedOnceWhenTheDefinitionsLoad) {
    test::TestContext t([] { return std::make_unique<test::FakeBrokerSession>(); });
    KeyedCollection<TitelDef> defs;
    for (const char* code : {"710000", "UNBEKANNT", "AUCHNICHT"}) {
        const TitelDef d = test::titel(code, "Dax 30", true);
        defs.add(d.id().text(), d);
    }
    writeTitelDefinitionenFile(t.recorder.definitionsFilePath(), defs);
    ASSERT_TRUE(t.loginWith());
    t.recorder.loadDefinitions();
    ASSERT_EQ(t.messages.shown.size(), 1u);
    EXPECT_EQ(t.messages.shown[0].text,
              "Die Bravolt-API kennt diese Titel nicht, sie werden nicht aufgezeichnet: "
              "UNBEKANNT, AUCHNICHT");
    EXPECT_EQ(t.recorder.titles().countRecording().aktiv, 1);
    EXPECT_TRUE(t.recorder.titles().find(QStringLiteral("UNBEKANNT@ETR"))->Aktiv)
        << "the definition keeps the user's wish";
    EXPECT_TRUE(t.events.log.contains("1 Titel werden aufgezeichnet, 0 mit Geld/Brief."));
}

// A journal that is not its file's own is set aside at start and told as a warning that stays;
// the next start finds nothing to tell.
TEST(Recorder, AForeignJournalAtStartIsAWarning) {
    test::TestContext t;
    const QString folder = t.datenpfad() + "/Dax 30";
    QDir().mkpath(folder);
    test::writeFile(folder + "/notes.txt", "Notizen");
    test::writeFile(folder + "/notes.txt.journal", "VQSJRNL1" + QByteArray(2000, 'x'));
    t.recorder.prepareDataFolder();
    ASSERT_EQ(t.events.warnings.size(), 1);
    EXPECT_TRUE(t.events.warnings[0].startsWith(
        "Das Journal neben " + QDir::toNativeSeparators(folder + "/notes.txt") +
        " wurde nicht zurückgespielt: Das Journal hat das Format einer älteren Programmversion"))
        << t.events.warnings[0].toStdString();
    EXPECT_EQ(test::readFile(folder + "/notes.txt"), "Notizen");
    t.recorder.prepareDataFolder();
    EXPECT_EQ(t.events.warnings.size(), 1);
}

}  // namespace
}  // namespace vqs
