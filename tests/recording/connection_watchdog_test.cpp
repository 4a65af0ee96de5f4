#include "recording/connection_watchdog.h"

#include "recording/datenpflege.h"

#include "broker/fake_broker.h"
#include "support/test_support.h"
#include "titles/titel_registry.h"

#include <gtest/gtest.h>

namespace vqs {
namespace {

// The recording core on a fake broker whose every session shares one set of counters, and
// whose logins fail while `refuse` is set.
struct Watchdog : ::testing::Test {
    std::shared_ptr<test::FakeBrokerSession::Counters> counters =
        std::make_shared<test::FakeBrokerSession::Counters>();
    test::FakeBrokerSession* fake = nullptr;
    bool refuse = false;
    QSet<QString> moreCodes, noHistory;  // what the next sessions know besides the three
    test::TestContext t{[this] {
        auto f = std::make_unique<test::FakeBrokerSession>();
        f->counters = counters;
        f->loginThrows = refuse;
        f->knownCodes += moreCodes;
        f->noHistory = noHistory;
        // Items every half hour from 09:00: a history for every known code.
        for (int m = 9 * 60; m <= 17 * 60 + 30; m += 30)
            f->history.items.push_back({{m / 60, m % 60, 0, 0, {}}, 100.0 + m, 10});
        fake = f.get();
        return f;
    }};
    ConnectionWatchdog& watchdog() { return t.recorder.connection(); }

