#include "recording/datenpflege.h"

#include "broker/fake_broker.h"
#include "broker/simulated_broker.h"
#include "datafiles/data_file_check.h"
#include "recording/recorder.h"
#include "support/test_support.h"
#include "titles/titel_objekt.h"

#include <gtest/gtest.h>

#include <QFile>

#include <functional>

namespace vqs {
namespace {

// Records what the run shows and cancels when told to.
struct RecordingProgress final : DatenpflegeProgress {
    void titel(const QString& t) override { shown << t; }
    void status(const QString& t) override {
        shown << t;
        if (onStatus) onStatus(t);
    }
    void kursart(const QString& t) override { shown << t; }
    void datum(const QString& t) override { shown << t; }
    void yield() override {
        if (onYield) onYield();
    }
    bool cancelRequested() override { return cancel; }
    QStringList shown;
    bool cancel = false;
    std::function<void(const QString&)> onStatus;
    std::function<void()> onYield;
};

// An active title of "Dax 30" on this exchange.
TitelDef titel(const QString& code, const QString& exchange = "ETR") {
    TitelDef d = test::titel(code, "Dax 30", true);
    d.RT_Boerse = exchange;
    return d;
}

std::vector<KursSatz> recordsOf(const QString& path) {
    std::vector<KursSatz> all;
    scanDataFile(path, [&](qint64, const KursSatz& k) {
        all.push_back(k);
        return true;
    });
    return all;
}

// Three titles recorded on the simulated broker, one of them switched off for a stretch: the
// back-fill from 00:00 makes its file what an uninterrupted recording since midnight would be,
// and leaves the other two as they are.
TEST(Datenpflege, AGapIsFilledAsIfTheTitleHadBeenRecordedAllAlong) {
    broker::SimulationSettings simulation;
    simulation.quotesPerSecond = 1;
    test::SimulatedContext t(simulation);
    t.clock.set(QDateTime(QDate(2026, 12, 10), QTime(9, 0)));
    std::vector<TitelDef> titles;
    for (const broker::Identifier& id : *t.broker().market().catalogue("Dax30")) {
        if (titles.size() == 3) break;
        titles.push_back(titel(id.code, id.exchange));
    }
    ASSERT_TRUE(t.loginWith(titles));
    auto minutes = [&](int n) {
        for (int i = 0; i < n * 600; ++i) {
            t.clock.advanceMs(100);
            t.broker().pump();
        }
    };
    minutes(10);
    t.recorder.titles().stopRecording(titles[1].id());
    minutes(10);
    t.recorder.titles().startRecording(titles[1]);
    minutes(10);

    auto path = [&](const TitelDef& d) { return t.recorder.store().filePath(d, kBezahlt); };
    const QByteArray first = test::readFile(path(titles[0]));
    const QByteArray third = test::readFile(path(titles[2]));
    RecordingProgress progress;
    const DatenpflegeResult result = t.recorder.datenpflege().run({titles[1]}, 0.0, progress);
    EXPECT_EQ(result.merged, 1);
    EXPECT_TRUE(result.skipped.isEmpty());
    EXPECT_EQ(test::readFile(path(titles[0])), first);
    EXPECT_EQ(test::readFile(path(titles[2])), third);

    auto session = t.broker().createSession();
    session->LoginWithAddOnName("Test");
    const broker::HistoryResult history = session->runHistory({titles[1].RT_WKN, "ETR"});
    const std::vector<KursSatz> filled = recordsOf(path(titles[1]));
    ASSERT_EQ(filled.size(), history.items.size()) << "every tick since midnight, once";
    for (size_t i = 0; i < filled.size(); ++i) {
        const broker::HistoryItem& item = history.items[i];
        EXPECT_NEAR(filled[i].Zeit, serialFromDate(*history.date) + *Tageszeit(item.time),
                    0.001 / 86400)
            << i;
        EXPECT_EQ(filled[i].Kurs, static_cast<float>(item.price)) << i;
        EXPECT_EQ(filled[i].Volume, static_cast<float>(item.volume)) << i;
    }
    EXPECT_TRUE(progress.shown.contains("Titel: " + titles[1].Name));
    EXPECT_TRUE(progress.shown.contains("Datum: 10.12.2026 00:00:00"));
    EXPECT_TRUE(progress.shown.contains("Status: Daten speichern"));
}

struct FakeDatenpflege : ::testing::Test {
    test::FakeBrokerSession* fake = nullptr;
    test::TestContext t{[this] {
        auto f = std::make_unique<test::FakeBrokerSession>();
        fake = f.get();
        return f;
    }};
    RecordingProgress progress;
    FakeDatenpflege() {
        EXPECT_TRUE(t.loginWith());
        // Items from 09:00 to 17:30, every half hour, without a date.
        for (int m = 9 * 60; m <= 17 * 60 + 30; m += 30)
            fake->history.items.push_back({{m / 60, m % 60, 0, 0, {}}, 100.0 + m, 10});
    }
    QString path(const QString& code) { return t.recorder.store().filePath(titel(code), kBezahlt); }
};

TEST_F(FakeDatenpflege, OnlyTicksFromTheStartTimeOnTodayAreTaken) {
    DatenpflegeResult r = t.recorder.datenpflege().run({titel("710000")}, 0.5, progress);
    EXPECT_EQ(r.merged, 1);
    const std::vector<KursSatz> filled = recordsOf(path("710000"));
    ASSERT_EQ(filled.size(), 12u) << "12:00 to 17:30";
    EXPECT_DOUBLE_EQ(filled.front().Zeit, serialFromDate(QDate(2026, 12, 10)) + 0.5)
        << "no date in the result: today";

    // A history whose items all lie before the start time merges nothing.
    r = t.recorder.datenpflege().run({titel("846900")}, 0.9, progress);
    EXPECT_EQ(r.merged, 0);
    EXPECT_FALSE(QFile::exists(path("846900")));
    fake->history.items.clear();
    r = t.recorder.datenpflege().run({titel("A1B2C3")}, 0, progress);
    EXPECT_EQ(r.merged, 0) << "no history at all";
    EXPECT_TRUE(t.messages.shown.empty()) << "and no message";
}

TEST_F(FakeDatenpflege, AFailingRequestSkipsItsTitleAndTheEndNamesIt) {
    const DatenpflegeResult r = t.recorder.datenpflege().run(
        {titel("UNBEKANNT"), titel("710000"), titel("AUCHNICHT")}, 0, progress);
    EXPECT_EQ(r.merged, 1);
    EXPECT_EQ(r.skipped, (QStringList{"UNBEKANNT", "AUCHNICHT"}));
    EXPECT_TRUE(t.messages.shown.empty());
    EXPECT_FALSE(QFile::exists(path("UNBEKANNT")));
    const QString end =
        "Datenpflege beendet: 1 von 3 Titeln gefüllt; keine Historie für UNBEKANNT, AUCHNICHT, "
        "ihre Dateien wurden nicht gefüllt.";
    EXPECT_TRUE(t.events.log.contains(end)) << t.events.log.join('\n').toStdString();
    EXPECT_EQ(t.events.warnings, QStringList{end}) << "the unfilled files are to be read";

    t.recorder.datenpflege().run({titel("710000")}, 0, progress);
    EXPECT_EQ(t.events.warnings.size(), 1) << "a run that filled everything warns of nothing";
}

TEST_F(FakeDatenpflege, CancellingStopsAtTheNextCheckAndAStartedMergeCompletes) {
    const std::vector<TitelDef> five{titel("710000"), titel("846900"), titel("A1B2C3"),
                                     titel("710000", "FRA"), titel("846900", "FRA")};
    fake->knownCodes << "710000";
    // While the third title is fetched: it is not merged, and the run stops.
    int fetching = 0;
    progress.onStatus = [&](const QString& s) {
        if (s == "Status: Daten abfragen" && ++fetching == 3) progress.cancel = true;
    };
    DatenpflegeResult r = t.recorder.datenpflege().run(five, 0, progress);
    EXPECT_TRUE(r.cancelled);
    EXPECT_EQ(r.merged, 2);
    EXPECT_FALSE(QFile::exists(path("A1B2C3")));

    // While a title is merged: that merge completes, then the run stops.
    progress.cancel = false;
    progress.onStatus = [&](const QString& s) {
        if (s == "Status: Daten speichern") progress.cancel = true;
    };
    r = t.recorder.datenpflege().run({titel("A1B2C3"), titel("846900", "FRA")}, 0, progress);
    EXPECT_TRUE(r.cancelled);
    EXPECT_EQ(r.merged, 1);
    EXPECT_EQ(recordsOf(path("A1B2C3")).size(), fake->history.items.size());

    // A cancel asked before the run: nothing starts.
    r = t.recorder.datenpflege().run({titel("846900", "FRA")}, 0, progress);
    EXPECT_FALSE(r.started);
}

TEST_F(FakeDatenpflege, ASecondRunCannotStartWhileOneRuns) {
    DatenpflegeResult inner;
    progress.onYield = [&] {
        RecordingProgress other;
        inner = t.recorder.datenpflege().run({titel("846900")}, 0, other);
        progress.onYield = nullptr;
    };
    const DatenpflegeResult outer = t.recorder.datenpflege().run({titel("710000")}, 0, progress);
    EXPECT_FALSE(inner.started);
    EXPECT_TRUE(outer.started);
    EXPECT_EQ(outer.merged, 1);
    EXPECT_FALSE(t.recorder.datenpflege().running());
}

// Ended while a title is merged (the session already closed): that merge completes, the run
// stops without a message, and none starts any more.
TEST_F(FakeDatenpflege, TheProgramsEndStopsTheRunQuietly) {
    const size_t items = fake->history.items.size();  // the session goes with the end
    progress.onStatus = [&](const QString& s) {
        if (s == "Status: Daten speichern") t.recorder.shutdown();
    };
    DatenpflegeResult r =
        t.recorder.datenpflege().run({titel("710000"), titel("846900")}, 0, progress);
    EXPECT_TRUE(r.cancelled);
    EXPECT_EQ(r.merged, 1);
    EXPECT_EQ(recordsOf(path("710000")).size(), items);
    EXPECT_TRUE(r.error.isEmpty());
    EXPECT_TRUE(t.messages.shown.empty());
    r = t.recorder.datenpflege().run({titel("846900")}, 0, progress);
    EXPECT_FALSE(r.started);
}

}  // namespace
}  // namespace vqs
