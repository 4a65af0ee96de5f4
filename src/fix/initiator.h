#pragma once

#include "fix/market_data.h"

#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace vqs {
namespace fix {

// The client side of a FIX 4.4 quote session over QuickFIX: logon with user name and password,
// market data subscriptions (snapshot plus updates, top of book) and security lists.
//
// Every callback runs on QuickFIX's own thread, never on the caller's: a callback must hand its
// work over to its owner's thread and must not call stop() itself. While the initiator runs,
// QuickFIX reconnects by itself every `reconnectSeconds` after a lost or refused connection.
//
// QuickFIX keeps no message log here: the Logon carries the password (554), so nothing of the
// messages is written anywhere. Its session events (connects, disconnects, faults) go to
// onEvent, with a password a text might quote blotted out.
class Initiator {
public:
    struct Settings {
        std::string host = "127.0.0.1";
        int port = 0;
        std::string senderCompId;
        std::string targetCompId;
        std::string username;
        std::string password;
        bool tls = false;
        // With TLS: the authorities (PEM) the server's certificate must come from; empty: the
        // system's (/etc/ssl/certs).
        std::string caFile;
        int tlsCheckTimeoutMs = 10000;
        int heartbeatSeconds = 30;
        int reconnectSeconds = 30;
        // Where QuickFIX keeps the sequence numbers (FileStore); created when missing.
        std::string storeDir;
    };
    struct Callbacks {
        std::function<void()> onLogon;
        // The session ended: logged out by either side, refused (the server's text), or the
        // connection was lost (empty text).
        std::function<void(const std::string& text)> onLogout;
        std::function<void(const MarketDataEvent&)> onMarketData;
        std::function<void(const std::string& reqId, const std::string& text)> onMarketDataReject;
        std::function<void(const std::string& reqId, const std::vector<Security>&)> onSecurityList;
        // The server answered a security list request with an error (SecurityRequestResult
        // other than 0): its Text (58), or a description of the result code.
        std::function<void(const std::string& reqId, const std::string& text)>
            onSecurityListRefused;
        std::function<void(const std::string& text)> onEvent;
    };

    Initiator(Settings settings, Callbacks callbacks);
    ~Initiator();  // stops
    Initiator(const Initiator&) = delete;
    Initiator& operator=(const Initiator&) = delete;

    // Connects and logs on in the background; throws Error when the settings are refused or,
    // with TLS, the server's certificate is (checked first, in the foreground).
    void start();
    // Logs out (waiting for the answer two seconds at most) and disconnects.
    void stop();
    bool isLoggedOn() const;

    // Each returns false when the session is not logged on (nothing was sent).
    // MarketDataRequest (35=V): snapshot plus updates of bid, offer and trade, market depth 1.
    bool subscribe(const std::string& reqId, const std::string& symbol,
                   const std::string& exchange);
    bool unsubscribe(const std::string& reqId);
    bool requestSecurityList(const std::string& reqId, const SecurityListQuery& query);

private:
    struct Impl;
    std::unique_ptr<Impl> impl_;
};

}  // namespace fix
}  // namespace vqs
