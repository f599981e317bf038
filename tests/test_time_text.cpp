#include "alarms/time_text.h"

#include <gtest/gtest.h>

namespace {

struct Case {
    QString typed;
    const char* hour;
    const char* minutes;
};

TEST(TimeText, SanitizesAnyTextToTwoDigitsInRange) {
    const Case cases[] = {
        {QStringLiteral(""), "00", "00"},
        {QStringLiteral("7"), "07", "07"},
        {QStringLiteral("00"), "00", "00"},
        {QStringLiteral("23"), "23", "23"},
        {QStringLiteral("24"), "23", "24"},
        {QStringLiteral("59"), "23", "59"},
        {QStringLiteral("60"), "23", "59"},
        {QStringLiteral("99"), "23", "59"},
        {QStringLiteral("123"), "23", "59"},
        {QStringLiteral("007"), "07", "07"},
        {QStringLiteral("0000000000000000000000000000012"), "12", "12"},
        {QStringLiteral("1a2"), "12", "12"},
        {QStringLiteral(" 1 2 "), "12", "12"},
        {QStringLiteral("-5"), "05", "05"},
        {QStringLiteral("+5"), "05", "05"},
        {QStringLiteral("abc"), "00", "00"},
        {QStringLiteral("１２"), "00", "00"},          // full-width digits
        {QStringLiteral("٣"), "00", "00"},             // Arabic-Indic three
        {QStringLiteral("7\u0301"), "00", "00"},       // a digit carrying a combining mark
        {QStringLiteral("1\u03012"), "02", "02"},      // ... keeps the bare digit after it
        {QStringLiteral("3\ufe0f\u20e3"), "00", "00"}, // keycap three
        {QStringLiteral("時間は１２時 or 7pm"), "07", "07"},
        {QStringLiteral("😀9"), "09", "09"},
        {QStringLiteral("99999999999999999999"), "00", "00"}, // overflow: no number, not the largest
        {QStringLiteral("9223372036854775807"), "23", "59"},  // the largest 64-bit number
        {QStringLiteral("9223372036854775808"), "00", "00"},
        {QString(100000, u'5'), "00", "00"},
        {QString(100000, u'0') + u'8', "08", "08"},
        {QString(100000, u'x') + u'4' + u'2', "23", "42"},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(sanitizeHour(c.typed), QLatin1String(c.hour)) << c.typed.left(40).toStdString();
        EXPECT_EQ(sanitizeMinutes(c.typed), QLatin1String(c.minutes)) << c.typed.left(40).toStdString();
    }
}

} // namespace
