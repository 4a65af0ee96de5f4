#pragma once

#include "broker/trading_api.h"
#include "common/result.h"

#include <QString>

#include <functional>
#include <memory>

namespace vqs {

class MessagePresenter;

// Makes the broker session object (the broker's component, or the simulated service).
using BrokerSessionFactory = std::function<std::unique_ptr<broker::BrokerSession>()>;

// The one session with the broker service: logs in once under the add-on name, hands the
// logged-in session to whoever talks to the broker, logs out at the end.
class BravoltSession final : public broker::SessionListener {
public:
    BravoltSession(BrokerSessionFactory factory, std::function<MessagePresenter&()> messages);
    ~BravoltSession() override;
    BravoltSession(const BravoltSession&) = delete;
    BravoltSession& operator=(const BravoltSession&) = delete;

    // Logs in unless logged in already; true when logged in afterwards. A failing login is
    // reported ("Fehler beim Login aufgetreten: ") and gives false.
    bool InitSession();
    // Logs out and releases the session; reports a logout that did not take.
    void CloseSession();
    // Logs in with a new session object after the connection was lost, the old one released
    // first; nothing is shown. The error says why it failed.
    Result<void> reconnect();
    // The errors of a login: the broker (or its absence) gave a reason, or the session simply
    // is not logged in afterwards.
    static constexpr int kRefused = -1;
    static constexpr int kNotAccepted = -2;
    // Releases the session without a word: its connection is gone.
    void dropSession();
    // The broker session while logged in, else none.
    broker::BrokerSession* SF() const { return loggedIn() ? session_.get() : nullptr; }
    // The component's status: kAbgemeldet or kAngemeldet.
    static constexpr std::int32_t kAbgemeldet = 0;
    static constexpr std::int32_t kAngemeldet = 1;
    std::int32_t Status() const { return status_; }
    bool loggedIn() const { return status_ == kAngemeldet; }

    // Told when the broker ends the connection (a logout it raised: the session is no longer
    // logged in) or says its quotes stopped (a quote status other than 1); with the reason.
    void setLossHandler(std::function<void(const QString& reason)> handler) {
        lost_ = std::move(handler);
    }
    void OnLogout() override;
    void OnQuotesStatusChange(std::int32_t status) override;

private:
    // The login itself; why not when the broker refuses or cannot be reached.
    Result<void> login();

    BrokerSessionFactory factory_;
    std::function<MessagePresenter&()> messages_;
    std::unique_ptr<broker::BrokerSession> session_;
    std::int32_t status_ = kAbgemeldet;
    bool bound_ = false;
    std::function<void(const QString&)> lost_;
};

}  // namespace vqs
