#include "alarms/base10.h"

#include <QString>

#include <gtest/gtest.h>

namespace {

TEST(Base10, ReadsOnlySignedAsciiDigitsInRange) {
    struct Case {
        const char16_t* text;
        std::optional<std::int64_t> value;
    };
    const Case cases[] = {
        {u"7", 7},
        {u"07", 7},
        {u"+7", 7},
        {u"-5", -5},
        {u"00", 0},
        {u"-0", 0},
        {u"9223372036854775807", INT64_MAX},
        {u"-9223372036854775808", INT64_MIN},
        {u"+0009223372036854775807", INT64_MAX},
        {u"9223372036854775808", std::nullopt},
        {u"-9223372036854775809", std::nullopt},
        {u"99999999999999999999", std::nullopt},
        {u"", std::nullopt},
        {u"+", std::nullopt},
        {u"-", std::nullopt},
        {u"+-7", std::nullopt},
        {u"--7", std::nullopt},
        {u" 7", std::nullopt},
        {u"7 ", std::nullopt},
        {u"1a2", std::nullopt},
        {u"0x10", std::nullopt},
        {u"1e3", std::nullopt},
        {u"1.0", std::nullopt},
        {u"１２", std::nullopt},    // full-width digits
        {u"\u0667", std::nullopt},  // Arabic-Indic seven
        {u"7\u0301", std::nullopt}, // a digit with a combining mark
    };
    for (const Case& c : cases) {
        const QString text = QString::fromUtf16(c.text);
        EXPECT_EQ(parseBase10(text), c.value) << text.toStdString();
    }
}

} // namespace
