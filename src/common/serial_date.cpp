#include "common/serial_date.h"

#include <cmath>

namespace vqs {

QDate serialEpoch() { return QDate(1899, 12, 30); }

double serialFromDate(QDate date) { return static_cast<double>(serialEpoch().daysTo(date)); }

double serialFromTime(QTime time) { return time.msecsSinceStartOfDay() / kMillisecondsPerDay; }

double serialFromDateTime(const QDateTime& dateTime) {
    return serialFromDate(dateTime.date()) + serialFromTime(dateTime.time());
}

QDateTime dateTimeFromSerial(double serial) {
    // 100-01-01 and 9999-12-31 bound what the format can name.
    if (!std::isfinite(serial) || serial < -657434.0 || serial >= 2958466.0) return {};
    double msTotal = std::round(serial * kMillisecondsPerDay);
    double days = std::floor(msTotal / kMillisecondsPerDay);
    auto ms = static_cast<int>(msTotal - days * kMillisecondsPerDay);
    QDate date = serialEpoch().addDays(static_cast<qint64>(days));
    return QDateTime(date, QTime::fromMSecsSinceStartOfDay(ms));
}

QTime timeFromDayFraction(double fraction) {
    double ms = std::round(fraction * kMillisecondsPerDay);
    if (!std::isfinite(ms) || ms < 0) return QTime(0, 0);
    if (ms >= kMillisecondsPerDay) ms = kMillisecondsPerDay - 1;
    return QTime::fromMSecsSinceStartOfDay(static_cast<int>(ms));
}

}  // namespace vqs
