#include "fix/acceptor.h"

#include "fix/quickfix_support.h"

#include <quickfix/Application.h>
#include <quickfix/FileStore.h>
#include <quickfix/SSLSocketAcceptor.h>
#include <quickfix/SessionSettings.h>
#include <quickfix/SocketAcceptor.h>
#include <quickfix/fix44/MarketDataIncrementalRefresh.h>
#include <quickfix/fix44/MarketDataRequestReject.h>
#include <quickfix/fix44/MarketDataSnapshotFullRefresh.h>
#include <quickfix/fix44/SecurityList.h>

#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <map>
#include <mutex>

namespace vqs {
namespace fix {

namespace {

// Instruments per SecurityList message: a whole catalogue in one message would be megabytes.
constexpr size_t kSecuritiesPerFragment = 500;

// A port no one listens on now: the kernel's choice for port 0, released again for QuickFIX
// (which binds it with SO_REUSEADDR right after).
int freePort() {
    const int s = ::socket(AF_INET, SOCK_STREAM, 0);
    if (s < 0) throw Error(std::string("Cannot open a socket: ") + std::strerror(errno));
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_ANY);
    address.sin_port = 0;
    socklen_t length = sizeof address;
    const bool ok = ::bind(s, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0 &&
                    ::getsockname(s, reinterpret_cast<sockaddr*>(&address), &length) == 0;
    const int error = errno;
    ::close(s);
    if (!ok) throw Error(std::string("Cannot find a free port: ") + std::strerror(error));
    return ntohs(address.sin_port);
}

}  // namespace

struct Acceptor::Impl final : FIX::Application {
    Impl(Settings s, Callbacks c)
        : settings(std::move(s)), callbacks(std::move(c)), events(callbacks.onEvent) {}

    // FIX::Application (QuickFIX's thread)
    void onCreate(const FIX::SessionID&) override {}
    void onLogon(const FIX::SessionID& id) override {
        std::string user;
        {
            std::lock_guard<std::mutex> lock(mutex);
            user = users[id.toString()];
        }
        if (callbacks.onLogon) callbacks.onLogon(id.toString(), user);
    }
    void onLogout(const FIX::SessionID& id) override {
        if (callbacks.onLogout) callbacks.onLogout(id.toString());
    }
    void toAdmin(FIX::Message&, const FIX::SessionID&) override {}
    void toApp(FIX::Message&, const FIX::SessionID&) throw(FIX::DoNotSend) override {}
    void fromAdmin(const FIX::Message& message,
                   const FIX::SessionID& id) throw(FIX::FieldNotFound, FIX::IncorrectDataFormat,
                                                   FIX::IncorrectTagValue,
                                                   FIX::RejectLogon) override {
        if (messageType(message) != FIX::MsgType_Logon) return;
        const std::string user = fieldOr(message, FIX::FIELD::Username);
        const std::string password = fieldOr(message, FIX::FIELD::Password);
        const std::string refusal =
            callbacks.checkLogon ? callbacks.checkLogon(id.toString(), user, password) : "";
        if (!refusal.empty()) throw FIX::RejectLogon(refusal);
        std::lock_guard<std::mutex> lock(mutex);
        users[id.toString()] = user;
    }
    void fromApp(const FIX::Message& message,
                 const FIX::SessionID& id) throw(FIX::FieldNotFound, FIX::IncorrectDataFormat,
                                                 FIX::IncorrectTagValue,
                                                 FIX::UnsupportedMessageType) override {
        const std::string type = messageType(message);
        if (type == FIX::MsgType_MarketDataRequest)
            marketDataRequest(message, id.toString());
        else if (type == FIX::MsgType_SecurityListRequest)
            securityListRequest(message, id.toString());
        else
            throw FIX::UnsupportedMessageType();
    }

