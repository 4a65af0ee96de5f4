#include "fix/initiator.h"

#include "fix/quickfix_support.h"

#include <quickfix/Application.h>
#include <quickfix/FileStore.h>
#include <quickfix/SSLSocketInitiator.h>
#include <quickfix/SessionSettings.h>
#include <quickfix/SocketInitiator.h>
#include <quickfix/fix44/MarketDataRequest.h>
#include <quickfix/fix44/SecurityListRequest.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <map>
#include <mutex>

namespace vqs {
namespace fix {

namespace {

// QuickFIX's acceptor puts this before the text of a refused logon.
const std::string kRejectedLogonPrefix = "Rejected Logon Attempt: ";

struct Subscribed {
    std::string symbol;
    std::string exchange;
};

}  // namespace

struct Initiator::Impl final : FIX::Application {
    Impl(Settings s, Callbacks c)
        : settings(std::move(s)),
          callbacks(std::move(c)),
          sessionId(kBeginString, settings.senderCompId, settings.targetCompId),
          events(callbacks.onEvent) {}

    // FIX::Application (QuickFIX's thread)
    void onCreate(const FIX::SessionID&) override {}
    void onLogon(const FIX::SessionID&) override {
        loggedOn = true;
        if (callbacks.onLogon) callbacks.onLogon();
    }
    void onLogout(const FIX::SessionID&) override {
        {
            std::lock_guard<std::mutex> lock(mutex);
            loggedOn = false;
        }
        loggedOut.notify_all();
        std::string text;
        {
            std::lock_guard<std::mutex> lock(mutex);
            text.swap(logoutText);
            subscriptions.clear();
            securityLists.clear();
        }
        if (text.compare(0, kRejectedLogonPrefix.size(), kRejectedLogonPrefix) == 0)
            text.erase(0, kRejectedLogonPrefix.size());
        if (callbacks.onLogout) callbacks.onLogout(text);
    }
    void toAdmin(FIX::Message& message, const FIX::SessionID&) override {
        if (messageType(message) != FIX::MsgType_Logon) return;
        // An empty field is no valid FIX: the counterparty would drop the whole Logon.
        if (!settings.username.empty()) message.setField(FIX::Username(settings.username));
        if (!settings.password.empty()) message.setField(FIX::Password(settings.password));
    }
    void toApp(FIX::Message&, const FIX::SessionID&) throw(FIX::DoNotSend) override {}
    void fromAdmin(const FIX::Message& message,
                   const FIX::SessionID&) throw(FIX::FieldNotFound, FIX::IncorrectDataFormat,
                                                FIX::IncorrectTagValue, FIX::RejectLogon) override {
        if (messageType(message) != FIX::MsgType_Logout) return;
        std::lock_guard<std::mutex> lock(mutex);
        logoutText = fieldOr(message, FIX::FIELD::Text);
    }
    void fromApp(const FIX::Message& message,
                 const FIX::SessionID&) throw(FIX::FieldNotFound, FIX::IncorrectDataFormat,
                                              FIX::IncorrectTagValue,
                                              FIX::UnsupportedMessageType) override {
        const std::string type = messageType(message);
        if (type == FIX::MsgType_MarketDataSnapshotFullRefresh)
            snapshot(message);
        else if (type == FIX::MsgType_MarketDataIncrementalRefresh)
            increment(message);
        else if (type == FIX::MsgType_MarketDataRequestReject)
            reject(message);
        else if (type == FIX::MsgType_SecurityList)
            securityList(message);
        else
            throw FIX::UnsupportedMessageType();
    }

    void snapshot(const FIX::Message& message) {
        MarketDataEvent event;
        event.snapshot = true;
        event.reqId = fieldOr(message, FIX::FIELD::MDReqID);
        event.symbol = fieldOr(message, FIX::FIELD::Symbol);
        event.exchange = fieldOr(message, FIX::FIELD::SecurityExchange);
        const size_t count = message.groupCount(FIX::FIELD::NoMDEntries);
        for (size_t i = 1; i <= count; ++i) {
            MarketDataEntry entry;
            if (readEntry(message.getGroupRef(static_cast<int>(i), FIX::FIELD::NoMDEntries), entry))
                event.entries.push_back(entry);
        }
        if (callbacks.onMarketData) callbacks.onMarketData(event);
    }

