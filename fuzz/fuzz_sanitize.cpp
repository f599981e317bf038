// Whatever is typed or pasted into an hour or minute field: the field must always end up holding a
// two-digit time, and cleaning it again must not change it.

#include "alarms/time_text.h"
#include "fuzz_input.h"

#include <algorithm>
#include <charconv>
#include <cstdint>
#include <string>

namespace {

// Two ASCII digits; their value, or -1.
int twoDigitValue(const QString& text) {
    if (text.size() != 2) {
        return -1;
    }
    const char16_t tens = text[0].unicode();
    const char16_t ones = text[1].unicode();
    if (tens < u'0' || tens > u'9' || ones < u'0' || ones > u'9') {
        return -1;
    }
    return (tens - u'0') * 10 + (ones - u'0');
}

bool hasAsciiDigit(const QString& text) {
    return std::any_of(text.begin(), text.end(), [](QChar c) { return c >= u'0' && c <= u'9'; });
}

// Below U+0370 the only characters that join the one before them into a grapheme are the
// combining diacritical marks U+0300-U+036F (and LF after CR, which involves no digit). On such
// text the expected value can be read without a boundary finder: a digit counts unless a mark
// follows it.
bool isBelowGreek(const QString& text) {
    return std::all_of(text.begin(), text.end(), [](QChar c) { return c.unicode() < 0x370; });
}

bool isCombiningMark(char16_t c) {
    return c >= 0x300 && c <= 0x36f;
}

int expectedValue(const QString& text, int largest) {
    std::string digits;
    for (qsizetype i = 0; i < text.size(); ++i) {
        const bool marked = i + 1 < text.size() && isCombiningMark(text[i + 1].unicode());
        if (text[i] >= u'0' && text[i] <= u'9' && !marked) {
            digits.push_back(char(text[i].unicode()));
        }
    }
    std::int64_t value = 0;
    const char* end = digits.data() + digits.size();
    const auto [stop, error] = std::from_chars(digits.data(), end, value);
    if (digits.empty() || error != std::errc{} || stop != end) {
        return 0;
    }
    return int(std::min<std::int64_t>(value, largest));
}

void check(const QString& text) {
    const QString hour = sanitizeHour(text);
    const QString minutes = sanitizeMinutes(text);
    const auto detail = [&] {
        return QStringLiteral("[%1] -> hour [%2] minutes [%3]").arg(text, hour, minutes);
    };

    const int h = twoDigitValue(hour);
    const int m = twoDigitValue(minutes);
    FUZZ_CHECK(h >= 0 && h <= 23, detail());
    FUZZ_CHECK(m >= 0 && m <= 59, detail());
    FUZZ_CHECK(sanitizeHour(hour) == hour, detail());
    FUZZ_CHECK(sanitizeMinutes(minutes) == minutes, detail());
    // Both read the same number and differ only in where they clamp it.
    FUZZ_CHECK(h == std::min(m, 23), detail());
    if (!hasAsciiDigit(text)) {
        FUZZ_CHECK(h == 0 && m == 0, detail());
    }
    if (isBelowGreek(text)) {
        FUZZ_CHECK(h == expectedValue(text, 23), detail());
        FUZZ_CHECK(m == expectedValue(text, 59), detail());
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    check(fuzz::utf8Text(data, size));
    check(fuzz::utf16Text(data, size));
    return 0;
}
