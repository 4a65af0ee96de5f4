#pragma once

#include "broker/trading_api.h"

#include <QDate>
#include <QHash>
#include <QString>

#include <cstdint>
#include <vector>

namespace vqs::broker {

// One instrument of the simulated universe.
struct SimInstrument {
    int index = 0;  // stable position, part of every seed
    QString wkn;
    QString secondId;  // an ISIN-like text
    QString name;
    QChar classLetter;  // S W C F I U B X
    QString homeExchange;
    double basePrice = 100;
    bool paidVolume = true;    // paid groups carry a volume
    bool hasBidAsk = true;     // bid and ask groups exist
    bool bidAskVolume = true;  // bid and ask groups carry a volume
};

// One change of an instrument's quote on one exchange, at a distinct millisecond.
struct MarketEvent {
    int msOfDay = 0;
    bool paid = false, bid = false, ask = false;  // which groups changed
    double paidPrice = 0, bidPrice = 0, askPrice = 0;
    std::int32_t paidVolume = 0, bidVolume = 0, askVolume = 0;
};

// The state of the three groups of a quote: each as of its last change.
struct GroupState {
    bool present = false;
    double price = 0;
    std::int32_t volume = 0;
    int msOfDay = 0;
};
struct QuoteState {
    GroupState paid, bid, ask;
    void apply(const MarketEvent& e);
};

class SimulatedMarket;

// The events of one minute of one instrument on one exchange, taken one at a time: the same
// events, in the same order, as SimulatedMarket::eventsInMinute gives all at once. Holds the
// minute's times and the state of its random stream only, so a subscription keeps little.
class MinuteEvents {
public:
    bool isFor(QDate day, int minute) const {
        return minute_ == minute && day_ == day.toJulianDay();
    }
    bool atEnd() const { return next_ >= offsets_.size(); }
    int nextMsOfDay() const { return minute_ * 60000 + offsets_[next_]; }
    // The next event; its values are drawn now, after those of the events before it.
    MarketEvent take();

private:
    friend class SimulatedMarket;
    const SimInstrument* instrument_ = nullptr;
    qint64 day_ = 0;  // Julian day
    int minute_ = -1;
    std::vector<std::uint16_t> offsets_;  // ms within the minute, ascending, distinct
    size_t next_ = 0;
    std::uint64_t random_ = 0;  // the stream's state after the draws so far
    double phases_[3] = {};     // of the instrument's fair price
};

// A deterministic market: the same seed gives the same instruments, catalogues, exchanges and
// quotes. Quotes are a pure function of (seed, instrument, exchange, day, minute), so realtime
// and history always agree and any moment can be looked at without replaying the day.
class SimulatedMarket {
public:
    SimulatedMarket(std::uint64_t seed, double quotesPerSecond);

    const std::vector<SimInstrument>& instruments() const { return instruments_; }
    const SimInstrument* find(const QString& wkn) const;
    const std::vector<Exchange>& exchanges() const { return exchanges_; }
    bool isAdmitted(const QString& exchange) const;
    // Constituents of a catalogue ("Dax30", "TecDax30", "EuroStoxx50", "SDax", "MDax").
    const std::vector<Identifier>* catalogue(const QString& key) const;
    std::vector<Instrument> search(const SearchCriteria& criteria) const;

    // Sets `events` to the start of one minute of a day (its storage is reused).
    void startMinute(MinuteEvents& events, const SimInstrument& instrument, const QString& exchange,
                     QDate day, int minute) const;
    // The events of one minute of a day, in time order.
    std::vector<MarketEvent> eventsInMinute(const SimInstrument& instrument,
                                            const QString& exchange, QDate day, int minute) const;
    // The quote as it stood at msOfDay (the last change of each group that day, at or before).
    QuoteState stateAt(const SimInstrument& instrument, const QString& exchange, QDate day,
                       int msOfDay) const;
    // The paid changes of a day up to and including msOfDay.
    std::vector<HistoryItem> paidHistory(const SimInstrument& instrument, const QString& exchange,
                                         QDate day, int msOfDay) const;

    static TimeObject timeObject(int msOfDay);

private:
    void buildUniverse();
    std::uint64_t streamSeed(const SimInstrument& instrument, const QString& exchange, QDate day,
                             int minute) const;

    std::uint64_t seed_;
    double quotesPerSecond_;
    std::vector<SimInstrument> instruments_;
    QHash<QString, int> byWkn_;  // upper-case WKN -> index
    std::vector<Exchange> exchanges_;
    QHash<QString, std::vector<Identifier>> catalogues_;
};

}  // namespace vqs::broker