    Watchdog() {
        t.clock.set(QDateTime(QDate(2026, 12, 10), QTime(12, 0)));
        EXPECT_TRUE(t.loginWith({test::titel("710000", "Dax 30", true, false),
                                 test::titel("A1B2C3", "Dax 30", true, true),
                                 test::titel("846900", "Dax 30", false, false)}));
        counters->subscribed.clear();
        watchdog().start();
        watchdog().stop();  // the test polls
    }
    void define(const QString& code, bool aktiv, bool bidAsk) {
        t.recorder.titles().add(test::titel(code, "Dax 30", aktiv, bidAsk));
    }
    void after(int seconds) {
        t.clock.advanceMs(seconds * 1000LL);
        watchdog().poll();
    }
    QDateTime at(int hh, int mm, int ss) const { return {QDate(2026, 12, 10), QTime(hh, mm, ss)}; }
};

TEST_F(Watchdog, ABrokersLogoutIsNoticedAndTheLoginsComeEverLaterUpToFiveMinutes) {
    refuse = true;
    fake->listeners[0]->OnLogout();
    watchdog().poll();
    const ConnectionWatchdog::State& s = watchdog().state();
    ASSERT_TRUE(s.lost);
    EXPECT_EQ(s.since, at(12, 0, 0));
    EXPECT_EQ(s.reason, "Abmeldung durch die Bravolt-API");
    EXPECT_TRUE(t.recorder.titles().titleObjects().isEmpty()) << "the subscriptions went";
    EXPECT_EQ(t.recorder.session().Status(), 0);
    EXPECT_TRUE(t.events.log.back().startsWith("Verbindung unterbrochen seit 12:00:00"));

    const int loginsBefore = counters->logins;
    std::vector<int> delays;
    QDateTime last = at(12, 0, 0);
    for (int i = 0; i < 9; ++i) {
        const QDateTime next = s.nextAttempt;
        delays.push_back(static_cast<int>(last.secsTo(next)));
        t.clock.set(next.addMSecs(-1));
        watchdog().poll();
        EXPECT_EQ(counters->logins, loginsBefore + i) << "not before its time";
        t.clock.set(next);
        watchdog().poll();
        EXPECT_EQ(counters->logins, loginsBefore + i + 1);
        last = next;
    }
    EXPECT_EQ(delays, (std::vector<int>{5, 10, 20, 40, 80, 160, 300, 300, 300}));
    EXPECT_EQ(s.attempts, 9);
    EXPECT_TRUE(t.messages.shown.empty()) << "no window is opened for it";
}

TEST_F(Watchdog, ALoginSubscribesTheActiveTitlesAgainAndFillsTheirGapOnce) {
    fake->listeners[0]->OnQuotesStatusChange(0);
    after(0);
    ASSERT_TRUE(watchdog().state().lost);
    after(5);
    EXPECT_FALSE(watchdog().state().lost);
    EXPECT_EQ(t.recorder.session().Status(), 1);
    counters->subscribed.sort();
    EXPECT_EQ(counters->subscribed, (QStringList{"710000@ETR", "A1B2C3@ETR"}))
        << "every active title and no inactive one";
    EXPECT_EQ(t.recorder.titles().countRecording().aktiv, 2);
    EXPECT_EQ(counters->histories, (QStringList{"710000", "A1B2C3"}));
    EXPECT_TRUE(t.events.log.contains("Datenpflege beendet: 2 von 2 Titeln gefüllt."));
    EXPECT_TRUE(t.events.log.contains(
        "Geld und Brief fehlen von 12:00:00 bis 12:00:05 (die Bravolt-API hat keine Historie "
        "dafür): Name A1B2C3."));

    after(60);
    EXPECT_EQ(counters->histories.size(), 2) << "once per login";
}

// The fill after a login logs its end in one line, however many titles it fills; what the user
// must read (bid and ask that stay missing, files that could not be filled) comes as warnings.
TEST_F(Watchdog, AFillOfManyTitlesLogsOneLineAndWarnsOfWhatIsMissing) {
    for (int i = 0; i < 170; ++i) {
        const QString code = QStringLiteral("T%1").arg(i, 5, 10, QLatin1Char('0'));
        moreCodes << code;
        define(code, true, false);
    }
    noHistory = {"T00007"};
    fake->listeners[0]->OnLogout();
    after(0);
    ASSERT_TRUE(watchdog().state().lost);
    const qsizetype before = t.events.log.size();
    after(5);
    ASSERT_FALSE(watchdog().state().lost);
    EXPECT_EQ(counters->histories.size(), 172);

    const QStringList lines = t.events.log.mid(before);
    ASSERT_EQ(lines.size(), 3) << lines.join('\n').toStdString();
    EXPECT_EQ(lines[0],
              "Verbindung wiederhergestellt (unterbrochen seit 12:00:00), 172 Titel werden wieder "
              "aufgezeichnet.");
    EXPECT_EQ(lines[1],
              "Geld und Brief fehlen von 12:00:00 bis 12:00:05 (die Bravolt-API hat keine Historie "
              "dafür): Name A1B2C3.");
    EXPECT_EQ(lines[2],
              "Datenpflege beendet: 171 von 172 Titeln gefüllt; keine Historie für T00007, ihre "
              "Dateien wurden nicht gefüllt.");
    EXPECT_EQ(t.events.warnings, (QStringList{lines[1], lines[2]}));
}

// A login while the user's own back-fill runs: the gap is filled once that run has ended.
TEST_F(Watchdog, AGapWaitsForTheUsersBackFill) {
    fake->listeners[0]->OnLogout();
    after(0);
    struct DuringTheRun final : DatenpflegeProgress {
        std::function<void()> act;
        void yield() override {
            if (act) std::exchange(act, {})();
        }
    } progress;
    progress.act = [&] { after(5); };  // the login comes while the run goes on
    t.recorder.datenpflege().run({*t.recorder.titles().find("846900@ETR")}, 0, progress);
    EXPECT_FALSE(watchdog().state().lost);
    EXPECT_TRUE(
        t.events.log.contains("Die Lücke wird gefüllt, sobald die laufende Datenpflege endet."));
    counters->histories.clear();
    after(1);
    EXPECT_EQ(counters->histories, (QStringList{"710000", "A1B2C3"}));
    after(1);
    EXPECT_EQ(counters->histories.size(), 2) << "once";
}

TEST_F(Watchdog, ASilentFeedIsNoticedAfterItsTimeAndNotBefore) {
    after(30);
    EXPECT_FALSE(watchdog().state().lost) << "no quote yet: nothing to miss";
    watchdog().quoteArrived();
    after(1);
    const QDateTime lastQuote = t.clock.now();
    after(119);
    EXPECT_FALSE(watchdog().state().lost);
    after(1);
    ASSERT_TRUE(watchdog().state().lost);
    EXPECT_EQ(watchdog().state().since, lastQuote);
    EXPECT_EQ(watchdog().state().reason, "seit 120 s kein Kurs");

    // Switched off: never.
    after(5);
    ASSERT_FALSE(watchdog().state().lost);
    t.recorder.options().StilleSekunden = 0;
    watchdog().quoteArrived();
    after(1);
    after(3600);
    EXPECT_FALSE(watchdog().state().lost);
}

TEST_F(Watchdog, WithoutAutomaticReconnectTheLossIsToldAndNoLoginTried) {
    t.recorder.options().AutoWiederverbinden = false;
    const int logins = counters->logins;
    fake->listeners[0]->OnLogout();
    after(0);
    ASSERT_TRUE(watchdog().state().lost);
    EXPECT_FALSE(watchdog().state().nextAttempt.isValid());
    EXPECT_TRUE(t.events.log.back().endsWith("Automatisches Wiederverbinden ist ausgeschaltet."));
    after(3600);
    EXPECT_EQ(counters->logins, logins);

    // Switched on during the outage: tried from then on.
    t.recorder.options().AutoWiederverbinden = true;
    after(0);
    EXPECT_EQ(watchdog().state().nextAttempt, t.clock.now().addSecs(5));
    after(5);
    EXPECT_FALSE(watchdog().state().lost);
    EXPECT_EQ(counters->logins, logins + 1);
}

TEST_F(Watchdog, AStartWithoutConnectionKeepsTrying) {
    t.recorder.session().dropSession();
    t.recorder.titles().releaseTitleObjects();
    refuse = true;
    watchdog().startDisconnected("Anmeldung fehlgeschlagen");
    watchdog().stop();
    after(5);
    EXPECT_TRUE(watchdog().state().lost);
    EXPECT_EQ(watchdog().state().attempts, 1);
    refuse = false;
    after(10);
    EXPECT_FALSE(watchdog().state().lost);
    EXPECT_EQ(t.recorder.titles().countRecording().aktiv, 2);
}

}  // namespace
}  // namespace vqs
