#include "common/serial_date.h"
#include "support/manual_clock.h"

#include <gtest/gtest.h>

namespace vqs {
namespace {

TEST(SerialDate, DaysSinceTheEndOf1899WithTheTimeAsFraction) {
    EXPECT_EQ(serialFromDate(QDate(1899, 12, 30)), 0.0);
    EXPECT_EQ(serialFromDate(QDate(1900, 1, 1)), 2.0);
    EXPECT_EQ(serialFromDate(QDate(2000, 1, 1)), 36526.0);
    EXPECT_EQ(serialFromDate(QDate(2026, 12, 10)), 46366.0);
    EXPECT_DOUBLE_EQ(serialFromTime(QTime(12, 0)), 0.5);
    EXPECT_DOUBLE_EQ(serialFromTime(QTime(9, 0)), 0.375);
    EXPECT_DOUBLE_EQ(serialFromDateTime(QDateTime(QDate(2026, 12, 10), QTime(18, 0))), 46366.75);
}

TEST(SerialDate, BackToDateAndTimeToTheMillisecond) {
    const QDateTime t(QDate(2026, 12, 10), QTime(9, 31, 2, 123));
    EXPECT_EQ(dateTimeFromSerial(serialFromDateTime(t)), t);
    EXPECT_EQ(dateTimeFromSerial(0.25), QDateTime(QDate(1899, 12, 30), QTime(6, 0)));
    EXPECT_FALSE(dateTimeFromSerial(1e300).isValid());
    EXPECT_FALSE(dateTimeFromSerial(std::numeric_limits<double>::quiet_NaN()).isValid());
    EXPECT_EQ(timeFromDayFraction(0.3958333333), QTime(9, 30));
}

TEST(SerialDate, AManualClockMovesOnlyWhenTold) {
    ManualClock clock(QDateTime(QDate(2026, 12, 10), QTime(8, 0)));
    EXPECT_EQ(clock.todaySerial(), 46366.0);
    EXPECT_DOUBLE_EQ(clock.timeOfDayFraction(), 8.0 / 24);
    clock.advanceMs(3600 * 1000);
    EXPECT_DOUBLE_EQ(clock.timeOfDayFraction(), 9.0 / 24);
}

TEST(CompleteTimestamp, DateCompletionTable) {
    constexpr double kToday = 46366.0;  // 2026-12-10
    struct Case {
        double zeit;
        QTime now;
        double expected;
    } cases[] = {
        {0.70, QTime(8, 0), kToday - 1 + 0.70},  // last evening's quote seen in the morning
        {0.70, QTime(10, 0), kToday + 0.70},
        {0.01, QTime(23, 0), kToday + 1 + 0.01},  // just after midnight, seen late: tomorrow
        {0.01, QTime(22, 0), kToday + 0.01},
        {0.666, QTime(8, 0), kToday + 0.666},  // the limit itself is today
        {0.05, QTime(23, 0), kToday + 0.05},
        {0.5, QTime(12, 0), kToday + 0.5},
        {kToday - 3 + 0.5, QTime(8, 0), kToday - 3 + 0.5},  // a full date stays
    };
    for (const Case& c : cases) {
        ManualClock clock(QDateTime(QDate(2026, 12, 10), c.now));
        EXPECT_DOUBLE_EQ(completeTimestamp(c.zeit, clock), c.expected)
            << c.zeit << " at " << c.now.toString().toStdString();
    }
}

}  // namespace
}  // namespace vqs
