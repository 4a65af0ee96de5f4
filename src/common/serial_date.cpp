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
    // 100-01-01 and 9999-12-31 bound what the format can name.
    if (!std::isfinite(serial) || serial < -657434.0 || serial >= 2958466.0) return std::nullopt;
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
    if (!date.isValid() || !time.isValid()) return std::nullopt;
    return serialFromDate(date) + serialFromTime(time);
}

QTime timeFromDayFraction(double fraction) {
    double ms = std::round(fraction * kMillisecondsPerDay);
    if (!std::isfinite(ms) || ms < 0) return QTime(0, 0);
    if (ms >= kMillisecondsPerDay) ms = kMillisecondsPerDay - 1;
    return QTime::fromMSecsSinceStartOfDay(static_cast<int>(ms));
}

}  // namespace vqs
