#include "broker/bravolt_session.h"

#include "common/ui_ports.h"

namespace vqs {

clBravoltSession::clBravoltSession(BrokerSessionFactory factory,
                                   std::function<MessagePresenter&()> messages)
    : factory_(std::move(factory)), messages_(std::move(messages)) {}

clBravoltSession::~clBravoltSession() {
    if (!m_Session) return;
    try {
        if (bound_) m_Session->removeListener(this);
        m_Session->logout();
    } catch (const std::exception&) {
    }
}

bool clBravoltSession::InitSession() {
    if (m_Status == kAngemeldet) return true;
    QString error;
    const bool ok = login(error);
    if (!ok && !error.isEmpty())
        messages_().ShowMessage(QStringLiteral("Fehler beim Login aufgetreten: ") + error,
                                msg::kOk);
    return ok;
}

bool clBravoltSession::login(QString& error) {
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
    m_Session = std::move(session);
    if (m_Session->isLoggedIn()) {
        m_Status = kAngemeldet;
        m_Session->addListener(this);
        bound_ = true;
    }
    return m_Status == kAngemeldet;
}

bool clBravoltSession::reconnect(QString& error) {
    dropSession();
    if (login(error)) return true;
    if (error.isEmpty()) error = QStringLiteral("Die Anmeldung wurde nicht angenommen.");
    return false;
}

void clBravoltSession::dropSession() {
    if (m_Session) {
        try {
            if (bound_) m_Session->removeListener(this);
            m_Session->logout();
        } catch (const std::exception&) {
        }
    }
    bound_ = false;
    m_Session.reset();
    m_Status = kAbgemeldet;
}

void clBravoltSession::OnLogout() {
    m_Status = kAbgemeldet;  // the broker ended it: nothing can be asked of it any more
    if (lost_) lost_(QStringLiteral("Abmeldung durch die Bravolt-API"));
}

void clBravoltSession::OnQuotesStatusChange(std::int32_t status) {
    if (status != broker::kKurseLaufen && lost_)
        lost_(QStringLiteral("Kursversorgung unterbrochen (Status %1)").arg(status));
}

void clBravoltSession::CloseSession() {
    if (m_Session) {
        if (bound_) m_Session->removeListener(this);
        bound_ = false;
        QString error;
        bool stillLoggedIn = false;
        try {
            m_Session->logout();
        } catch (const VqsError& e) {
            error = e.message();
        }
        try {
            stillLoggedIn = m_Session->isLoggedIn();
        } catch (const VqsError&) {
        }
        if (stillLoggedIn) {
            QString text = QStringLiteral(
                "Hinweis: Die Verbindung mit Bravolt konnte nicht ordnungsgemäß beendet werden.");
            if (!error.isEmpty()) text += QStringLiteral(" Fehler: ") + error;
            messages_().ShowMessage(text, msg::kOk);
        }
    }
    m_Session.reset();
    m_Status = kAbgemeldet;
}

}  // namespace vqs
