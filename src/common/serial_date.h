#pragma once

#include <QDate>
#include <QDateTime>
#include <QTime>

#include <optional>

namespace vqs {

// Dates as serial day numbers: days since 30 December 1899 00:00, the fraction being the
// time of day, local clock time without a time zone. A value below 1.0 is a time of day only.
inline constexpr double kMillisecondsPerDay = 86400000.0;
// The serial numbers that name a date: 100-01-01 up to the end of 9999-12-31.
inline constexpr double kFirstSerial = -657434.0;
inline constexpr double kEndSerial = 2958466.0;
inline bool namesDate(double serial) { return serial >= kFirstSerial && serial < kEndSerial; }

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
// The serial number of such a text (milliseconds optional); none when it is not one or its year
// lies outside 1900 to 9999.
std::optional<double> serialFromIsoText(QStringView text);
// A broker's time text as a date/time value: "09:31:02.123" (a time of day, below 1.0),
// "10.12.2026 09:31:02.123" or "2026-12-10T09:31:02.123"; seconds and milliseconds optional.
// None for anything else or out of range.
std::optional<double> serialFromTimeText(QStringView text);
// The time of day of a fraction of a day, rounded to the millisecond.
QTime timeFromDayFraction(double fraction);

// Today as a serial day number and the time of day as a fraction of a day, local time.
struct LocalNow {
    double today = 0;
    double timeOfDay = 0;
};

// Where "now" comes from. Everything that reads the computer's clock takes one of these.
class Clock {
public:
    virtual ~Clock() = default;
    virtual QDateTime now() const = 0;
    // Asked for every quote, so clocks may answer it faster than now().
    virtual qint64 msecsSinceEpoch() const { return now().toMSecsSinceEpoch(); }
    // Asked for every tick, so clocks may answer it faster than now().
    virtual LocalNow localNow() const {
        const QDateTime n = now();
        return {serialFromDate(n.date()), serialFromTime(n.time())};
    }

    double todaySerial() const { return localNow().today; }
    double timeOfDayFraction() const { return localNow().timeOfDay; }
    double nowSerial() const { return serialFromDateTime(now()); }
};

// The offset of local time from UTC at an instant, looked up once per minute of UTC (offsets
// change on minute boundaries only): a lookup reads the time zone file, and quotes ask for every
// time they carry.
class LocalOffset {
public:
    qint64 msAt(qint64 utcMs) const;

private:
    mutable qint64 offsetMs_ = 0;
    mutable qint64 validFrom_ = 1;  // [validFrom_, validFrom_ + 60000) in ms since the epoch, UTC
};

// The computer's clock; local time is the system time plus the offset of that minute.
class SystemClock final : public Clock {
public:
    QDateTime now() const override { return QDateTime::currentDateTime(); }
    qint64 msecsSinceEpoch() const override { return QDateTime::currentMSecsSinceEpoch(); }
    LocalNow localNow() const override;

private:
    LocalOffset offset_;
};

// Adds the date to a time-of-day-only stamp (below 1.0) from the clock: a late quote seen
// before 09:00 belongs to yesterday, one just after midnight seen after 22:48 to tomorrow.
double completeTimestamp(double zeit, const Clock& clock);

}  // namespace vqs
