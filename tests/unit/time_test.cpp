#include "alarms/base10.h"
#include "alarms/time_text.h"
#include "clock/next_occurrence.h"
#include "support.h"

#include <gtest/gtest.h>

#include <cmath>
#include <tuple>

// The time of day read from real instants: floored, also before 1970 (the nearest doubles either
// side of a minute edge, where t*144/7 reads another minute than the stored factor) and beyond any
// integer type; what is no number reads as midnight.
TEST(ValdrianTime, ReadsTheFlooredTimeOfDay) {
    // clang-format off
    const std::pair<double, const char*> rows[] = {{0, "00:00"}, {174.9, "00:59"}, {4200, "00:00"},
        {20.416666666666664, "00:07"}, {-14.583333333333334, "23:54"}, {-1, "23:59"}, {-2.94, "23:58"},
        {1e300, "20:22"}, {-1e300, "03:37"}, {NAN, "00:00"}, {HUGE_VAL, "00:00"}, {-HUGE_VAL, "00:00"}};
    // clang-format on
    for (const auto& [t, label] : rows) {
        EXPECT_EQ(clockLabel(ZuduzirEraz(t)), QStringLiteral("VT: ") + QLatin1String(label)) << t;
    }
}

// The next two starts of a Valdrian minute after an instant: each the first millisecond that reads
// as that minute, the first within a day of the instant.
TEST(NextOccurrence, EachIsTheFirstMillisecondOfTheMinute) {
    for (const std::int64_t after : {0LL, -5000LL, 1704067224900LL}) {
        for (const auto& [hour, minute] : {std::pair{0, 0}, {7, 0}, {23, 59}}) {
            const QString hhmm = QString::asprintf("%02d:%02d", hour, minute);
            SCOPED_TRACE(testing::Message() << after << " " << hhmm.toStdString());
            const QList<std::int64_t> found = nextOccurrences(hour, minute, after, 2);
            ASSERT_EQ(found.size(), 2);
            EXPECT_TRUE(found[0] > after && found[0] <= after + 4'200'000);
            for (const std::int64_t ms : found) {
                EXPECT_EQ(ZuduzirEraz(ms / 1000.0).formattedTime(), hhmm);
                EXPECT_NE(ZuduzirEraz((ms - 1) / 1000.0).formattedTime(), hhmm);
            }
        }
    }
}

// An hour or minute text as a number (an optional sign, ASCII digits, 64 bits), and as the time
// fields show it, "hour:minute": other digits, and a digit with a combining mark, are no digits.
TEST(TimeTexts, ParseAndSanitize) {
    // clang-format off
    const std::tuple<const char16_t*, std::optional<std::int64_t>, const char*> rows[] = {
        {u"7", 7, "07:07"}, {u"24", 24, "23:24"}, {u" 7", {}, "07:07"}, {u"1a2", {}, "12:12"},
        {u"-9223372036854775808", INT64_MIN, "00:00"}, {u"１２", {}, "00:00"}, {u"7\u0301", {}, "00:00"},
        {u"99999999999999999999", {}, "00:00"}, {u"時間は１２時 or 7pm", {}, "07:07"}};
    // clang-format on
    for (const auto& [chars, value, fields] : rows) {
        const QString text = QString::fromUtf16(chars);
        SCOPED_TRACE(text.toStdString());
        EXPECT_EQ(parseBase10(text), value);
        EXPECT_EQ(sanitizeHour(text) + u':' + sanitizeMinutes(text), QLatin1String(fields));
    }
}
