#pragma once

#include "broker/trading_api.h"
#include "common/kursart.h"
#include "titles/titel_definitionen_datei.h"

#include <QString>

#include <memory>
#include <optional>

namespace vqs {

class AppContext;

// The time of day of a broker time object as a fraction of a day; none when a field is out of
// range (broker data is not trusted).
std::optional<double> Tageszeit(const broker::TimeObject& time);

// One recorded title: holds the broker's realtime subscription, remembers the last quote of
// each kind, and turns quote updates into ticks.
class clTitelObjekt final : public broker::QuoteListener {
public:
    explicit clTitelObjekt(AppContext& ctx);
    ~clTitelObjekt() override;
    clTitelObjekt(const clTitelObjekt&) = delete;
    clTitelObjekt& operator=(const clTitelObjekt&) = delete;

    QString RT_WKN;
    QString RT_Boerse;
    bool UseBidAsk = false;

    // Updates are ignored from now on; the subscription stays open.
    void ClearSubscription() { m_Aktiv = false; }
    QString Key() const { return RT_WKN + QLatin1Char('@') + RT_Boerse; }
    // Subscribes (once) and activates; false when the broker refuses the instrument. Throws
    // BrokerError when there is no logged-in session or the broker fails.
    bool InitSubscription(const QString& symbol, const QString& exchange);

    void RealtimeSubscription_OnQuoteUpdate(const broker::Quote& quote,
                                            const broker::QuoteSource& source, const QString& text);
    void OnQuoteUpdate(const broker::Quote& quote, const broker::QuoteSource& source,
                       const QString& text) override {
        RealtimeSubscription_OnQuoteUpdate(quote, source, text);
    }

    bool isActive() const { return m_Aktiv; }
    bool isSubscribed() const { return RealtimeSubscription != nullptr; }
    bool isInitialized() const { return m_Initialisiert; }

private:
    struct Last {
        double zeit = 0;  // time of day of the last handled group
        float volume = 0;
    };
    void handleGroup(const broker::QuoteGroup& group, Last& last, Kursart kind, bool freshness);

    AppContext& ctx_;
    Last m_Bezahlt, m_Geld, m_Brief;
    bool m_Initialisiert = false;
    bool m_Aktiv = false;
    std::unique_ptr<broker::Subscription> RealtimeSubscription;
    // Key() and "K" + Key() (the key of the title's definition), made once, not per tick.
    QString titelKey_;
    QString definitionKey_;
};

// Loading the definitions creates, subscribes and keeps one title object per active title
// while the session is logged in.
class SubscribeActiveTitles final : public TitelLoadListener {
public:
    explicit SubscribeActiveTitles(AppContext& ctx) : ctx_(ctx) {}
    void replaceTitleObjects() override;
    void activeTitleLoaded(const TitelDef& definition) override;

private:
    AppContext& ctx_;
};

}  // namespace vqs