    // One event per instrument, in the order of the message's entries.
    void increment(const FIX::Message& message) {
        const std::string reqId = fieldOr(message, FIX::FIELD::MDReqID);
        std::vector<MarketDataEvent> out;
        const size_t count = message.groupCount(FIX::FIELD::NoMDEntries);
        for (size_t i = 1; i <= count; ++i) {
            const FIX::FieldMap& group =
                message.getGroupRef(static_cast<int>(i), FIX::FIELD::NoMDEntries);
            MarketDataEntry entry;
            if (!readEntry(group, entry)) continue;
            const std::string symbol = fieldOr(group, FIX::FIELD::Symbol);
            const std::string exchange = fieldOr(group, FIX::FIELD::SecurityExchange);
            if (out.empty() || out.back().symbol != symbol || out.back().exchange != exchange) {
                out.emplace_back();
                out.back().reqId = reqId;
                out.back().symbol = symbol;
                out.back().exchange = exchange;
            }
            out.back().entries.push_back(entry);
        }
        if (callbacks.onMarketData)
            for (const MarketDataEvent& event : out) callbacks.onMarketData(event);
    }

    void reject(const FIX::Message& message) {
        const std::string reqId = fieldOr(message, FIX::FIELD::MDReqID);
        {
            std::lock_guard<std::mutex> lock(mutex);
            subscriptions.erase(reqId);
        }
        if (callbacks.onMarketDataReject)
            callbacks.onMarketDataReject(reqId, fieldOr(message, FIX::FIELD::Text));
    }

    // A list may come in fragments: it is handed over whole, after its last one.
    void securityList(const FIX::Message& message) {
        const std::string reqId = fieldOr(message, FIX::FIELD::SecurityReqID);
        const std::string result = fieldOr(message, FIX::FIELD::SecurityRequestResult, "0");
        if (result != "0") {
            {
                std::lock_guard<std::mutex> lock(mutex);
                securityLists.erase(reqId);
            }
            std::string text = fieldOr(message, FIX::FIELD::Text);
            if (text.empty()) text = "SecurityRequestResult " + result;
            if (callbacks.onSecurityListRefused) callbacks.onSecurityListRefused(reqId, text);
            return;
        }
        std::vector<Security> whole;
        {
            std::lock_guard<std::mutex> lock(mutex);
            std::vector<Security>& list = securityLists[reqId];
            const size_t count = message.groupCount(FIX::FIELD::NoRelatedSym);
            for (size_t i = 1; i <= count; ++i) {
                const FIX::FieldMap& group =
                    message.getGroupRef(static_cast<int>(i), FIX::FIELD::NoRelatedSym);
                list.push_back({fieldOr(group, FIX::FIELD::Symbol),
                                fieldOr(group, FIX::FIELD::SecurityDesc),
                                fieldOr(group, FIX::FIELD::SecurityExchange),
                                fieldOr(group, FIX::FIELD::SecurityType)});
            }
            if (fieldOr(message, FIX::FIELD::LastFragment, "Y") != "Y") return;
            whole.swap(list);
            securityLists.erase(reqId);
        }
        if (callbacks.onSecurityList) callbacks.onSecurityList(reqId, whole);
    }

    bool send(FIX::Message& message) {
        if (!loggedOn) return false;
        try {
            return FIX::Session::sendToTarget(message, sessionId);
        } catch (const FIX::SessionNotFound&) {
            return false;
        }
    }

    bool marketDataRequest(const std::string& reqId, const Subscribed& what, char type) {
        FIX44::MarketDataRequest request{FIX::MDReqID{reqId}, FIX::SubscriptionRequestType{type},
                                         FIX::MarketDepth{1}};
        request.set(FIX::MDUpdateType(FIX::MDUpdateType_INCREMENTAL_REFRESH));
        for (char entryType :
             {FIX::MDEntryType_BID, FIX::MDEntryType_OFFER, FIX::MDEntryType_TRADE}) {
            FIX44::MarketDataRequest::NoMDEntryTypes group;
            group.set(FIX::MDEntryType(entryType));
            request.addGroup(group);
        }
        FIX44::MarketDataRequest::NoRelatedSym symbol;
        symbol.set(FIX::Symbol(what.symbol));
        symbol.set(FIX::SecurityExchange(what.exchange));
        request.addGroup(symbol);
        return send(request);
    }

    const Settings settings;
    const Callbacks callbacks;
    const FIX::SessionID sessionId;
    EventLogFactory events;
    std::unique_ptr<FIX::FileStoreFactory> store;
    std::unique_ptr<FIX::Initiator> initiator;  // plain or TLS
    std::atomic<bool> loggedOn{false};

