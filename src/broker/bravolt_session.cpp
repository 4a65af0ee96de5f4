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
    QString error;
    const bool ok = login(error);
    if (!ok && !error.isEmpty())
        messages_().ShowMessage(QStringLiteral("Fehler beim Login aufgetreten: ") + error,
                                msg::kOk);
    return ok;
}

bool BravoltSession::login(QString& error) {
    std::unique_ptr<broker::BrokerSession> session;
    try {
        if (!factory_) throw broker::BrokerError(QStringLiteral("Keine Bravolt-API vorhanden."));
        session = factory_();
        if (!session) throw broker::BrokerError(QStringLiteral("Keine Bravolt-API vorhanden."));
        session->LoginWithAddOnName(QStringLiteral("Tradomir VQS"));
    } catch (const VqsError& e) {
        error = e.message();
        return false;
    }
    session_ = std::move(session);
    if (session_->isLoggedIn()) {
        status_ = kAngemeldet;
        session_->addListener(this);
        bound_ = true;
    }
    return status_ == kAngemeldet;
}

bool BravoltSession::reconnect(QString& error) {
    dropSession();
    if (login(error)) return true;
    if (error.isEmpty()) error = QStringLiteral("Die Anmeldung wurde nicht angenommen.");
    return false;
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
