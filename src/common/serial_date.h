#pragma once

#include <QDate>
#include <QDateTime>
#include <QTime>

#include <optional>

namespace vqs {

// Dates as serial day numbers: days since 30 December 1899 00:00, the fraction being the
// time of day, local clock time without a time zone. A value below 1.0 is a time of day only.
inline constexpr double kMillisecondsPerDay = 86400000.0;

QDate serialEpoch();
double serialFromDate(QDate date);
double serialFromTime(QTime time);
double serialFromDateTime(const QDateTime& dateTime);
// Date and time of day of a serial number, rounded to the millisecond; none for values outside
// the years 100 to 9999 or not finite.
struct SerialParts {
    QDate date;
    QTime time;
};
std::optional<SerialParts> splitSerial(double serial);
// Invalid QDateTime where splitSerial gives none.
QDateTime dateTimeFromSerial(double serial);
// "2026-12-10T09:31:02.123"; empty where splitSerial gives none.
QString isoTextFromSerial(double serial);
// The serial number of such a text (milliseconds optional); none when it is not one.
std::optional<double> serialFromIsoText(QStringView text);
// The time of day of a fraction of a day, rounded to the millisecond.
QTime timeFromDayFraction(double fraction);

// Where "now" comes from. Everything that reads the computer's clock takes one of these.
class Clock {
public:
    virtual ~Clock() = default;
    virtual QDateTime now() const = 0;

    double todaySerial() const { return serialFromDate(now().date()); }
    double timeOfDayFraction() const { return serialFromTime(now().time()); }
    double nowSerial() const { return serialFromDateTime(now()); }
};

class SystemClock final : public Clock {
public:
    QDateTime now() const override { return QDateTime::currentDateTime(); }
};

// A clock that moves only when told to: tests and the simulated market run on it.
class ManualClock final : public Clock {
public:
    explicit ManualClock(QDateTime start) : now_(std::move(start)) {}
    QDateTime now() const override { return now_; }
    void set(QDateTime t) { now_ = std::move(t); }
    void advanceMs(qint64 ms) { now_ = now_.addMSecs(ms); }

private:
    QDateTime now_;
};

}  // namespace vqs
