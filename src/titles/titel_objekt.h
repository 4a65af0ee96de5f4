#pragma once

#include "broker/bravolt_session.h"
#include "broker/trading_api.h"
#include "common/kursart.h"
#include "common/serial_date.h"
#include "datafiles/datei_kopf.h"
#include "model/titel_def.h"

#include <QString>

#include <memory>
#include <optional>

namespace vqs {

// The time of day of a broker time object as a fraction of a day; none when a field is out of
// range (broker data is not trusted).
std::optional<double> Tageszeit(const broker::TimeObject& time);

// Where the ticks of title objects go: the routines of the quote kinds in the recording core.
class TickSink {
public:
    virtual ~TickSink() = default;
    // A tick that passed change detection.
    virtual void tick(const TitelId& id, Kursart kind, float kurs, float volume, double zeit) = 0;
    // The last record already in the title's file of this kind: change detection starts there.
    virtual std::optional<KursSatz> lastRecorded(const TitelDef& def, Kursart kind) = 0;
    // The title records no more: what was wrong with its files is no longer news.
    virtual void stoppedRecording(const TitelDef& /*def*/) {}
    // A quote update reached a recording title, changed or not: the feed is alive. `readyAtMs`
    // is when the quote source had it (ms since the epoch; 0: not known).
    virtual void quoteArrived(qint64 /*readyAtMs*/) {}
    // The quote source refused the title's subscription after it was made: it is not recorded.
    virtual void subscriptionRefused(const TitelId& /*id*/, const QString& /*reason*/) {}
};

// One recorded title: holds the broker's realtime subscription, remembers the last quote of
// each kind, and turns quote updates into ticks.
class TitelObjekt final : public broker::QuoteListener {
public:
    TitelObjekt(BravoltSession& session, TickSink& sink, const Clock& clock);
    ~TitelObjekt() override;
    TitelObjekt(const TitelObjekt&) = delete;
    TitelObjekt& operator=(const TitelObjekt&) = delete;

    QString RT_WKN;
    QString RT_Boerse;
    bool UseBidAsk = false;

    // Updates are ignored from now on; the subscription stays open.
    void ClearSubscription() { aktiv_ = false; }
    const TitelId& Key() const { return id_; }
    // Subscribes (once) and activates; false when the broker refuses the instrument. Throws
    // BrokerError when there is no logged-in session or the broker fails.
    bool InitSubscription(const QString& symbol, const QString& exchange);
    // Change detection starts from what the title's files already end with, so that the stale
    // snapshot the broker sends after subscribing never repeats the last record of a file.
    void startFrom(const TitelDef& def);

    void RealtimeSubscription_OnQuoteUpdate(const broker::Quote& quote,
                                            const broker::QuoteSource& source, const QString& text);
    void OnQuoteUpdate(const broker::Quote& quote, const broker::QuoteSource& source,
                       const QString& text) override {
        RealtimeSubscription_OnQuoteUpdate(quote, source, text);
    }
    void onSubscriptionRefused(const QString& reason) override;

    bool isActive() const { return aktiv_; }
    bool isSubscribed() const { return realtimeSubscription_ != nullptr; }
    bool isInitialized() const { return initialisiert_; }

private:
    struct Last {
        double zeit = 0;  // time of day of the last handled group
        float volume = 0;
    };
    void handleGroup(const broker::QuoteGroup& group, Last& last, Kursart kind, bool freshness);

    BravoltSession& session_;
    TickSink& sink_;
    const Clock& clock_;
    Last bezahlt_, geld_, brief_;
    bool initialisiert_ = false;
    bool aktiv_ = false;
    std::unique_ptr<broker::Subscription> realtimeSubscription_;
    std::unique_ptr<broker::Subscription> refusedSubscription_;
    TitelId id_;  // made once, not per tick
};

}  // namespace vqs
