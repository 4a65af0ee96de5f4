// The recording core over the FIX quote source, against vqsfeed's logic over loopback: real
// sockets and QuickFIX on both sides, the feed on a thread of its own with its own manual clock.
#include "broker/fix_broker.h"
#include "broker/simulated_broker.h"
#include "recording/connection_watchdog.h"
#include "recording/datenpflege.h"
#include "support/feed_thread.h"
#include "support/test_support.h"
#include "titles/titel_registry.h"
#include "tools/vqsfeed.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QProcess>
#include <QTemporaryDir>

namespace vqs {
namespace {

using test::FeedThread;
using ::testing::HasSubstr;

const QDateTime kTen(QDate(2026, 12, 10), QTime(10, 0));

// Lets the test's event loop run (the quotes come through it) until `done` holds; false after
// the guard's time, which only keeps a broken test from hanging.
bool processUntil(const std::function<bool()>& done) {
    QDeadlineTimer guard(20000);
    while (!done()) {
        if (guard.hasExpired()) return false;
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 50);
    }
    return true;
}

struct FixSource : ::testing::Test {
    QTemporaryDir dir;
    const broker::SimulationSettings simulation = [] {
        broker::SimulationSettings s;
        s.quotesPerSecond = 10;
        return s;
    }();
    FeedThread feed{feedOptions(), simulation, kTen};
    broker::FixSourceSettings source = sourceSettings();

