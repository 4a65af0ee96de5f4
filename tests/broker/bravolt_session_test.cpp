#include "broker/bravolt_session.h"

#include "broker/fake_broker.h"
#include "support/test_support.h"

#include <gtest/gtest.h>

namespace vqs {
namespace {

using test::FakeBrokerSession;

struct SessionFixture : ::testing::Test {
    test::RecordingMessages messages;
    std::function<void(FakeBrokerSession&)> prepare = [](FakeBrokerSession&) {};
    FakeBrokerSession* last = nullptr;
    int created = 0;
    BravoltSession session{[this] {
                               auto s = std::make_unique<FakeBrokerSession>();
                               prepare(*s);
                               last = s.get();
                               ++created;
                               return s;
                           },
                           [this]() -> MessagePresenter& { return messages; }};
};

TEST_F(SessionFixture, LogsInOnceUnderTheAddOnName) {
    EXPECT_EQ(session.SF(), nullptr);
    EXPECT_EQ(session.Status(), 0);
    ASSERT_TRUE(session.InitSession());
    EXPECT_EQ(last->lastAddOnName, "Tradomir VQS");
    EXPECT_EQ(session.Status(), 1);
    EXPECT_EQ(session.SF(), last);
    EXPECT_TRUE(session.InitSession());
    EXPECT_EQ(created, 1) << "no second login";
    EXPECT_EQ(last->listeners.size(), 1u);

    auto counters = last->counters;
    session.CloseSession();
    EXPECT_EQ(counters->logouts, 1);
    EXPECT_EQ(session.SF(), nullptr);
    EXPECT_EQ(session.Status(), 0);
    EXPECT_TRUE(messages.shown.empty());
}

TEST_F(SessionFixture, TheBrokersLossIsToldAndAReconnectIsQuiet) {
    QStringList losses;
    session.setLossHandler([&](const QString& reason) { losses << reason; });
    ASSERT_TRUE(session.InitSession());
    FakeBrokerSession* first = last;
    first->listeners[0]->OnQuotesStatusChange(1);
    EXPECT_TRUE(losses.isEmpty()) << "quotes flow";
    first->listeners[0]->OnQuotesStatusChange(3);
    EXPECT_EQ(losses, QStringList{"Kursversorgung unterbrochen (Status 3)"});
    EXPECT_EQ(session.Status(), 1) << "still logged in";
    first->listeners[0]->OnLogout();
    EXPECT_EQ(losses.size(), 2);
    EXPECT_EQ(losses[1], "Abmeldung durch die Bravolt-API");
    EXPECT_EQ(session.Status(), 0) << "the broker ended it";
    EXPECT_EQ(session.SF(), nullptr);

    // A refused login says why and shows nothing; the next one takes a new session object.
    prepare = [](FakeBrokerSession& s) { s.loginThrows = true; };
    const Result<void> refused = session.reconnect();
    ASSERT_FALSE(refused);
    EXPECT_EQ(refused.code(), BravoltSession::kRefused);
    EXPECT_EQ(refused.error().text, "Server nicht erreichbar");
    prepare = [](FakeBrokerSession&) {};
    EXPECT_TRUE(session.reconnect());
    EXPECT_EQ(session.SF(), last);
    EXPECT_EQ(created, 3);
    EXPECT_TRUE(messages.shown.empty());
}

TEST_F(SessionFixture, AFailingLoginIsReportedAndLeavesNoSession) {
    prepare = [](FakeBrokerSession& s) { s.loginThrows = true; };
    EXPECT_FALSE(session.InitSession());
    ASSERT_EQ(messages.shown.size(), 1u);
    EXPECT_EQ(messages.shown[0].text, "Fehler beim Login aufgetreten: Server nicht erreichbar");
    EXPECT_EQ(messages.shown[0].style, msg::kOk);
    EXPECT_EQ(session.SF(), nullptr);
    session.CloseSession();  // nothing to close: nothing visible
    EXPECT_EQ(messages.shown.size(), 1u);
}

TEST_F(SessionFixture, ALoginThatReturnsLoggedOutGivesFalseWithoutAMessage) {
    prepare = [](FakeBrokerSession& s) { s.loginLeavesLoggedOut = true; };
    EXPECT_FALSE(session.InitSession());
    EXPECT_TRUE(messages.shown.empty());
    EXPECT_EQ(session.SF(), nullptr);

    // A reconnect says so in words of its own: the broker gave none.
    const Result<void> reconnected = session.reconnect();
    ASSERT_FALSE(reconnected);
    EXPECT_EQ(reconnected.code(), BravoltSession::kNotAccepted);
    EXPECT_EQ(reconnected.error().text, "Die Anmeldung wurde nicht angenommen.");
    EXPECT_TRUE(messages.shown.empty());
}

TEST_F(SessionFixture, ALogoutThatDoesNotTakeIsReported) {
    prepare = [](FakeBrokerSession& s) { s.logoutSticks = true; };
    ASSERT_TRUE(session.InitSession());
    session.CloseSession();
    ASSERT_EQ(messages.shown.size(), 1u);
    EXPECT_EQ(messages.shown[0].text,
              QStringLiteral("Hinweis: Die Verbindung mit Bravolt konnte nicht ordnungsgemäß "
                             "beendet werden."));
    EXPECT_EQ(session.Status(), 0);
}

TEST_F(SessionFixture, DestructionLogsOutSilently) {
    std::shared_ptr<FakeBrokerSession::Counters> counters;
    {
        BravoltSession s{[&] {
                             auto f = std::make_unique<FakeBrokerSession>();
                             counters = f->counters;
                             return f;
                         },
                         [this]() -> MessagePresenter& { return messages; }};
        ASSERT_TRUE(s.InitSession());
    }
    EXPECT_EQ(counters->logouts, 1);
    EXPECT_TRUE(messages.shown.empty());
}

}  // namespace
}  // namespace vqs
