#include "titles/titel_objekt.h"

#include "app/app_context.h"
#include "common/serial_date.h"

#include <cmath>
#include <limits>

namespace vqs {

std::optional<double> Tageszeit(const broker::TimeObject& time) {
    if (time.hour < 0 || time.hour > 23 || time.minute < 0 || time.minute > 59 || time.second < 0 ||
        time.second > 59 || time.millisecond < 0 || time.millisecond > 999)
        return std::nullopt;
    return (((time.millisecond * 0.001 + time.second) / 60 + time.minute) / 60 + time.hour) / 24;
}

clTitelObjekt::clTitelObjekt(AppContext& ctx) : ctx_(ctx) {}

clTitelObjekt::~clTitelObjekt() {
    if (!RealtimeSubscription) return;
    try {
        RealtimeSubscription->setListener(nullptr);
        RealtimeSubscription->stop();
    } catch (const std::exception&) {
    }
}

bool clTitelObjekt::InitSubscription(const QString& symbol, const QString& exchange) {
    RT_WKN = symbol;
    RT_Boerse = exchange;
    titelKey_ = Key();
    definitionKey_ = TitelDef::collectionKey(titelKey_);
    if (RealtimeSubscription) {
        m_Aktiv = true;
        return true;
    }
    broker::BrokerSession* session = ctx_.Session().SF();
    if (!session) throw broker::BrokerError(QStringLiteral("Keine Verbindung zur Bravolt-API."));
    RealtimeSubscription = session->subscribe({RT_WKN, RT_Boerse});
    if (!RealtimeSubscription) return false;
    RealtimeSubscription->setListener(this);
    m_Aktiv = true;
    return true;
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

// The routine of every quote kind (paid, bid and ask differ only in the kind and its filter):
// counts the tick, shows it in the monitor and appends it to the title's data file.
void tick(AppContext& ctx, Kursart kind, const QString& definitionKey, const QString& titelKey,
          const QString& rtWkn, float kurs, float volume, double zeit) {
    const bool filter =
        kind == kBezahlt ? ctx.options.UmsatzFilterBezahlt : ctx.options.UmsatzFilterAndere;
    if (filter && volume == 0) return;
    TitelDef* def = ctx.TitelDefinitionen.find(definitionKey);
    ctx.mainWindow().increaseKursanzahl();
    if (!def) return;  // a title without definition has nowhere to go
    ctx.mainWindow().Protokolleintrag(*def, kind, rtWkn, kurs, volume, zeit);
    ctx.tickWriter().append(*def, kind, titelKey, kurs, volume, zeit);
}

}  // namespace

void clTitelObjekt::handleGroup(const broker::QuoteGroup& group, Last& last, Kursart kind,
                                bool freshness) {
    if (!group.present) return;
    std::optional<GroupTick> g = readGroup(group);
    if (!g) return;  // unusable broker data yields no tick and changes nothing
    if (freshness && !m_Initialisiert) {
        constexpr double kOneSecond = 0.000694444444444442 / 60;
        if (std::fabs(ctx_.clock().timeOfDayFraction() - g->t) < kOneSecond) m_Initialisiert = true;
    }
    if (!group.volumePresent) {
        if (g->t == last.zeit) return;
        last.zeit = g->t;
    } else {
        if (g->volume == last.volume && g->t == last.zeit) return;
        last.volume = g->volume;
        last.zeit = g->t;
    }
    if (m_Initialisiert)
        tick(ctx_, kind, definitionKey_, titelKey_, RT_WKN, g->kurs, g->volume, g->zeit);
}

void clTitelObjekt::RealtimeSubscription_OnQuoteUpdate(const broker::Quote& quote,
                                                       const broker::QuoteSource& /*source*/,
                                                       const QString& /*text*/) {
    if (!m_Aktiv) return;
    handleGroup(quote.paid, m_Bezahlt, kBezahlt, true);
    if (UseBidAsk) {
        handleGroup(quote.bid, m_Geld, kGeld, false);
        handleGroup(quote.ask, m_Brief, kBrief, false);
    }
    m_Initialisiert = true;
}

void SubscribeActiveTitles::replaceTitleObjects() { ctx_.TitelObjekte.clear(); }

void SubscribeActiveTitles::activeTitleLoaded(const TitelDef& definition) {
    if (ctx_.Session().Status() != 1) return;
    auto objekt = std::make_unique<clTitelObjekt>(ctx_);
    objekt->UseBidAsk = definition.UseBidAsk;
    try {
        objekt->InitSubscription(definition.RT_WKN, definition.RT_Boerse);
    } catch (const VqsError&) {
        // kept all the same, inactive, as a refused subscription is
    }
    const QString key = objekt->Key();
    ctx_.TitelObjekte.add(key, std::move(objekt));
}

}  // namespace vqs