    QuoteFeedOptions feedOptions() const {
        QuoteFeedOptions options;
        options.user = QStringLiteral("anna");
        options.password = QStringLiteral("geheim");
        options.storeDir = dir.filePath(QStringLiteral("feed"));
        return options;
    }
    broker::FixSourceSettings sourceSettings() const {
        broker::FixSourceSettings s;
        s.host = QStringLiteral("127.0.0.1");
        s.port = feed.port();
        s.senderCompId = QStringLiteral("VQS");
        s.targetCompId = QStringLiteral("VQSFEED");
        s.user = QStringLiteral("anna");
        s.password = QStringLiteral("geheim");
        s.storeDir = dir.filePath(QStringLiteral("client"));
        return s;
    }
    BrokerSessionFactory overFix() {
        return [this] { return broker::makeFixSession(source); };
    }
    // The feed has taken `n` subscriptions.
    bool subscribed(int n) {
        return processUntil(
            [&] { return feed.log().filter(QStringLiteral("Abonnement ")).size() >= n; });
    }
    // Every title has had its first quote: that one counts only at the instant it was given.
    static bool firstQuotesHeard(test::TestContext& t) {
        return processUntil([&] {
            for (const auto& e : t.recorder.titles().titleObjects())
                if (!e.value->isInitialized()) return false;
            return true;
        });
    }
    static void record(test::TestContext& t, const QStringList& codes) {
        for (const QString& code : codes) {
            const TitelDef def = test::titel(code, "Dax 30", true, code == codes.first());
            t.recorder.titles().add(def);
            t.recorder.titles().startRecording(def);
        }
    }
};

TEST_F(FixSource, RecordsThePaidTicksTheBuiltInBrokerRecordsWhateverTheQueueHolds) {
    // A queue of four: the feed's quotes wait on QuickFIX's thread again and again.
    source.queueCapacity = 4;
    std::unique_ptr<broker::SimulatedBroker> simulated;
    test::TestContext builtIn{[&] { return simulated->createSession(); }};
    simulated = std::make_unique<broker::SimulatedBroker>(simulation, builtIn.clock);
    test::TestContext fix{overFix()};
    const QStringList codes{"633018", "884708", "661677"};
    for (test::TestContext* t : {&builtIn, &fix}) {
        ASSERT_TRUE(t->recorder.login());
        record(*t, codes);
    }
    ASSERT_TRUE(firstQuotesHeard(fix));
    simulated->pump();  // the feed raised its first quotes as it took the subscriptions

    // A minute in steps of two seconds: some 1,800 quotes through a queue of four.
    auto step = [&](qint64 ms) {
        feed.advance(ms);
        builtIn.clock.advanceMs(ms);
        simulated->pump();
        fix.clock.advanceMs(ms);
        return processUntil([&] { return fix.events.ticks.size() >= builtIn.events.ticks.size(); });
    };
    for (int s = 0; s < 60; s += 2) ASSERT_TRUE(step(2000)) << "at second " << s;

    auto paid = [](const test::TestContext& t) {
        std::vector<std::tuple<QString, float, float, double>> found;
        for (const test::RecordedEvents::Tick& tick : t.events.ticks)
            if (tick.kind == kBezahlt)
                found.emplace_back(tick.key, tick.kurs, tick.volume, tick.zeit);
        return found;
    };
    EXPECT_GT(paid(builtIn).size(), 300U);
    EXPECT_EQ(paid(fix), paid(builtIn));
    EXPECT_EQ(fix.events.ticks.size(), builtIn.events.ticks.size()) << "bid and ask too";
}

TEST_F(FixSource, AnUnknownCodeIsRefusedWithTheServersReasonAndNamedOnce) {
    test::TestContext t{overFix()};
    ASSERT_TRUE(t.recorder.login());
    record(t, {"633018", "XXX999"});
    const auto refusal = [&] {
        return t.events.warnings.filter(
            QStringLiteral("Die Kursquelle nimmt diese Titel nicht an"));
    };
    ASSERT_TRUE(processUntil([&] { return !refusal().isEmpty(); }));
    EXPECT_THAT(refusal().front().toStdString(), HasSubstr("XXX999"));
    EXPECT_THAT(refusal().front().toStdString(), HasSubstr("Unbekannter Titel"));
    EXPECT_FALSE(t.recorder.titles().isRecording(test::titel("XXX999", "Dax 30").id()));
    EXPECT_TRUE(t.recorder.titles().isRecording(test::titel("633018", "Dax 30").id()));

    // Asked again (as after a reconnect): refused again, but not told again.
    t.recorder.titles().startRecording(test::titel("XXX999", "Dax 30", true));
    ASSERT_TRUE(processUntil([&] {
        return feed.log().filter(QStringLiteral("Unbekannter Titel: XXX999")).size() == 2;
    }));
    for (int s = 0; s < 10 && t.events.ticks.empty(); ++s) {
        feed.advance(1000);
        t.clock.advanceMs(1000);
        processUntil([&] { return !t.events.ticks.empty(); });
    }
    ASSERT_FALSE(t.events.ticks.empty());
    EXPECT_EQ(refusal().size(), 1);
}

TEST_F(FixSource, AWrongPasswordIsRefusedWithTheServersText) {
    source.password = QStringLiteral("falsch");
    test::TestContext t{overFix()};
    EXPECT_FALSE(t.recorder.login());
    ASSERT_EQ(t.messages.shown.size(), 1U);
    EXPECT_EQ(t.messages.shown[0].text.toStdString(),
              "Fehler beim Login aufgetreten: Die FIX-Kursquelle hat die Anmeldung abgelehnt: "
              "Benutzername oder Passwort falsch.");
    EXPECT_FALSE(t.recorder.session().loggedIn());
}

TEST_F(FixSource, NoServerIsToldAsNotReachable) {
    source.port = 1;
    test::TestContext t{overFix()};
    EXPECT_FALSE(t.recorder.login());
    ASSERT_EQ(t.messages.shown.size(), 1U);
    EXPECT_EQ(
        t.messages.shown[0].text,
        "Fehler beim Login aufgetreten: Die FIX-Kursquelle 127.0.0.1:1 ist nicht erreichbar.");
}

TEST_F(FixSource, CataloguesSearchAndExchangesComeFromTheServersSecurityLists) {
    test::TestContext t{overFix()};
    ASSERT_TRUE(t.recorder.login());
    broker::BrokerSession& session = *t.recorder.session().SF();
    const broker::SimulatedMarket market(broker::SimulationSettings{}.seed, 0.5);

    const std::vector<broker::Identifier> dax = session.runIndexList({"Dax30"});
    const std::vector<broker::Identifier>& expected = *market.catalogue("Dax30");
    ASSERT_EQ(dax.size(), expected.size());
    for (size_t i = 0; i < dax.size(); ++i) {
        EXPECT_EQ(dax[i].code, expected[i].code);
        EXPECT_EQ(dax[i].exchange, expected[i].exchange);
    }
    const std::vector<broker::Instrument> named = session.queryInstruments(dax);
    ASSERT_EQ(named.size(), dax.size());
    EXPECT_EQ(named[0].name, market.find(dax[0].code)->name);

    try {
        session.runIndexList({"Nikkei"});
        ADD_FAILURE() << "an unknown catalogue is refused";
    } catch (const broker::BrokerError& e) {
        EXPECT_EQ(e.message(), "Die Indexliste \"Nikkei\" ist unbekannt.");
    }

    const broker::SearchCriteria bonds{"Bund", QStringLiteral("B")};
    const std::vector<broker::Instrument> found = session.search(bonds);
    const std::vector<broker::Instrument> wanted = market.search(bonds);
    ASSERT_FALSE(wanted.empty());
    ASSERT_EQ(found.size(), wanted.size());
    EXPECT_EQ(found[0].wkn, wanted[0].wkn);
    EXPECT_EQ(found[0].name, wanted[0].name);

    QStringList codes;
    for (const broker::Exchange& e : session.exchanges()) codes << e.code;
    EXPECT_TRUE(codes.contains("ETR")) << codes.join(",").toStdString();
}

TEST_F(FixSource, TheBackFillSaysThatTheSourceKeepsNoHistoryAndNamesTheSpan) {
    test::TestContext t{overFix()};
    ASSERT_TRUE(t.recorder.login());
    const TitelDef def = test::titel("633018", "Dax 30", true);
    t.clock.advanceMs(90 * 60 * 1000);
    QStringList told;
    LogProgress progress([&](const QString& line) { told << line; });
    const DatenpflegeResult result =
        t.recorder.datenpflege().run({DatenpflegeTitel{def, 9.0 / 24}}, progress);
    EXPECT_EQ(result.merged, 0);
    EXPECT_EQ(result.skipped, QStringList{"633018"});
    EXPECT_EQ(told, QStringList{"Die Kursquelle hält keine Kurshistorie: die Kurse von 09:00:00 "
                                "bis 11:30:00 fehlen für 1 Titel und bleiben aus."});
}

TEST_F(FixSource, AServerThatGoesAwayIsALossForTheWatchdog) {
    test::TestContext t{overFix()};
    ASSERT_TRUE(t.recorder.login());
    record(t, {"633018"});
    ASSERT_TRUE(subscribed(1));
    t.recorder.connection().start();
    feed.stop();
    ASSERT_TRUE(processUntil([&] { return !t.recorder.session().loggedIn(); }));
    t.recorder.connection().poll();
    EXPECT_TRUE(t.recorder.connection().state().lost);
}

TEST_F(FixSource, AFeedStartedAgainIsLoggedInAgainAndNoTickRepeatsAtTheSeam) {
    test::TestContext t{overFix()};
    ASSERT_TRUE(t.recorder.login());
    record(t, {"633018"});
    ASSERT_TRUE(subscribed(1));
    t.recorder.connection().start();
    t.recorder.connection().stop();  // the test polls
    // Moves both markets on until the recording has more ticks than `count`.
    auto recordsBeyond = [&](FeedThread& market, size_t count) {
        return processUntil([&] {
            if (t.events.ticks.size() > count) return true;
            market.advance(200);
            t.clock.advanceMs(200);
            return false;
        });
    };
    ASSERT_TRUE(recordsBeyond(feed, 5));
    const size_t beforeOutage = t.events.ticks.size();

    feed.stop();
    ASSERT_TRUE(processUntil([&] { return !t.recorder.session().loggedIn(); }));
    t.recorder.connection().poll();
    ASSERT_TRUE(t.recorder.connection().state().lost);

    // The feed comes back on its port a minute later, and the watchdog's next try finds it.
    QuoteFeedOptions again = feedOptions();
    again.port = source.port;
    t.clock.set(std::max(t.clock.now().addSecs(60), t.recorder.connection().state().nextAttempt));
    FeedThread back(again, simulation, t.clock.now());
    t.recorder.connection().poll();
    ASSERT_FALSE(t.recorder.connection().state().lost) << t.events.log.join("\n").toStdString();
    EXPECT_TRUE(t.events.warnings.last().startsWith("Die Kursquelle hält keine Kurshistorie"))
        << t.events.warnings.join("\n").toStdString();
    ASSERT_TRUE(recordsBeyond(back, beforeOutage + 5));

    // The paid file: one record per tick, every one later or different than the one before.
    for (size_t i = 1; i < t.events.ticks.size(); ++i) {
        const test::RecordedEvents::Tick& a = t.events.ticks[i - 1];
        const test::RecordedEvents::Tick& b = t.events.ticks[i];
        if (a.kind != b.kind) continue;
        EXPECT_FALSE(a.zeit == b.zeit && a.kurs == b.kurs && a.volume == b.volume)
            << "tick " << i << " repeats the one before";
    }
}

// A certificate of the test's own making for "localhost" and 127.0.0.1, and its key; false when
// openssl fails.
bool makeCertificate(const QString& folder) {
    QProcess openssl;
    openssl.start("openssl",
                  {"req", "-x509", "-newkey", "rsa:2048", "-nodes", "-days", "2", "-subj",
                   "/CN=localhost", "-addext", "subjectAltName=DNS:localhost,IP:127.0.0.1",
                   "-keyout", folder + "/key.pem", "-out", folder + "/cert.pem"});
    return openssl.waitForFinished(60000) && openssl.exitCode() == 0;
}

// vqsfeed, the program, over TLS with the test's certificate; its port once it listens.
struct TlsFeedProgram {
    QProcess process;
    int port = 0;
    TlsFeedProgram(const QString& folder, const QString& store) {
        process.setReadChannel(QProcess::StandardError);
        process.start(VQSFEED, {"--port", "0", "--store-dir", folder + "/" + store, "--tls-cert",
                                folder + "/cert.pem", "--tls-key", folder + "/key.pem"});
        QString log;
        port = test::vqsfeedPort(process, log);
    }
    ~TlsFeedProgram() {
        process.terminate();
        if (!process.waitForFinished(10000)) process.kill();
        process.waitForFinished();
    }
};

TEST_F(FixSource, OverTlsTheServersCertificateMustComeFromTheGivenAuthorityForItsName) {
    ASSERT_TRUE(makeCertificate(dir.path()));
    source.tls = true;
    source.user.clear();
    source.password.clear();
    {
        TlsFeedProgram tlsFeed(dir.path(), "tls");
        ASSERT_NE(tlsFeed.port, 0);
        source.port = tlsFeed.port;
        source.caFile = dir.filePath("cert.pem");
        test::TestContext t{overFix()};
        ASSERT_TRUE(t.recorder.login()) << t.messages.shown.front().text.toStdString();
        record(t, {"633018"});
        ASSERT_TRUE(firstQuotesHeard(t)) << "a quote came over TLS";
    }
    // QuickFIX's TLS server answers no one after a client broke off its handshake: each refusal
    // gets a server of its own.
    const struct Case {
        const char* name;
        const char* host;
        bool ownAuthority;
        const char* refusal;
    } cases[] = {
        {"another name", "127.0.0.2", true, "certificate refused: IP address mismatch"},
        {"the system's authorities", "127.0.0.1", false,
         "certificate refused: self-signed certificate"},
    };
    for (const Case& c : cases) {
        TlsFeedProgram refusing(dir.path(), c.name);
        source.host = c.host;
        source.port = refusing.port;
        source.caFile = c.ownAuthority ? dir.filePath("cert.pem") : QString();
        test::TestContext t{overFix()};
        EXPECT_FALSE(t.recorder.login()) << c.name;
        ASSERT_EQ(t.messages.shown.size(), 1U) << c.name;
        EXPECT_THAT(t.messages.shown[0].text.toStdString(),
                    HasSubstr("Fehler beim Login aufgetreten: Keine Verbindung zur "
                              "FIX-Kursquelle: "))
            << c.name;
        EXPECT_THAT(t.messages.shown[0].text.toStdString(), HasSubstr(c.refusal)) << c.name;
    }
}

}  // namespace
}  // namespace vqs