    // One call per instrument of the request.
    void marketDataRequest(const FIX::Message& message, const std::string& session) {
        MarketDataRequest request;
        request.reqId = fieldOr(message, FIX::FIELD::MDReqID);
        request.subscribe =
            fieldOr(message, FIX::FIELD::SubscriptionRequestType) !=
            std::string(1,
                        FIX::SubscriptionRequestType_DISABLE_PREVIOUS_SNAPSHOT_PLUS_UPDATE_REQUEST);
        const size_t count = message.groupCount(FIX::FIELD::NoRelatedSym);
        if (count == 0 && callbacks.onMarketDataRequest)
            callbacks.onMarketDataRequest(session, request);
        for (size_t i = 1; i <= count; ++i) {
            const FIX::FieldMap& group =
                message.getGroupRef(static_cast<int>(i), FIX::FIELD::NoRelatedSym);
            request.symbol = fieldOr(group, FIX::FIELD::Symbol);
            request.exchange = fieldOr(group, FIX::FIELD::SecurityExchange);
            if (callbacks.onMarketDataRequest) callbacks.onMarketDataRequest(session, request);
        }
    }

    void securityListRequest(const FIX::Message& message, const std::string& session) {
        SecurityListQuery query;
        query.catalogue = fieldOr(message, FIX::FIELD::TradingSessionID);
        query.term = fieldOr(message, FIX::FIELD::Text);
        query.type = fieldOr(message, FIX::FIELD::SecurityType);
        if (callbacks.onSecurityListRequest)
            callbacks.onSecurityListRequest(session, fieldOr(message, FIX::FIELD::SecurityReqID),
                                            query);
    }

    bool send(const std::string& session, FIX::Message& message) {
        FIX::SessionID id;
        id.fromString(session);
        FIX::Session* s = FIX::Session::lookupSession(id);
        if (!s || !s->isLoggedOn()) return false;
        return s->send(message);
    }

    const Settings settings;
    const Callbacks callbacks;
    EventLogFactory events;
    int port = 0;
    std::unique_ptr<FIX::FileStoreFactory> store;
    std::unique_ptr<FIX::Acceptor> acceptor;  // plain or TLS

