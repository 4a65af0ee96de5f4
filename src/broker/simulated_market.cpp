#include "broker/simulated_market.h"

#include <QSet>

#include <algorithm>
#include <cmath>
#include <numbers>

namespace vqs::broker {
namespace {

// splitmix64: small, fast and good enough for a market that only has to look plausible.
class Random {
public:
    explicit Random(std::uint64_t seed) : state_(seed) {}
    std::uint64_t next() {
        std::uint64_t z = (state_ += 0x9E3779B97F4A7C15ULL);
        z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ULL;
        z = (z ^ (z >> 27)) * 0x94D049BB133111EBULL;
        return z ^ (z >> 31);
    }
    double uniform() { return static_cast<double>(next() >> 11) * 0x1.0p-53; }
    int below(int n) { return static_cast<int>(next() % static_cast<std::uint64_t>(n)); }
    bool chance(double p) { return uniform() < p; }
    std::uint64_t state() const { return state_; }

private:
    std::uint64_t state_;
};

std::uint64_t mix(std::uint64_t a, std::uint64_t b) {
    Random r(a ^ (b * 0x9E3779B97F4A7C15ULL));
    return r.next();
}

std::uint64_t textHash(const QString& s) {
    std::uint64_t h = 1469598103934665603ULL;
    for (QChar c : s) h = (h ^ c.unicode()) * 1099511628211ULL;
    return h;
}

double roundToTick(double price) {
    const double tick = price >= 1 ? 0.01 : 0.001;
    return std::round(price / tick) * tick;
}

const char* const kPrefixes[] = {
    "Adler",    "Bergmann",  "Concordia", "Donau",    "Elbtal",   "Falkenstein", "Germania",
    "Hanse",    "Isar",      "Jadeberg",  "Kronberg", "Lindner",  "Mainufer",    "Nordstern",
    "Oberland", "Pfalz",     "Quelle",    "Rheintal", "Saxonia",  "Taunus",      "Ulmer",
    "Vogtland", "Weserland", "Zollern",   "Alster",   "Brenner",  "Castell",     "Dreiländer",
    "Eifel",    "Fichtel",   "Greif",     "Harz",     "Inntal",   "Jura",        "Kaiser",
    "Lahn",     "Mosel",     "Neckar",    "Odenwald", "Spessart",
};
const char* const kSectors[] = {
    "Chemie",         "Maschinenbau", "Energie",  "Bank",       "Versicherung",
    "Automobil",      "Pharma",       "Logistik", "Software",   "Immobilien",
    "Stahl",          "Telekom",      "Textil",   "Brauerei",   "Elektronik",
    "Medizintechnik", "Bau",          "Handel",   "Halbleiter", "Solar",
    "Verkehr",        "Kunststoff",   "Papier",   "Optik",      "Biotech",
};
const char* const kForms[] = {"AG", "SE", "AG", "KGaA", "AG"};
const char* const kForeignForms[] = {"S.A.", "N.V.", "S.p.A.", "S.A.", "Oyj", "N.V."};
const char* const kForeignExchanges[] = {"PAR", "AMS", "MIL", "MAD", "HEL", "BRU"};
const char* const kMonths[] = {"Jan", "Feb", "Mär", "Apr", "Mai", "Jun",
                               "Jul", "Aug", "Sep", "Okt", "Nov", "Dez"};
const char kCodeLetters[] = "ABCDEFGHJKLMNPQRSTUVWXYZ0123456789";

}  // namespace

void QuoteState::apply(const MarketEvent& e) {
    if (e.paid) paid = {true, e.paidPrice, e.paidVolume, e.msOfDay};
    if (e.bid) bid = {true, e.bidPrice, e.bidVolume, e.msOfDay};
    if (e.ask) ask = {true, e.askPrice, e.askVolume, e.msOfDay};
}

SimulatedMarket::SimulatedMarket(std::uint64_t seed, double quotesPerSecond)
    : seed_(seed), quotesPerSecond_(quotesPerSecond) {
    exchanges_ = {
        {"ETR", "Xetra", true, true},
        {"FRA", "Frankfurt", true, true},
        {"STU", "Stuttgart", true, true},
        {"BER", "Berlin", true, false},
        {"MUN", "München", true, true},
        {"HAM", "Hamburg", true, false},
        {"DUS", "Düsseldorf", true, true},
        {"TGT", "Tradegate", true, true},
        {"NYS", "New York", false, true},
        {"PAR", "Euronext Paris", true, true},
        {"AMS", "Euronext Amsterdam", true, true},
        {"MIL", "Borsa Italiana", true, true},
        {"MAD", "Madrid", true, false},
        {"HEL", "Helsinki", true, false},
        {"BRU", "Euronext Brüssel", true, true},
        {"NAS", "Nasdaq", false, true},
        {"LSE", "London", false, false},
    };
    buildUniverse();
}

void SimulatedMarket::buildUniverse() {
    Random r(mix(seed_, 1));
    QSet<QString> codes;
    QSet<QString> names;
    auto uniqueCode = [&](bool numeric) {
        for (;;) {
            QString code;
            if (numeric) {
                const int digits = r.below(100000);
                const int first = 5 + r.below(4);
                code = QString::number(first) +
                       QStringLiteral("%1").arg(digits, 5, 10, QLatin1Char('0'));
            } else {
                code = QChar(QLatin1Char(kCodeLetters[r.below(24)]));
                for (int i = 0; i < 5; ++i) code += QLatin1Char(kCodeLetters[r.below(34)]);
            }
            if (!codes.contains(code)) {
                codes.insert(code);
                return code;
            }
        }
    };
    auto add = [&](QString name, QChar cls, const QString& home, double price, bool numeric) {
        SimInstrument in;
        in.index = static_cast<int>(instruments_.size());
        in.wkn = uniqueCode(numeric);
        in.secondId = QStringLiteral("DE000") + in.wkn + QString::number(in.index % 10);
        in.name = std::move(name);
        in.classLetter = cls;
        in.homeExchange = home;
        in.basePrice = price;
        in.paidVolume = cls != u'I' && !(cls == u'B' && r.chance(0.5));
        in.hasBidAsk = cls != u'I' && cls != u'F';
        in.bidAskVolume = in.hasBidAsk && !(cls == u'X' || (cls == u'B' && r.chance(0.5)));
        byWkn_.insert(in.wkn.toUpper(), in.index);
        instruments_.push_back(in);
        return instruments_.back().index;
    };

    // German shares first: the DAX family draws on them.
    std::vector<int> german, foreign;
    while (german.size() < 560) {
        const int form = r.below(std::size(kForms));
        const int sector = r.below(std::size(kSectors));
        const int prefix = r.below(std::size(kPrefixes));
        QString name =
            QStringLiteral("%1 %2 %3")
                .arg(QString::fromUtf8(kPrefixes[prefix]), QString::fromUtf8(kSectors[sector]),
                     QString::fromUtf8(kForms[form]));
        if (names.contains(name)) continue;
        names.insert(name);
        german.push_back(add(name, u'S', "ETR", 5 + r.uniform() * 295, true));
    }
    while (foreign.size() < 40) {
        const int e = r.below(std::size(kForeignExchanges));
        const int sector = r.below(std::size(kSectors));
        const int prefix = r.below(std::size(kPrefixes));
        QString name =
            QStringLiteral("%1 %2 %3")
                .arg(QString::fromUtf8(kPrefixes[prefix]), QString::fromUtf8(kSectors[sector]),
                     QString::fromUtf8(kForeignForms[e]));
        if (names.contains(name)) continue;
        names.insert(name);
        foreign.push_back(
            add(name, u'S', QString::fromUtf8(kForeignExchanges[e]), 10 + r.uniform() * 190, true));
    }
    auto shortName = [&](int i) {
        return instruments_[static_cast<size_t>(i)].name.section(u' ', 0, 1);
    };
    for (int i = 0; i < 2000; ++i) {
        const int under = german[static_cast<size_t>(r.below(200))];
        const int strike = 10 * (1 + r.below(40));
        const double price = 0.05 + r.uniform() * 8;
        const bool call = r.chance(0.5);
        const int month = 1 + r.below(12);
        const int year = 27 + r.below(3);
        add(QStringLiteral("%1 %2 %3 %4/%5")
                .arg(call ? QStringLiteral("Call") : QStringLiteral("Put"), shortName(under))
                .arg(strike)
                .arg(month, 2, 10, QLatin1Char('0'))
                .arg(year),
            u'W', "FRA", price, false);
    }
    for (int i = 0; i < 1500; ++i) {
        const int kind = r.below(3);
        if (kind == 0) {
            add(QString(), u'C', "FRA", 50 + r.uniform() * 150, false);
            auto& in = instruments_.back();
            in.name = QStringLiteral("Dax-Zertifikat ") + in.wkn;
        } else {
            const double price = 20 + r.uniform() * 180;
            const int under = german[static_cast<size_t>(r.below(300))];
            add(QStringLiteral("%1-Zertifikat auf %2")
                    .arg(kind == 1 ? QStringLiteral("Bonus") : QStringLiteral("Discount"),
                         shortName(under)),
                u'C', "FRA", price, false);
        }
    }
    const char* const fundKinds[] = {"Rentenfonds", "Aktien Europa", "Aktien Welt",
                                     "Mischfonds",  "Geldmarkt",     "Immobilienfonds"};
    for (int i = 0; i < 500; ++i) {
        const double price = 20 + r.uniform() * 200;
        const int fundKind = r.below(std::size(fundKinds));
        const int prefix = r.below(std::size(kPrefixes));
        add(QStringLiteral("%1 %2").arg(QString::fromUtf8(kPrefixes[prefix]),
                                        QString::fromUtf8(fundKinds[fundKind])),
            u'F', "FRA", price, false);
    }
    const char* const indices[] = {"DAX",  "MDAX", "SDAX",   "TecDAX",           "Euro Stoxx 50",
                                   "HDAX", "CDAX", "DivDAX", "Stoxx Europe 600", "GEX"};
    for (const char* name : indices)
        add(QString::fromUtf8(name), u'I', "ETR", 3000 + r.uniform() * 15000, false);
    for (const char* sector : kSectors) {
        add(QStringLiteral("Prime %1 Index").arg(QString::fromUtf8(sector)), u'I', "ETR",
            500 + r.uniform() * 3000, false);
    }
    const char* const futures[] = {"FDAX", "FESX", "FGBL", "FGBM", "FMDX", "FSMI"};
    for (const char* f : futures) {
        for (int m = 0; m < 12; ++m) {
            add(QStringLiteral("%1 %2 27").arg(QString::fromUtf8(f), QString::fromUtf8(kMonths[m])),
                u'U', "ETR", 100 + r.uniform() * 17000, false);
        }
    }
    for (int i = 0; i < 600; ++i) {
        const QString coupon =
            QString::number(0.25 * (1 + r.below(24)), 'f', 2).replace(u'.', u',');
        const int year = 2027 + r.below(25);
        if (r.chance(0.4)) {
            add(QStringLiteral("Bund %1% %2").arg(coupon).arg(year), u'B', "FRA",
                85 + r.uniform() * 30, false);
        } else {
            const double price = 85 + r.uniform() * 30;
            const int issuer = german[static_cast<size_t>(r.below(300))];
            add(QStringLiteral("%1 Anleihe %2% %3").arg(shortName(issuer), coupon).arg(year), u'B',
                "FRA", price, false);
        }
    }
    const char* const others[] = {"Gold",    "Silber",  "Platin",  "Palladium", "Brent Öl",
                                  "WTI Öl",  "Erdgas",  "Kupfer",  "EUR/USD",   "EUR/CHF",
                                  "EUR/GBP", "EUR/JPY", "Bitcoin", "Weizen",    "Kaffee"};
    for (int i = 0; i < 150; ++i) {
        add(QStringLiteral("%1 %2").arg(QString::fromUtf8(others[i % std::size(others)]),
                                        i < static_cast<int>(std::size(others))
                                            ? QStringLiteral("Spot")
                                            : QStringLiteral("Tracker %1").arg(i)),
            u'X', "FRA", 1 + r.uniform() * 2000, false);
    }

    auto members = [&](int first, int count) {
        std::vector<Identifier> ids;
        for (int i = first; i < first + count; ++i) {
            const SimInstrument& in =
                instruments_[static_cast<size_t>(german[static_cast<size_t>(i)])];
            ids.push_back({in.wkn, in.secondId, in.homeExchange});
        }
        return ids;
    };
    catalogues_.insert("Dax30", members(0, 30));
    catalogues_.insert("TecDax30", members(30, 30));
    catalogues_.insert("MDax", members(60, 50));
    catalogues_.insert("SDax", members(110, 70));
    std::vector<Identifier> stoxx = members(0, 10);
    for (int i : foreign) {
        const SimInstrument& in = instruments_[static_cast<size_t>(i)];
        stoxx.push_back({in.wkn, in.secondId, in.homeExchange});
    }
    catalogues_.insert("EuroStoxx50", stoxx);
}

const SimInstrument* SimulatedMarket::find(const QString& wkn) const {
    auto it = byWkn_.constFind(wkn.trimmed().toUpper());
    return it == byWkn_.cend() ? nullptr : &instruments_[static_cast<size_t>(*it)];
}

bool SimulatedMarket::isAdmitted(const QString& exchange) const {
    return std::any_of(exchanges_.begin(), exchanges_.end(), [&](const Exchange& e) {
        return e.admitted && e.code.compare(exchange, Qt::CaseInsensitive) == 0;
    });
}

const std::vector<Identifier>* SimulatedMarket::catalogue(const QString& key) const {
    auto it = catalogues_.constFind(key);
    return it == catalogues_.cend() ? nullptr : &*it;
}

std::vector<Instrument> SimulatedMarket::search(const SearchCriteria& criteria) const {
    std::vector<Instrument> found;
    const QString term = criteria.term.trimmed();
    if (term.isEmpty()) return found;
    for (const SimInstrument& in : instruments_) {
        if (criteria.classLetter && !criteria.classLetter->isEmpty() &&
            in.classLetter != criteria.classLetter->at(0))
            continue;
        if (in.wkn.startsWith(term, Qt::CaseInsensitive) ||
            in.name.contains(term, Qt::CaseInsensitive))
            found.push_back({in.wkn, in.name});
    }
    return found;
}

std::uint64_t SimulatedMarket::streamSeed(const SimInstrument& instrument, const QString& exchange,
                                          QDate day, int minute) const {
    std::uint64_t s = mix(seed_, static_cast<std::uint64_t>(instrument.index) + 7);
    s = mix(s, textHash(exchange.toUpper()));
    s = mix(s, static_cast<std::uint64_t>(day.toJulianDay()));
    return mix(s, static_cast<std::uint64_t>(minute));
}

void SimulatedMarket::startMinute(MinuteEvents& events, const SimInstrument& instrument,
                                  const QString& exchange, QDate day, int minute) const {
    Random r(streamSeed(instrument, exchange, day, minute));
    const double mean = quotesPerSecond_ * 60;
    // Busy and quiet minutes alike: between 60 and 140 percent of the mean.
    const double busy = r.uniform();
    const double rounding = r.uniform();
    const int n = std::clamp(static_cast<int>(mean * (0.6 + 0.8 * busy) + rounding), 0, 59999);
    std::vector<std::uint16_t>& offsets = events.offsets_;
    offsets.clear();
    offsets.reserve(static_cast<size_t>(n));
    for (int i = 0; i < n; ++i) offsets.push_back(static_cast<std::uint16_t>(r.below(60000)));
    std::sort(offsets.begin(), offsets.end());
    offsets.erase(std::unique(offsets.begin(), offsets.end()), offsets.end());
    events.instrument_ = &instrument;
    events.day_ = day.toJulianDay();
    events.minute_ = minute;
    events.next_ = 0;
    events.random_ = r.state();
    // The phases of the fair price's slow waves belong to the instrument.
    Random phases(mix(seed_, static_cast<std::uint64_t>(instrument.index) + 99));
    for (double& p : events.phases_) p = phases.uniform() * 2 * std::numbers::pi;
}

MarketEvent MinuteEvents::take() {
    const SimInstrument& instrument = *instrument_;
    Random r(random_);
    MarketEvent e;
    e.msOfDay = nextMsOfDay();
    ++next_;
    e.paid = !instrument.hasBidAsk || r.chance(0.55);
    if (instrument.hasBidAsk) {
        e.bid = r.chance(0.6);
        e.ask = r.chance(0.6) || (!e.paid && !e.bid);
    }
    // Slow waves: continuous across minutes and days.
    const double t = static_cast<double>(day_) * 86400.0 + e.msOfDay / 1000.0;
    const double w = 2 * std::numbers::pi;
    const double fair = instrument.basePrice * (1 + 0.03 * std::sin(w * t / 20000 + phases_[0]) +
                                                0.012 * std::sin(w * t / 1900 + phases_[1]) +
                                                0.003 * std::sin(w * t / 170 + phases_[2]));
    const double spread = fair * 0.0008;
    e.paidPrice = roundToTick(fair * (1 + 0.0004 * (r.uniform() - 0.5)));
    e.bidPrice = roundToTick(fair - spread);
    e.askPrice = std::max(roundToTick(fair + spread), e.bidPrice + (fair >= 1 ? 0.01 : 0.001));
    e.paidVolume = instrument.paidVolume ? 50 * (1 + r.below(60)) : 0;
    e.bidVolume = instrument.bidAskVolume ? 100 * (1 + r.below(50)) : 0;
    e.askVolume = instrument.bidAskVolume ? 100 * (1 + r.below(50)) : 0;
    random_ = r.state();
    return e;
}

std::vector<MarketEvent> SimulatedMarket::eventsInMinute(const SimInstrument& instrument,
                                                         const QString& exchange, QDate day,
                                                         int minute) const {
    MinuteEvents stream;
    startMinute(stream, instrument, exchange, day, minute);
    std::vector<MarketEvent> events;
    events.reserve(stream.offsets_.size());
    while (!stream.atEnd()) events.push_back(stream.take());
    return events;
}

QuoteState SimulatedMarket::stateAt(const SimInstrument& instrument, const QString& exchange,
                                    QDate day, int msOfDay) const {
    QuoteState state;
    bool havePaid = false, haveBid = !instrument.hasBidAsk, haveAsk = !instrument.hasBidAsk;
    for (int minute = msOfDay / 60000; minute >= 0 && !(havePaid && haveBid && haveAsk); --minute) {
        const std::vector<MarketEvent> events = eventsInMinute(instrument, exchange, day, minute);
        for (auto it = events.rbegin(); it != events.rend(); ++it) {
            if (it->msOfDay > msOfDay) continue;
            if (it->paid && !havePaid) {
                state.paid = {true, it->paidPrice, it->paidVolume, it->msOfDay};
                havePaid = true;
            }
            if (it->bid && !haveBid) {
                state.bid = {true, it->bidPrice, it->bidVolume, it->msOfDay};
                haveBid = true;
            }
            if (it->ask && !haveAsk) {
                state.ask = {true, it->askPrice, it->askVolume, it->msOfDay};
                haveAsk = true;
            }
        }
    }
    return state;
}

std::vector<HistoryItem> SimulatedMarket::paidHistory(const SimInstrument& instrument,
                                                      const QString& exchange, QDate day,
                                                      int msOfDay) const {
    std::vector<HistoryItem> items;
    MinuteEvents stream;
    for (int minute = 0; minute <= msOfDay / 60000 && minute < 1440; ++minute) {
        startMinute(stream, instrument, exchange, day, minute);
        while (!stream.atEnd() && stream.nextMsOfDay() <= msOfDay) {
            const MarketEvent e = stream.take();
            if (e.paid) items.push_back({timeObject(e.msOfDay), e.paidPrice, e.paidVolume});
        }
    }
    return items;
}

TimeObject SimulatedMarket::timeObject(int msOfDay) { return timeObjectAt(msOfDay); }

}  // namespace vqs::broker
