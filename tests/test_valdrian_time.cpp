#include "clock/next_occurrence.h"
#include "clock/valdrian_time.h"

#include <QDateTime>
#include <QTimeZone>

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <random>

namespace {

struct Worked {
    double t;
    double v;
    const char* text;
};

// The reference readings: v is compared to the bit, the text exactly.
const Worked kWorked[] = {
    {0, 0.0, "00:00"},
    {3, 61.71428571428572, "00:01"},
    {174.9, 3597.9428571428575, "00:59"},
    {175, 3600.0000000000005, "01:00"},
    {4199, 86379.42857142858, "23:59"},
    {4200, 86400.0, "00:00"},
    {-1, -20.571428571428573, "23:59"},
    {1704067200, 35055096685.71429, "06:51"},
    {1704067224.9, 35055097197.94286, "06:59"},
    {1704067225, 35055097200.0, "07:00"},
    {1, 20.571428571428573, "00:00"},
    {2, 41.142857142857146, "00:00"},
};

TEST(ValdrianTime, WorkedExamples) {
    for (const Worked& row : kWorked) {
        const ZuduzirEraz vt(row.t);
        EXPECT_EQ(vt.date(), row.v) << "t=" << row.t;
        EXPECT_EQ(vt.formattedTime().toStdString(), row.text) << "t=" << row.t;
        EXPECT_EQ(clockLabel(vt).toStdString(), std::string("VT: ") + row.text);
    }
}

// An independent reading: the UTC time of day of the floored Valdrian seconds, by QDateTime.
TEST(ValdrianTime, AgreesWithCalendarOverRandomInstants) {
    std::mt19937_64 random(20261206);
    std::uniform_real_distribution<double> instants(-4e9, 4e9);
    for (int i = 0; i < 100000; ++i) {
        const double t = instants(random);
        const ZuduzirEraz vt(t);
        const auto seconds = static_cast<qint64>(std::floor(t * 20.571428571428573));
        const QTime expected = QDateTime::fromSecsSinceEpoch(seconds, QTimeZone::utc()).time();
        ASSERT_EQ(vt.hour(), expected.hour()) << "t=" << t;
        ASSERT_EQ(vt.minute(), expected.minute()) << "t=" << t;
        ASSERT_EQ(vt.formattedTime(), expected.toString(QStringLiteral("HH:mm"))) << "t=" << t;
    }
}

TEST(ValdrianTime, StaysDefinedForAnyDouble) {
    constexpr double inf = std::numeric_limits<double>::infinity();
    const double odd[] = {std::nan(""), inf,    -inf,    1e300,
                          -1e300,       9.3e18, -9.3e18, std::numeric_limits<double>::denorm_min(),
                          -0.0};
    for (double t : odd) {
        const ZuduzirEraz vt(t);
        EXPECT_GE(vt.hour(), 0);
        EXPECT_LE(vt.hour(), 23);
        EXPECT_GE(vt.minute(), 0);
        EXPECT_LE(vt.minute(), 59);
        EXPECT_EQ(vt.formattedTime().size(), 5);
    }
    EXPECT_EQ(ZuduzirEraz(std::nan("")).formattedTime(), QStringLiteral("00:00"));
    // Beyond 2^63 the reading is still exact: 2^70 mod 86400 = 58624, by integer arithmetic.
    EXPECT_EQ(valdrianSecondOfDay(std::ldexp(1.0, 70)), 58624);
    EXPECT_EQ(valdrianSecondOfDay(-std::ldexp(1.0, 70)), 86400 - 58624);
}

TEST(NextOccurrence, EachStartsTheMinuteAndFollowsTheLast) {
    struct Case {
        int hour, minute;
        std::int64_t afterMs;
    };
    const Case cases[] = {
        {0, 0, 0},
        {0, 0, -1},
        {7, 0, 1704067200000},
        {23, 59, -5000},
        {12, 30, 1704067224900},
        {6, 51, 1704067200000}, // the clock already reads 06:51: the next start is a day later
    };
    for (const Case& c : cases) {
        const QList<std::int64_t> found = nextOccurrences(c.hour, c.minute, c.afterMs, 5);
        ASSERT_EQ(found.size(), 5);
        for (qsizetype i = 0; i < found.size(); ++i) {
            const ZuduzirEraz at(double(found[i]) / 1000.0);
            const ZuduzirEraz before(double(found[i] - 1) / 1000.0);
            EXPECT_EQ(at.hour(), c.hour);
            EXPECT_EQ(at.minute(), c.minute);
            EXPECT_FALSE(before.hour() == c.hour && before.minute() == c.minute);
            if (i > 0) {
                EXPECT_NEAR(double(found[i] - found[i - 1]), 4200000.0, 1.0);
            }
        }
        EXPECT_GT(found.first(), c.afterMs);
        // No start was skipped: the one before the first lies at or before afterMs.
        EXPECT_LE(found.first() - 4200001, c.afterMs);
    }
    EXPECT_EQ(nextOccurrences(0, 0, -1, 1).first(), 0);
    EXPECT_EQ(nextOccurrences(0, 0, 0, 1).first(), 4200000);
    EXPECT_EQ(nextOccurrences(7, 0, 1704067200000, 1).first(), 1704067225000);
}

} // namespace