    std::mutex mutex;
    std::map<std::string, std::string> users;  // session -> the user of its logon
};

Acceptor::Acceptor(Settings settings, Callbacks callbacks)
    : impl_(new Impl(std::move(settings), std::move(callbacks))) {}

Acceptor::~Acceptor() { stop(); }

void Acceptor::start() {
    if (impl_->acceptor) return;
    const Settings& s = impl_->settings;
    if (s.clientCompIds.empty()) throw Error("No client comp id to accept.");
    makeFolder(s.storeDir);
    impl_->port = s.port > 0 ? s.port : freePort();
    try {
        FIX::SessionSettings settings;
        FIX::Dictionary session = commonSessionSettings("acceptor", s.storeDir);
        session.setInt(FIX::SOCKET_ACCEPT_PORT, impl_->port);
        session.setBool(FIX::SOCKET_REUSE_ADDRESS, true);
        const bool tls = !s.tlsCertFile.empty();
        if (tls) {
            FIX::Dictionary t = tlsSettings();
            t.setString(FIX::SERVER_CERT_FILE, s.tlsCertFile);
            t.setString(FIX::SERVER_CERT_KEY_FILE, s.tlsKeyFile);
            t.setInt(FIX::VERIFY_LEVEL, 0);  // clients show no certificate
            settings.set(t);
            session.merge(t);
        }
        for (const std::string& client : s.clientCompIds)
            settings.set(FIX::SessionID(kBeginString, s.compId, client), session);
        impl_->store.reset(new FIX::FileStoreFactory(s.storeDir));
        if (tls)
            impl_->acceptor.reset(
                new FIX::SSLSocketAcceptor(*impl_, *impl_->store, settings, impl_->events));
        else
            impl_->acceptor.reset(
                new FIX::SocketAcceptor(*impl_, *impl_->store, settings, impl_->events));
        for (const FIX::SessionID& id : impl_->acceptor->getSessions())
            if (FIX::Session* session = impl_->acceptor->getSession(id))
                session->setDataDictionaryProvider(groupsDictionary());
        impl_->acceptor->start();
    } catch (const FIX::Exception& e) {
        impl_->acceptor.reset();
        throw Error(e.what());
    }
}

void Acceptor::stop() {
    if (!impl_->acceptor) return;
    impl_->acceptor->stop();
    impl_->acceptor.reset();
}

int Acceptor::port() const { return impl_->port; }

bool Acceptor::sendSnapshot(const std::string& session, const MarketDataEvent& event) {
    FIX44::MarketDataSnapshotFullRefresh message;
    message.set(FIX::MDReqID(event.reqId));
    message.set(FIX::Symbol(event.symbol));
    message.setField(FIX::SecurityExchange(event.exchange));
    for (const MarketDataEntry& entry : event.entries) {
        FIX44::MarketDataSnapshotFullRefresh::NoMDEntries group;
        setEntryValues(group, entry);
        message.addGroup(group);
    }
    return impl_->send(session, message);
}

bool Acceptor::sendIncrements(const std::string& session,
                              const std::vector<MarketDataEvent>& events) {
    if (events.empty()) return true;
    FIX44::MarketDataIncrementalRefresh message;
    const std::string& reqId = events.front().reqId;
    if (std::all_of(events.begin(), events.end(),
                    [&](const MarketDataEvent& e) { return e.reqId == reqId; }))
        message.set(FIX::MDReqID(reqId));
    for (const MarketDataEvent& event : events)
        for (const MarketDataEntry& entry : event.entries) {
            FIX44::MarketDataIncrementalRefresh::NoMDEntries group;
            // Top of book: a bid or offer replaces the one before, a trade is new.
            group.set(FIX::MDUpdateAction(entry.type == EntryType::kTrade
                                              ? FIX::MDUpdateAction_NEW
                                              : FIX::MDUpdateAction_CHANGE));
            group.set(FIX::Symbol(event.symbol));
            group.set(FIX::SecurityExchange(event.exchange));
            setEntryValues(group, entry);
            message.addGroup(group);
        }
    return impl_->send(session, message);
}

bool Acceptor::sendMarketDataReject(const std::string& session, const std::string& reqId,
                                    const std::string& text) {
    FIX44::MarketDataRequestReject message(FIX::MDReqID{reqId});
    message.set(FIX::MDReqRejReason(FIX::MDReqRejReason_UNKNOWN_SYMBOL));
    message.set(FIX::Text(text));
    return impl_->send(session, message);
}

bool Acceptor::sendSecurityList(const std::string& session, const std::string& reqId,
                                const std::vector<Security>& securities) {
    size_t from = 0;
    do {
        const size_t to = std::min(securities.size(), from + kSecuritiesPerFragment);
        FIX44::SecurityList message;
        message.set(FIX::SecurityReqID(reqId));
        message.set(
            FIX::SecurityResponseID(reqId + "-" + std::to_string(from / kSecuritiesPerFragment)));
        message.set(FIX::SecurityRequestResult(FIX::SecurityRequestResult_VALID_REQUEST));
        message.set(FIX::TotNoRelatedSym(static_cast<int>(securities.size())));
        message.set(FIX::LastFragment(to == securities.size()));
        for (size_t i = from; i < to; ++i) {
            const Security& security = securities[i];
            FIX44::SecurityList::NoRelatedSym group;
            group.set(FIX::Symbol(security.symbol));
            group.set(FIX::SecurityDesc(security.name));
            group.set(FIX::SecurityExchange(security.exchange));
            if (!security.type.empty()) group.set(FIX::SecurityType(security.type));
            message.addGroup(group);
        }
        if (!impl_->send(session, message)) return false;
        from = to;
    } while (from < securities.size());
    return true;
}

bool Acceptor::sendSecurityListRefusal(const std::string& session, const std::string& reqId,
                                       const std::string& text) {
    FIX44::SecurityList message;
    message.set(FIX::SecurityReqID(reqId));
    message.set(FIX::SecurityResponseID(reqId + "-0"));
    message.set(FIX::SecurityRequestResult(
        FIX::SecurityRequestResult_NO_INSTRUMENTS_FOUND_THAT_MATCH_SELECTION_CRITERIA));
    message.setField(FIX::Text(text));
    return impl_->send(session, message);
}

bool Acceptor::logout(const std::string& session, const std::string& text) {
    FIX::SessionID id;
    id.fromString(session);
    FIX::Session* s = FIX::Session::lookupSession(id);
    if (!s) return false;
    s->logout(text);
    return true;
}

}  // namespace fix
}  // namespace vqs
