#pragma once

#include "broker/trading_api.h"

#include <QString>

#include <memory>

namespace vqs::broker {

// Where the FIX quote source is and who we are to it.
struct FixSourceSettings {
    QString host;
    int port = 0;
    QString senderCompId;
    QString targetCompId;
    QString user;
    QString password;
    bool tls = false;
    // With TLS: the authorities (PEM) the server's certificate must come from; empty: the
    // system's.
    QString caFile;
    int heartbeatSeconds = 30;
    // Where QuickFIX keeps the session's sequence numbers.
    QString storeDir;
    // How long a login or a list may take before it counts as failed.
    int answerTimeoutMs = 15000;
    // Quote messages received but not yet handed to the recording: when this many wait,
    // QuickFIX's thread waits too, and the socket pushes back on the server.
    int queueCapacity = 20000;
};

// A session with a quote source over FIX 4.4 (the fix unit over QuickFIX), behind the Trading
// API: LoginWithAddOnName logs it on. QuickFIX calls back on its own thread; quotes, refusals and
// the session's end reach the listeners on the thread that made the session, through a bounded
// queue, in the order they came. Logins and lists wait for the server's answer
// (answerTimeoutMs at most).
//
// FIX 4.4 has no intraday history: runHistory() refuses, keepsHistory() says so. There is no
// exchange list either: exchanges() are those of the server's instruments.
std::unique_ptr<BrokerSession> makeFixSession(const FixSourceSettings& settings);

}  // namespace vqs::broker
