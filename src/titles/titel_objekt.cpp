#include "titles/titel_objekt.h"

#include <cmath>
#include <limits>

namespace vqs {
namespace {

double dayFraction(int hour, int minute, int second, int millisecond) {
    return (((millisecond * 0.001 + second) / 60 + minute) / 60 + hour) / 24;
}

}  // namespace

std::optional<double> Tageszeit(const broker::TimeObject& time) {
    if (time.hour < 0 || time.hour > 23 || time.minute < 0 || time.minute > 59 || time.second < 0 ||
        time.second > 59 || time.millisecond < 0 || time.millisecond > 999)
        return std::nullopt;
    return dayFraction(time.hour, time.minute, time.second, time.millisecond);
}

TitelObjekt::TitelObjekt(BravoltSession& session, TickSink& sink, const Clock& clock)
    : session_(session), sink_(sink), clock_(clock) {}

TitelObjekt::~TitelObjekt() {
    if (!realtimeSubscription_) return;
    try {
        realtimeSubscription_->setListener(nullptr);
        realtimeSubscription_->stop();
    } catch (const std::exception&) {
    }
}

bool TitelObjekt::InitSubscription(const QString& symbol, const QString& exchange) {
    RT_WKN = symbol;
    RT_Boerse = exchange;
    id_ = TitelId(RT_WKN, RT_Boerse);
    if (realtimeSubscription_) {
        aktiv_ = true;
        return true;
    }
    broker::BrokerSession* session = session_.SF();
    if (!session) throw broker::BrokerError(QStringLiteral("Keine Verbindung zur Bravolt-API."));
    realtimeSubscription_ = session->subscribe({RT_WKN, RT_Boerse});
    if (!realtimeSubscription_) return false;
    realtimeSubscription_->setListener(this);
    aktiv_ = true;
    return true;
}

void TitelObjekt::startFrom(const TitelDef& def) {
    auto prime = [&](Kursart kind, Last& last) {
        const std::optional<KursSatz> satz = sink_.lastRecorded(def, kind);
        if (!satz || !std::isfinite(satz->Zeit)) return;
        // The time of day as the broker's fields would give it, to the millisecond, so that
        // the comparison with the next update's time is exact.
        const double fraction = satz->Zeit - std::floor(satz->Zeit);
        const auto ms = static_cast<int>(std::min(std::llround(fraction * kMillisecondsPerDay),
                                                  static_cast<long long>(86399999)));
        last.zeit = dayFraction(ms / 3600000, ms / 60000 % 60, ms / 1000 % 60, ms % 1000);
        last.volume = satz->Volume;
    };
    prime(kBezahlt, bezahlt_);
    if (UseBidAsk) {
        prime(kGeld, geld_);
        prime(kBrief, brief_);
    }
}

namespace {

// A group's tick as far as the broker's data can be trusted.
struct GroupTick {
    double t;     // time of day, for change detection and freshness
    double zeit;  // the time text as a date/time value
    float kurs;
    float volume;
};

std::optional<GroupTick> readGroup(const broker::QuoteGroup& g) {
    constexpr double kFloatMax = std::numeric_limits<float>::max();
    std::optional<double> t = Tageszeit(g.time);
    std::optional<double> zeit = serialFromTimeText(g.time.text);
    if (!t || !zeit || !std::isfinite(g.price) || std::fabs(g.price) > kFloatMax)
        return std::nullopt;
    if (g.volumePresent && (!std::isfinite(g.volume) || g.volume < 0 || g.volume > kFloatMax))
        return std::nullopt;
    return GroupTick{*t, *zeit, static_cast<float>(g.price),
                     g.volumePresent ? static_cast<float>(g.volume) : 0.0f};
}

}  // namespace

void TitelObjekt::handleGroup(const broker::QuoteGroup& group, Last& last, Kursart kind,
                              bool freshness) {
    if (!group.present) return;
    std::optional<GroupTick> g = readGroup(group);
    if (!g) return;  // unusable broker data yields no tick and changes nothing
    if (freshness && !initialisiert_) {
        constexpr double kOneSecond = 0.000694444444444442 / 60;
        if (std::fabs(clock_.timeOfDayFraction() - g->t) < kOneSecond) initialisiert_ = true;
    }
    if (!group.volumePresent) {
        if (g->t == last.zeit) return;
        last.zeit = g->t;
    } else {
        if (g->volume == last.volume && g->t == last.zeit) return;
        last.volume = g->volume;
        last.zeit = g->t;
    }
    if (initialisiert_) sink_.tick(id_, kind, g->kurs, g->volume, g->zeit);
}

void TitelObjekt::RealtimeSubscription_OnQuoteUpdate(const broker::Quote& quote,
                                                     const broker::QuoteSource& /*source*/,
                                                     const QString& /*text*/) {
    if (!aktiv_) return;
    sink_.quoteArrived(quote.readyAtMs);
    handleGroup(quote.paid, bezahlt_, kBezahlt, true);
    if (UseBidAsk) {
        handleGroup(quote.bid, geld_, kGeld, false);
        handleGroup(quote.ask, brief_, kBrief, false);
    }
    initialisiert_ = true;
}

void TitelObjekt::onSubscriptionRefused(const QString& reason) {
    // Ended on the source's side. Kept until this object goes: the call comes from within it.
    refusedSubscription_ = std::move(realtimeSubscription_);
    aktiv_ = false;
    sink_.subscriptionRefused(id_, reason);
}

}  // namespace vqs
