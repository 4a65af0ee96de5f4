#include "tools/vqsfeed.h"
#include "common/error.h"
#include "common/password_file.h"
#include "fix/initiator.h"
#include "fix/loopback.h"
#include "support/manual_clock.h"
#include "support/test_support.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <QFile>
#include <QProcess>
#include <QTemporaryDir>

#include <algorithm>
#include <set>

#include <signal.h>

namespace vqs {
namespace {

using test::Loopback;

const QDateTime kTen(QDate(2026, 12, 10), QTime(10, 0));

// vqsfeed's logic on a manual clock, and a client logged on to it. The test's thread is the
// feed's: it pumps when a request waits, and moves the clock.
struct FeedAndClient : ::testing::Test {
    void SetUp() override {
        QuoteFeedOptions options;
        options.user = QStringLiteral("anna");
        options.password = QStringLiteral("geheim");
        options.storeDir = dir.filePath(QStringLiteral("feed"));
        feed = std::make_unique<QuoteFeed>(
            options, broker::SimulationSettings{}, clock, [this](const QString& line) {
                loop.report([&] { log.push_back(line.toStdString()); });
            });
        feed->setWake([this] { loop.wake(); });
        feed->start();

        fix::Initiator::Settings settings;
        settings.port = feed->port();
        settings.senderCompId = "VQS";
        settings.targetCompId = "VQSFEED";
        settings.username = "anna";
        settings.password = "geheim";
        settings.storeDir = dir.filePath(QStringLiteral("client")).toStdString();
        fix::Initiator::Callbacks calls;
        calls.onLogon = [this] { loop.report([&] { loggedOn = true; }); };
        calls.onMarketData = [this](const fix::MarketDataEvent& e) {
            loop.report([&] { events.push_back(e); });
        };
        calls.onMarketDataReject = [this](const std::string& reqId, const std::string& text) {
            loop.report([&] { rejects.emplace_back(reqId, text); });
        };
        calls.onSecurityList = [this](const std::string& reqId,
                                      const std::vector<fix::Security>& list) {
            loop.report([&] { lists[reqId] = list; });
        };
        client = std::make_unique<fix::Initiator>(settings, calls);
        client->start();
        ASSERT_TRUE(loop.waitFor([&] { return loggedOn; }));
    }
    void TearDown() override {
        client->stop();
        feed->stop();
    }
    bool serveUntil(const std::function<bool()>& done) {
        return loop.serveUntil(done, [this] { feed->pump(); });
    }
    // The trades the client received (snapshot included), in order.
    std::vector<fix::MarketDataEntry> trades(bool snapshot) {
        std::vector<fix::MarketDataEntry> found;
        for (const fix::MarketDataEvent& e : events)
            if (e.snapshot == snapshot)
                for (const fix::MarketDataEntry& entry : e.entries)
                    if (entry.type == fix::EntryType::kTrade) found.push_back(entry);
        return found;
    }
    static qint64 epochMs(QDate day, const broker::TimeObject& t) {
        return QDateTime(day, QTime(t.hour, t.minute, t.second, t.millisecond)).toMSecsSinceEpoch();
    }

