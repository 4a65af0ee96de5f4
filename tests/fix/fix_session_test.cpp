#include "fix/acceptor.h"
#include "fix/initiator.h"
#include "fix/loopback.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <QTemporaryDir>

#include <optional>
#include <string>
#include <vector>

namespace vqs::fix {
namespace {

using test::Loopback;
using ::testing::HasSubstr;
using ::testing::Not;

// An acceptor that takes "anna"/"geheim" and answers every subscription with a snapshot of
// `quote`; a client of it.
struct Pair {
    explicit Pair(std::string password, std::string senderCompId = "CLIENT") {
        Acceptor::Settings server;
        server.compId = "SERVER";
        server.clientCompIds = {"CLIENT"};
        server.storeDir = dir.filePath("server").toStdString();
        Acceptor::Callbacks serverCalls;
        serverCalls.checkLogon = [](const std::string&, const std::string& user,
                                    const std::string& password) -> std::string {
            return user == "anna" && password == "geheim" ? "" : "Zugang verweigert";
        };
        serverCalls.onMarketDataRequest = [this](const std::string& session,
                                                 const Acceptor::MarketDataRequest& request) {
            MarketDataEvent event{request.reqId, request.symbol, request.exchange, true, quote};
            acceptor->sendSnapshot(session, event);
        };
        serverCalls.onEvent = [this](const std::string& text) {
            loop.report([&] { events.push_back(text); });
        };
        acceptor = std::make_unique<Acceptor>(server, serverCalls);
        acceptor->start();

        Initiator::Settings client;
        client.port = acceptor->port();
        client.senderCompId = std::move(senderCompId);
        client.targetCompId = "SERVER";
        client.username = "anna";
        client.password = std::move(password);
        client.storeDir = dir.filePath("client").toStdString();
        Initiator::Callbacks clientCalls;
        clientCalls.onLogon = [this] { loop.report([&] { loggedOn = true; }); };
        clientCalls.onLogout = [this](const std::string& text) {
            // The server closes the socket right behind its Logout: now and then the Logout is
            // lost with it, and the refusal comes without its text until the next try.
            loop.report([&] {
                if (!logoutText || logoutText->empty()) logoutText = text;
            });
        };
        clientCalls.onMarketData = [this](const MarketDataEvent& event) {
            loop.report([&] { received.push_back(event); });
        };
        initiator = std::make_unique<Initiator>(client, clientCalls);
        initiator->start();
    }
    ~Pair() {
        initiator->stop();
        acceptor->stop();
    }

    QTemporaryDir dir;
    Loopback loop;
    std::vector<MarketDataEntry> quote;
    std::unique_ptr<Acceptor> acceptor;
    std::unique_ptr<Initiator> initiator;
    bool loggedOn = false;
    std::optional<std::string> logoutText;
    std::vector<MarketDataEvent> received;
    std::vector<std::string> events;
};

TEST(FixSession, LogsOnAndDeliversASnapshotOverLoopback) {
    Pair pair("geheim");
    ASSERT_TRUE(pair.loop.waitFor([&] { return pair.loggedOn; }));
    const std::int64_t at = 1'797'415'262'123;  // 2026-12-10 09:21:02.123 UTC
    pair.quote = {{EntryType::kTrade, 202.34, true, 150, true, at},
                  {EntryType::kBid, 202.3, true, 1000, true, at - 86'400'000},
                  {EntryType::kOffer, 18250.5, false, 0, false, 0}};
    ASSERT_TRUE(pair.initiator->subscribe("7", "633018", "ETR"));
    ASSERT_TRUE(pair.loop.waitFor([&] { return !pair.received.empty(); }));

    const MarketDataEvent& got = pair.received.front();
    EXPECT_TRUE(got.snapshot);
    EXPECT_EQ(got.reqId, "7");
    EXPECT_EQ(got.symbol, "633018");
    EXPECT_EQ(got.exchange, "ETR");
    ASSERT_EQ(got.entries.size(), pair.quote.size());
    for (size_t i = 0; i < got.entries.size(); ++i) {
        const MarketDataEntry& want = pair.quote[i];
        const MarketDataEntry& e = got.entries[i];
        EXPECT_EQ(e.type, want.type) << i;
        EXPECT_DOUBLE_EQ(e.price, want.price) << i;
        EXPECT_EQ(e.hasSize, want.hasSize) << i;
        EXPECT_DOUBLE_EQ(e.size, want.size) << i;
        EXPECT_EQ(e.hasTime, want.hasTime) << i;
        EXPECT_EQ(e.utcMs, want.utcMs) << i;
    }
}

TEST(FixSession, AWrongPasswordIsRefusedWithTheServersText) {
    Pair pair("falsch-und-geheim");
    ASSERT_TRUE(pair.loop.waitFor([&] { return pair.logoutText && !pair.logoutText->empty(); }));
    EXPECT_FALSE(pair.loggedOn);
    EXPECT_EQ(*pair.logoutText, "Zugang verweigert");
    EXPECT_FALSE(pair.initiator->subscribe("1", "633018", "ETR"));
}

// QuickFIX quotes the whole Logon of a client it has no session for in its events.
TEST(FixSession, TheEventsOfALogonNoSessionTakesHideThePassword) {
    Pair pair("geheim", "FREMD");
    ASSERT_TRUE(pair.loop.waitFor([&] {
        for (const std::string& event : pair.events)
            if (event.find("FREMD") != std::string::npos) return true;
        return false;
    }));
    pair.initiator->stop();
    pair.acceptor->stop();
    EXPECT_FALSE(pair.loggedOn);
    for (const std::string& event : pair.events) {
        EXPECT_THAT(event, Not(HasSubstr("geheim")));
        if (event.find("FREMD") != std::string::npos) {
            EXPECT_THAT(event, HasSubstr("554=***"));
        }
    }
}

}  // namespace
}  // namespace vqs::fix
