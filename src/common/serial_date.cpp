#include "common/serial_date.h"

#include <cmath>

namespace vqs {

QDate serialEpoch() { return QDate(1899, 12, 30); }

double serialFromDate(QDate date) {
    constexpr qint64 kEpochJulianDay = 2415019;  // 1899-12-30
    return static_cast<double>(date.toJulianDay() - kEpochJulianDay);
}

double serialFromTime(QTime time) { return time.msecsSinceStartOfDay() / kMillisecondsPerDay; }

double serialFromDateTime(const QDateTime& dateTime) {
    return serialFromDate(dateTime.date()) + serialFromTime(dateTime.time());
}

std::optional<SerialParts> splitSerial(double serial) {
    if (!namesDate(serial)) return std::nullopt;
    double msTotal = std::round(serial * kMillisecondsPerDay);
    double days = std::floor(msTotal / kMillisecondsPerDay);
    auto ms = static_cast<int>(msTotal - days * kMillisecondsPerDay);
    return SerialParts{serialEpoch().addDays(static_cast<qint64>(days)),
                       QTime::fromMSecsSinceStartOfDay(ms)};
}

QDateTime dateTimeFromSerial(double serial) {
    std::optional<SerialParts> p = splitSerial(serial);
    return p ? QDateTime(p->date, p->time) : QDateTime();
}

QString isoTextFromSerial(double serial) {
    std::optional<SerialParts> p = splitSerial(serial);
    if (!p) return {};
    return p->date.toString(Qt::ISODate) + u'T' + p->time.toString(QStringLiteral("HH:mm:ss.zzz"));
}

std::optional<double> serialFromIsoText(QStringView text) {
    qsizetype t = text.indexOf(u'T');
    if (t < 0) return std::nullopt;
    QDate date = QDate::fromString(text.left(t).toString(), Qt::ISODate);
    QTime time = QTime::fromString(text.mid(t + 1).toString(), Qt::ISODateWithMs);
    // Before 1900 a serial number would read as a time of day only (below 1.0) or go negative.
    if (!date.isValid() || !time.isValid() || date.year() < 1900 || date.year() > 9999)
        return std::nullopt;
    return serialFromDate(date) + serialFromTime(time);
}

qint64 LocalOffset::msAt(qint64 utcMs) const {
    const qint64 minute = (utcMs >= 0 ? utcMs : utcMs - 59999) / 60000 * 60000;
    if (minute != validFrom_) {
        offsetMs_ =
            static_cast<qint64>(QDateTime::fromMSecsSinceEpoch(utcMs).offsetFromUtc()) * 1000;
        validFrom_ = minute;
    }
    return offsetMs_;
}

LocalNow SystemClock::localNow() const {
    const qint64 utc = QDateTime::currentMSecsSinceEpoch();
    constexpr qint64 kMsPerDay = 86400000;
    constexpr double kUnixEpochSerial = 25569;  // 1970-01-01
    const qint64 local = utc + offset_.msAt(utc);
    const qint64 days = local >= 0 ? local / kMsPerDay : (local - kMsPerDay + 1) / kMsPerDay;
    return {kUnixEpochSerial + static_cast<double>(days),
            static_cast<double>(local - days * kMsPerDay) / kMillisecondsPerDay};
}

QTime timeFromDayFraction(double fraction) {
    double ms = std::round(fraction * kMillisecondsPerDay);
    if (!std::isfinite(ms) || ms < 0) return QTime(0, 0);
    if (ms >= kMillisecondsPerDay) ms = kMillisecondsPerDay - 1;
    return QTime::fromMSecsSinceStartOfDay(static_cast<int>(ms));
}

}  // namespace vqs

namespace vqs {
namespace {

// Reads 1..maxDigits digits at pos; -1 when there is none.
int digits(QStringView t, qsizetype& pos, int maxDigits, int* count = nullptr) {
    int value = 0, n = 0;
    while (pos < t.size() && n < maxDigits && t[pos] >= u'0' && t[pos] <= u'9') {
        value = value * 10 + (t[pos].unicode() - u'0');
        ++pos;
        ++n;
    }
    if (count) *count = n;
    return n == 0 ? -1 : value;
}

bool expect(QStringView t, qsizetype& pos, char16_t c) {
    if (pos < t.size() && t[pos] == c) {
        ++pos;
        return true;
    }
    return false;
}

// "H:mm[:ss[.fff]]" from pos to the end: milliseconds of the day.
std::optional<int> timePart(QStringView t, qsizetype pos) {
    const int h = digits(t, pos, 2);
    if (h < 0 || h > 23 || !expect(t, pos, u':')) return std::nullopt;
    const int m = digits(t, pos, 2);
    if (m < 0 || m > 59) return std::nullopt;
    int s = 0, ms = 0;
    if (expect(t, pos, u':')) {
        s = digits(t, pos, 2);
        if (s < 0 || s > 59) return std::nullopt;
        if (expect(t, pos, u'.') || expect(t, pos, u',')) {
            int n = 0;
            ms = digits(t, pos, 3, &n);
            if (ms < 0) return std::nullopt;
            for (; n < 3; ++n) ms *= 10;
            while (pos < t.size() && t[pos] >= u'0' && t[pos] <= u'9') ++pos;  // finer digits
        }
    }
    if (pos != t.size()) return std::nullopt;
    return ((h * 60 + m) * 60 + s) * 1000 + ms;
}

}  // namespace

std::optional<double> serialFromTimeText(QStringView text) {
    text = text.trimmed();
    const qsizetype split = std::max(text.indexOf(u' '), text.indexOf(u'T'));
    if (split < 0) {
        std::optional<int> ms = timePart(text, 0);
        if (!ms) return std::nullopt;
        return *ms / kMillisecondsPerDay;
    }
    qsizetype pos = 0;
    int day, month, year;
    const QStringView datePart = text.left(split);
    if (datePart.contains(u'-')) {
        year = digits(datePart, pos, 4);
        if (!expect(datePart, pos, u'-')) return std::nullopt;
        month = digits(datePart, pos, 2);
        if (!expect(datePart, pos, u'-')) return std::nullopt;
        day = digits(datePart, pos, 2);
    } else {
        day = digits(datePart, pos, 2);
        if (!expect(datePart, pos, u'.')) return std::nullopt;
        month = digits(datePart, pos, 2);
        if (!expect(datePart, pos, u'.')) return std::nullopt;
        year = digits(datePart, pos, 4);
    }
    if (pos != datePart.size()) return std::nullopt;
    const QDate date(year, month, day);
    std::optional<int> ms = timePart(text, split + 1);
    if (!date.isValid() || year < 100 || !ms) return std::nullopt;
    return serialFromDate(date) + *ms / kMillisecondsPerDay;
}

double completeTimestamp(double zeit, const Clock& clock) {
    if (zeit >= 1.0) return zeit;
    const auto [today, timeOfDay] = clock.localNow();
    if (zeit > 0.666 && timeOfDay < 0.375) return zeit + today - 1;
    if (zeit < 0.05) return zeit + today + (timeOfDay > 0.95 ? 1 : 0);
    return zeit + today;
}

}  // namespace vqs