    QTemporaryDir dir;
    ManualClock clock{kTen};
    Loopback loop;
    std::unique_ptr<QuoteFeed> feed;
    std::unique_ptr<fix::Initiator> client;
    // Guarded by `loop`.
    std::vector<std::string> log;
    bool loggedOn = false;
    std::vector<fix::MarketDataEvent> events;
    std::vector<std::pair<std::string, std::string>> rejects;
    std::map<std::string, std::vector<fix::Security>> lists;
};

TEST_F(FeedAndClient, ASubscriptionDeliversThePaidTicksOfTheSimulatedMarket) {
    const broker::SimulatedMarket& market = feed->market();
    const broker::SimInstrument& in = *market.find(QStringLiteral("633018"));
    ASSERT_TRUE(client->subscribe("1", "633018", "ETR"));
    ASSERT_TRUE(serveUntil([&] { return !events.empty(); }));

    // The snapshot: the quote as it stands at the subscription.
    const int startMs = kTen.time().msecsSinceStartOfDay();
    const broker::QuoteState state =
        market.stateAt(in, QStringLiteral("ETR"), kTen.date(), startMs);
    {
        std::lock_guard lock(loop.mutex());
        ASSERT_TRUE(events.front().snapshot);
        const std::vector<fix::MarketDataEntry> snapshot = trades(true);
        ASSERT_EQ(snapshot.size(), 1u);
        EXPECT_DOUBLE_EQ(snapshot[0].price, state.paid.price);
        EXPECT_DOUBLE_EQ(snapshot[0].size, state.paid.volume);
        EXPECT_EQ(snapshot[0].utcMs,
                  epochMs(kTen.date(), broker::SimulatedMarket::timeObject(state.paid.msOfDay)));
    }

    // A minute of the market in the simulated broker's 100 ms steps.
    for (int step = 0; step < 600; ++step) {
        clock.advanceMs(100);
        feed->pump();
    }
    std::vector<broker::HistoryItem> expected = market.paidHistory(
        in, QStringLiteral("ETR"), kTen.date(), clock.now().time().msecsSinceStartOfDay());
    expected.erase(std::remove_if(expected.begin(), expected.end(),
                                  [&](const broker::HistoryItem& item) {
                                      return epochMs(kTen.date(), item.time) <=
                                             kTen.toMSecsSinceEpoch();
                                  }),
                   expected.end());
    ASSERT_GE(expected.size(), 5u);
    ASSERT_TRUE(loop.waitFor([&] { return trades(false).size() >= expected.size(); }));

    std::lock_guard lock(loop.mutex());
    const std::vector<fix::MarketDataEntry> got = trades(false);
    ASSERT_EQ(got.size(), expected.size());
    for (size_t i = 0; i < got.size(); ++i) {
        EXPECT_DOUBLE_EQ(got[i].price, expected[i].price) << i;
        EXPECT_TRUE(got[i].hasSize) << i;
        EXPECT_DOUBLE_EQ(got[i].size, expected[i].volume) << i;
        EXPECT_EQ(got[i].utcMs, epochMs(kTen.date(), expected[i].time)) << i;
    }
    for (const fix::MarketDataEvent& e : events) {
        EXPECT_EQ(e.reqId, "1");
        EXPECT_EQ(e.symbol, "633018");
        EXPECT_EQ(e.exchange, "ETR");
    }
    EXPECT_THAT(log, ::testing::Contains(::testing::HasSubstr("Anmeldung von \"anna\"")));
    EXPECT_THAT(log, ::testing::Contains(::testing::HasSubstr("Abonnement 633018@ETR")));
}

TEST_F(FeedAndClient, AnEndedSubscriptionGetsNoMoreQuotes) {
    ASSERT_TRUE(client->subscribe("1", "633018", "ETR"));
    ASSERT_TRUE(serveUntil([&] { return !events.empty(); }));
    ASSERT_TRUE(client->unsubscribe("1"));
    ASSERT_TRUE(serveUntil([&] {
        return std::any_of(log.begin(), log.end(), [](const std::string& line) {
            return line.find("Abonnement beendet") != std::string::npos;
        });
    }));
    for (int step = 0; step < 600; ++step) {
        clock.advanceMs(100);
        feed->pump();
    }
    // A session keeps its order: once the next subscription's snapshot is there, anything
    // sent for the first one before it is there too.
    ASSERT_TRUE(client->subscribe("2", "661677", "ETR"));
    ASSERT_TRUE(serveUntil([&] { return events.back().reqId == "2"; }));
    std::lock_guard lock(loop.mutex());
    EXPECT_EQ(std::count_if(events.begin(), events.end(),
                            [](const fix::MarketDataEvent& e) { return e.reqId == "1"; }),
              1);
}

TEST_F(FeedAndClient, UnknownCodesAndExchangesAreRefusedWithTheirReason) {
    ASSERT_TRUE(client->subscribe("1", "NIXDA1", "ETR"));
    ASSERT_TRUE(client->subscribe("2", "633018", "NYS"));
    ASSERT_TRUE(serveUntil([&] { return rejects.size() == 2; }));
    std::lock_guard lock(loop.mutex());
    std::sort(rejects.begin(), rejects.end());
    EXPECT_EQ(rejects[0].first, "1");
    EXPECT_THAT(rejects[0].second, ::testing::HasSubstr("NIXDA1"));
    EXPECT_EQ(rejects[1].first, "2");
    EXPECT_THAT(rejects[1].second, ::testing::HasSubstr("NYS"));
    EXPECT_TRUE(events.empty());
}

TEST_F(FeedAndClient, SecurityListsComeFromTheMarketsInstruments) {
    const broker::SimulatedMarket& market = feed->market();
    ASSERT_TRUE(client->requestSecurityList("alle", {}));
    ASSERT_TRUE(client->requestSecurityList("bund", {"", "Bund", "B"}));
    ASSERT_TRUE(serveUntil([&] { return lists.size() == 2; }));
    std::lock_guard lock(loop.mutex());

    // Every instrument, in fragments: each once, with its name, home exchange and class.
    const std::vector<fix::Security>& all = lists["alle"];
    ASSERT_EQ(all.size(), market.instruments().size());
    std::set<std::string> codes;
    for (const fix::Security& s : all) codes.insert(s.symbol);
    EXPECT_EQ(codes.size(), all.size());
    const broker::SimInstrument& dax = *market.find(QStringLiteral("JQ6BJR"));
    const auto found = std::find_if(all.begin(), all.end(),
                                    [](const fix::Security& s) { return s.symbol == "JQ6BJR"; });
    ASSERT_NE(found, all.end());
    EXPECT_EQ(found->name, dax.name.toStdString());
    EXPECT_EQ(found->exchange, dax.homeExchange.toStdString());
    EXPECT_EQ(found->type, QString(dax.classLetter).toStdString());

    // A search: what the market's search finds.
    const std::vector<broker::Instrument> bonds =
        market.search({QStringLiteral("Bund"), QStringLiteral("B")});
    const std::vector<fix::Security>& got = lists["bund"];
    ASSERT_FALSE(bonds.empty());
    ASSERT_EQ(got.size(), bonds.size());
    for (size_t i = 0; i < got.size(); ++i) {
        EXPECT_EQ(got[i].symbol, bonds[i].wkn.toStdString());
        EXPECT_EQ(got[i].name, bonds[i].name.toStdString());
        EXPECT_EQ(got[i].type, "B");
    }
}

TEST(VqsfeedPasswordFile, IsReadOnlyWhenOnlyItsOwnerMayReadIt) {
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("passwort"));
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write("geheim\n");
    file.close();
    const struct {
        QFile::Permissions permissions;
        bool accepted;
    } cases[] = {
        {QFile::ReadOwner | QFile::WriteOwner, true},
        {QFile::ReadOwner | QFile::WriteOwner | QFile::ReadGroup, false},
        {QFile::ReadOwner | QFile::ReadOther, false},
    };
    for (const auto& c : cases) {
        ASSERT_TRUE(QFile::setPermissions(path, c.permissions));
        const Result<QString> read = readPassword(path);
        if (c.accepted) {
            ASSERT_TRUE(read) << read.error().text.toStdString();
            EXPECT_EQ(*read, QStringLiteral("geheim"));
            continue;
        }
        ASSERT_FALSE(read) << "accepted with " << int(c.permissions);
        EXPECT_THAT(read.error().text.toStdString(), ::testing::HasSubstr("chmod 600"));
    }
}

// The program itself on the system clock: its first line names the port it chose, a client
// gets a snapshot, each logon, subscription and logout is a line, SIGTERM ends it with 0.
TEST(VqsfeedProgram, ServesAClientAndEndsOnSigterm) {
    QTemporaryDir dir;
    QProcess feed;
    feed.setReadChannel(QProcess::StandardError);
    test::KilledAtEnd killOnFailure{feed};
    feed.start(QStringLiteral(VQSFEED), {QStringLiteral("--port"), QStringLiteral("0"),
                                         QStringLiteral("--store-dir"), dir.filePath("feed")});
    ASSERT_TRUE(feed.waitForStarted());
    QString out;
    const int port = test::vqsfeedPort(feed, out);
    ASSERT_NE(port, 0) << out.toStdString();

    Loopback loop;
    bool snapshot = false;
    fix::Initiator::Settings settings;
    settings.port = port;
    settings.senderCompId = "VQS";
    settings.targetCompId = "VQSFEED";
    settings.username = "anna";
    settings.storeDir = dir.filePath(QStringLiteral("client")).toStdString();
    fix::Initiator::Callbacks calls;
    calls.onLogon = [&] { loop.report([] {}); };
    calls.onMarketData = [&](const fix::MarketDataEvent& e) {
        loop.report([&] { snapshot = snapshot || e.snapshot; });
    };
    fix::Initiator client(settings, calls);
    client.start();
    ASSERT_TRUE(loop.waitFor([&] { return client.isLoggedOn(); }))
        << (out + QString::fromUtf8(feed.readAllStandardError())).toStdString();
    ASSERT_TRUE(client.subscribe("1", "633018", "ETR"));
    ASSERT_TRUE(loop.waitFor([&] { return snapshot; }));
    client.stop();

    ::kill(static_cast<pid_t>(feed.processId()), SIGTERM);
    ASSERT_TRUE(feed.waitForFinished(20000));
    EXPECT_EQ(feed.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(feed.exitCode(), 0);
    const QString log = out + QString::fromUtf8(feed.readAllStandardError());
    for (const char* line :
         {"Anmeldung von \"anna\"", "Abonnement 633018@ETR", "Abmeldung", "vqsfeed beendet"})
        EXPECT_TRUE(log.contains(QString::fromUtf8(line))) << line << "\n" << log.toStdString();
}

}  // namespace
}  // namespace vqs
