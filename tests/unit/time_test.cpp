#include "alarms/base10.h"
#include "alarms/time_text.h"
#include "clock/next_occurrence.h"
#include "support.h"

#include <QRegularExpression>

#include <gtest/gtest.h>

#include <cmath>
#include <tuple>

// The reference readings: instant, Valdrian seconds to the bit, time in the label.
TEST(ValdrianTime, WorkedExamples) {
    // clang-format off
    const std::tuple<double, double, const char*> rows[] = {
        {0, 0.0, "00:00"}, {3, 61.71428571428572, "00:01"}, {174.9, 3597.9428571428575, "00:59"},
        {175, 3600.0000000000005, "01:00"}, {4199, 86379.42857142858, "23:59"}, {4200, 86400.0, "00:00"},
        {-1, -20.571428571428573, "23:59"}, {-0.5, -10.285714285714286, "23:59"},
        {-2.94, -60.480000000000004, "23:58"}, {1704067200, 35055096685.71429, "06:51"},
        {1704067224.9, 35055097197.94286, "06:59"}, {1704067225, 35055097200.0, "07:00"}};
    // clang-format on
    for (const auto& [t, v, label] : rows) {
        EXPECT_EQ(ZuduzirEraz(t).date(), v) << t;
        EXPECT_EQ(clockLabel(ZuduzirEraz(t)), QStringLiteral("VT: ") + QLatin1String(label)) << t;
    }
}

// Any double reads as a time of day, past 2^63 still exactly (2^70 mod 86400 = 58624).
TEST(ValdrianTime, EveryInstantReadsAsTheFlooredTimeOfDay) {
    const QRegularExpression hhmm(QStringLiteral("^([01][0-9]|2[0-3]):[0-5][0-9]$"));
    for (const double t : {std::nan(""), HUGE_VAL, -HUGE_VAL, 1e300, -1e300, 9.3e18, -9.3e18, 5e-324, -0.0}) {
        EXPECT_TRUE(hhmm.match(ZuduzirEraz(t).formattedTime()).hasMatch()) << t;
    }
    EXPECT_EQ(valdrianSecondOfDay(std::ldexp(1.0, 70)), 58624);
    EXPECT_EQ(valdrianSecondOfDay(-std::ldexp(1.0, 70)), 86400 - 58624);
}

// Each result starts the minute (the millisecond before reads otherwise), the first is the next
// one after the instant, and they follow a Valdrian day apart.
TEST(NextOccurrence, EachStartsTheMinuteADayAfterTheLast) {
    const auto reads = [](std::int64_t ms, int hour, int minute) {
        const ZuduzirEraz vt(double(ms) / 1000.0);
        return vt.hour() == hour && vt.minute() == minute;
    };
    const std::int64_t day = 4'200'000;
    for (const std::int64_t after : {0LL, -1LL, -5000LL, -4200000LL, 1704067200000LL, 1704067224900LL}) {
        for (const auto& [hour, minute] : {std::pair{0, 0}, {7, 0}, {6, 51}, {12, 30}, {23, 59}}) {
            SCOPED_TRACE(testing::Message() << after << " " << hour << ":" << minute);
            const QList<std::int64_t> found = nextOccurrences(hour, minute, after, 4);
            ASSERT_EQ(found.size(), 4);
            EXPECT_TRUE(found[0] > after && found[0] - day - 1 <= after);
            for (qsizetype i = 0; i < found.size(); ++i) {
                EXPECT_TRUE(reads(found[i], hour, minute) && !reads(found[i] - 1, hour, minute)) << i;
                EXPECT_NEAR(double(found[i] - found[0]), double(i * day), 1.0 + double(i)) << i;
            }
        }
    }
}

// An hour or minute text read as a number (an optional sign, ASCII digits, 64 bits), and what the
// time fields make of the same text: text, number, "hour field:minute field". Full-width and
// Arabic-Indic digits, a keycap digit and a digit carrying a combining mark are no digits.
TEST(TimeTexts, ParseAndSanitize) {
    // clang-format off
    const std::tuple<const char16_t*, std::optional<std::int64_t>, const char*> rows[] = {
        {u"7", 7, "07:07"}, {u"+7", 7, "07:07"}, {u"-5", -5, "05:05"}, {u"-0", 0, "00:00"},
        {u"007", 7, "07:07"}, {u"24", 24, "23:24"}, {u"60", 60, "23:59"}, {u"", {}, "00:00"},
        {u"9223372036854775807", INT64_MAX, "23:59"}, {u"+0009223372036854775807", INT64_MAX, "23:59"},
        {u"-9223372036854775808", INT64_MIN, "00:00"}, {u"9223372036854775808", {}, "00:00"},
        {u"-9223372036854775809", {}, "00:00"}, {u"99999999999999999999", {}, "00:00"}, {u"+", {}, "00:00"},
        {u"+-7", {}, "07:07"}, {u"--7", {}, "07:07"}, {u" 7", {}, "07:07"}, {u"7 ", {}, "07:07"},
        {u"1a2", {}, "12:12"}, {u"1e3", {}, "13:13"}, {u"0x10", {}, "10:10"}, {u"時間は１２時 or 7pm", {}, "07:07"},
        {u"１２", {}, "00:00"}, {u"\u0667", {}, "00:00"}, {u"😀9", {}, "09:09"}, {u"3\ufe0f\u20e3", {}, "00:00"},
        {u"7\u0301", {}, "00:00"}, {u"1\u03012", {}, "02:02"}};
    // clang-format on
    for (const auto& [chars, value, fields] : rows) {
        const QString text = QString::fromUtf16(chars);
        EXPECT_EQ(parseBase10(text), value) << text.toStdString();
        EXPECT_EQ(sanitizeHour(text) + u':' + sanitizeMinutes(text), QLatin1String(fields))
            << text.toStdString();
    }
}