    std::mutex mutex;
    std::condition_variable loggedOut;
    std::string logoutText;
    std::map<std::string, Subscribed> subscriptions;
    std::map<std::string, std::vector<Security>> securityLists;
};

Initiator::Initiator(Settings settings, Callbacks callbacks)
    : impl_(new Impl(std::move(settings), std::move(callbacks))) {}

Initiator::~Initiator() { stop(); }

void Initiator::start() {
    if (impl_->initiator) return;
    const Settings& s = impl_->settings;
    makeFolder(s.storeDir);
    if (s.tls) checkTlsServer(s.host, s.port, s.caFile, s.tlsCheckTimeoutMs);
    try {
        FIX::Dictionary session = commonSessionSettings("initiator", s.storeDir);
        session.setString(FIX::SOCKET_CONNECT_HOST, s.host);
        session.setInt(FIX::SOCKET_CONNECT_PORT, s.port);
        session.setInt(FIX::HEARTBTINT, s.heartbeatSeconds);
        session.setInt(FIX::RECONNECT_INTERVAL, s.reconnectSeconds);
        FIX::SessionSettings settings;
        if (s.tls) {
            // The server's certificate is checked against the given authorities, or the
            // system's.
            FIX::Dictionary tls = tlsSettings();
            if (!s.caFile.empty())
                tls.setString(FIX::CERT_AUTH_FILE, s.caFile);
            else
                tls.setString(FIX::CERT_AUTH_DIR, "/etc/ssl/certs");
            settings.set(tls);
            session.merge(tls);
        }
        settings.set(impl_->sessionId, session);
        impl_->store.reset(new FIX::FileStoreFactory(s.storeDir));
        if (s.tls)
            impl_->initiator.reset(
                new FIX::SSLSocketInitiator(*impl_, *impl_->store, settings, impl_->events));
        else
            impl_->initiator.reset(
                new FIX::SocketInitiator(*impl_, *impl_->store, settings, impl_->events));
        if (FIX::Session* session = impl_->initiator->getSession(impl_->sessionId))
            session->setDataDictionaryProvider(groupsDictionary());
        impl_->initiator->start();
    } catch (const FIX::Exception& e) {
        impl_->initiator.reset();
        throw Error(e.what());
    }
}

void Initiator::stop() {
    if (!impl_->initiator) return;
    // QuickFIX's own stop waits up to ten seconds for the counterparty's Logout, which may be
    // queued behind a backlog of quotes: a second, then the connection is closed anyway (the
    // program has five seconds to end).
    if (FIX::Session* session = impl_->initiator->getSession(impl_->sessionId)) {
        session->logout();
        std::unique_lock<std::mutex> lock(impl_->mutex);
        impl_->loggedOut.wait_for(lock, std::chrono::seconds(1), [&] { return !impl_->loggedOn; });
    }
    impl_->initiator->stop(true);
    impl_->initiator.reset();
    impl_->loggedOn = false;
}

bool Initiator::isLoggedOn() const { return impl_->loggedOn; }

bool Initiator::subscribe(const std::string& reqId, const std::string& symbol,
                          const std::string& exchange) {
    const Subscribed what{symbol, exchange};
    {
        std::lock_guard<std::mutex> lock(impl_->mutex);
        impl_->subscriptions[reqId] = what;
    }
    if (impl_->marketDataRequest(reqId, what, FIX::SubscriptionRequestType_SNAPSHOT_PLUS_UPDATES))
        return true;
    std::lock_guard<std::mutex> lock(impl_->mutex);
    impl_->subscriptions.erase(reqId);
    return false;
}

bool Initiator::unsubscribe(const std::string& reqId) {
    Subscribed what;
    {
        std::lock_guard<std::mutex> lock(impl_->mutex);
        auto found = impl_->subscriptions.find(reqId);
        if (found == impl_->subscriptions.end()) return false;
        what = found->second;
        impl_->subscriptions.erase(found);
    }
    return impl_->marketDataRequest(
        reqId, what, FIX::SubscriptionRequestType_DISABLE_PREVIOUS_SNAPSHOT_PLUS_UPDATE_REQUEST);
}

bool Initiator::requestSecurityList(const std::string& reqId, const SecurityListQuery& query) {
    FIX44::SecurityListRequest request{
        FIX::SecurityReqID{reqId},
        FIX::SecurityListRequestType{query.catalogue.empty()
                                         ? FIX::SecurityListRequestType_ALL_SECURITIES
                                         : FIX::SecurityListRequestType_TRADINGSESSIONID}};
    if (!query.catalogue.empty()) request.set(FIX::TradingSessionID(query.catalogue));
    if (!query.term.empty()) request.set(FIX::Text(query.term));
    if (!query.type.empty()) request.set(FIX::SecurityType(query.type));
    return impl_->send(request);
}

}  // namespace fix
}  // namespace vqs
