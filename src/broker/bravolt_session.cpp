#include "broker/bravolt_session.h"

#include "common/ui_ports.h"

namespace vqs {

BravoltSession::BravoltSession(BrokerSessionFactory factory,
                               std::function<MessagePresenter&()> messages)
    : factory_(std::move(factory)), messages_(std::move(messages)) {}

BravoltSession::~BravoltSession() {
    if (!session_) return;
    try {
        if (bound_) session_->removeListener(this);
        session_->logout();
    } catch (const std::exception&) {
    }
}

bool BravoltSession::InitSession() {
    if (status_ == kAngemeldet) return true;
    const Result<void> loggedIn = login();
    // Without a reason the caller tells of it (it offers to start without a connection).
    if (loggedIn.code() == kRefused)
        messages_().ShowMessage(
            QStringLiteral("Fehler beim Login aufgetreten: ") + loggedIn.error().text, msg::kOk);
    return loggedIn.ok();
}

Result<void> BravoltSession::login() {
    std::unique_ptr<broker::BrokerSession> session;
    try {
        if (!factory_) throw broker::BrokerError(QStringLiteral("Keine Bravolt-API vorhanden."));
        session = factory_();
        if (!session) throw broker::BrokerError(QStringLiteral("Keine Bravolt-API vorhanden."));
        session->LoginWithAddOnName(QStringLiteral("Tradomir VQS"));
    } catch (const VqsError& e) {
        return Error{kRefused, e.message()};
    }
    session_ = std::move(session);
    if (session_->isLoggedIn()) {
        status_ = kAngemeldet;
        session_->addListener(this);
        bound_ = true;
    }
    if (status_ == kAngemeldet) return {};
    return Error{kNotAccepted, QStringLiteral("Die Anmeldung wurde nicht angenommen.")};
}

Result<void> BravoltSession::reconnect() {
    dropSession();
    return login();
}

void BravoltSession::dropSession() {
    if (session_) {
        try {
            if (bound_) session_->removeListener(this);
            session_->logout();
        } catch (const std::exception&) {
        }
    }
    bound_ = false;
    session_.reset();
    status_ = kAbgemeldet;
}

void BravoltSession::OnLogout() {
    status_ = kAbgemeldet;  // the broker ended it: nothing can be asked of it any more
    if (lost_) lost_(QStringLiteral("Abmeldung durch die Bravolt-API"));
}

void BravoltSession::OnQuotesStatusChange(std::int32_t status) {
    if (status != broker::kKurseLaufen && lost_)
        lost_(QStringLiteral("Kursversorgung unterbrochen (Status %1)").arg(status));
}

void BravoltSession::CloseSession() {
    if (session_) {
        if (bound_) session_->removeListener(this);
        bound_ = false;
        QString error;
        bool stillLoggedIn = false;
        try {
            session_->logout();
        } catch (const VqsError& e) {
            error = e.message();
        }
        try {
            stillLoggedIn = session_->isLoggedIn();
        } catch (const VqsError&) {
        }
        if (stillLoggedIn) {
            QString text = QStringLiteral(
                "Hinweis: Die Verbindung mit Bravolt konnte nicht ordnungsgemäß beendet werden.");
            if (!error.isEmpty()) text += QStringLiteral(" Fehler: ") + error;
            messages_().ShowMessage(text, msg::kOk);
        }
    }
    session_.reset();
    status_ = kAbgemeldet;
}

}  // namespace vqs
