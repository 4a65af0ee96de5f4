#pragma once

#include "fix/market_data.h"

#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace vqs {
namespace fix {

// The server side of a FIX 4.4 quote session over QuickFIX. Sessions are named by a key (the
// QuickFIX session id as text) that the send calls take back.
//
// QuickFIX 1.15 knows no dynamic sessions: an acceptor serves the counterparties configured
// before it starts, so `clientCompIds` names every SenderCompID a client may log on with.
//
// Every callback runs on QuickFIX's own thread; the send calls may be made from any thread.
// No message log is kept (the Logon carries the password); session events go to onEvent with
// a password a text might quote blotted out.
class Acceptor {
public:
    struct Settings {
        int port = 0;  // 0: a free port, see port()
        std::string compId;
        std::vector<std::string> clientCompIds;
        std::string storeDir;  // the FileStore's folder; created when missing
        // TLS with this certificate and key (PEM); empty: plain TCP.
        std::string tlsCertFile;
        std::string tlsKeyFile;
    };
    struct MarketDataRequest {
        std::string reqId;
        std::string symbol;
        std::string exchange;
        bool subscribe = true;  // false: the subscription of reqId ends
    };
    struct Callbacks {
        // Asked for every Logon: an empty answer accepts it, any other text refuses it (the
        // client's Logout carries that text).
        std::function<std::string(const std::string& session, const std::string& user,
                                  const std::string& password)>
            checkLogon;
        std::function<void(const std::string& session, const std::string& user)> onLogon;
        std::function<void(const std::string& session)> onLogout;
        std::function<void(const std::string& session, const MarketDataRequest&)>
            onMarketDataRequest;
        std::function<void(const std::string& session, const std::string& reqId,
                           const SecurityListQuery&)>
            onSecurityListRequest;
        std::function<void(const std::string& text)> onEvent;
    };

    Acceptor(Settings settings, Callbacks callbacks);
    ~Acceptor();  // stops
    Acceptor(const Acceptor&) = delete;
    Acceptor& operator=(const Acceptor&) = delete;

    // Listens in the background; throws Error when the settings or the port are refused.
    void start();
    void stop();
    int port() const;  // the port it listens on (the free one it chose for port 0)

    // Each returns false when the session is not there or not logged on.
    bool sendSnapshot(const std::string& session, const MarketDataEvent& event);
    // The updates of many instruments in one MarketDataIncrementalRefresh: each entry names its
    // instrument; MDReqID only when all come from one request.
    bool sendIncrements(const std::string& session, const std::vector<MarketDataEvent>& events);
    bool sendMarketDataReject(const std::string& session, const std::string& reqId,
                              const std::string& text);
    // Sent in fragments of a few hundred instruments, the last marked as such.
    bool sendSecurityList(const std::string& session, const std::string& reqId,
                          const std::vector<Security>& securities);
    // A SecurityList that answers the request with an error: SecurityRequestResult 2 (no
    // instruments match) and the text.
    bool sendSecurityListRefusal(const std::string& session, const std::string& reqId,
                                 const std::string& text);
    bool logout(const std::string& session, const std::string& text);

private:
    struct Impl;
    std::unique_ptr<Impl> impl_;
};

}  // namespace fix
}  // namespace vqs
