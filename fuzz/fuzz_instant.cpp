// The command line's --at instant and --next HH:MM. A value that gets through must be one the clock
// can turn into Valdrian hours and minutes without overflow.

#include "app/instant.h"
#include "fuzz_input.h"

#include <charconv>
#include <cmath>
#include <string>

namespace {

constexpr double kValdrianRate = 20.571428571428573; // 144/7 as a double
constexpr double kTwoTo63 = 9223372036854775808.0;

bool isAsciiDigit(QChar c) {
    return c >= u'0' && c <= u'9';
}

// [+-]?[0-9]+(\.[0-9]+)?, read by hand; gives the text from_chars takes (no "+") or nothing.
std::optional<std::string> decimalForm(QStringView text) {
    std::string ascii;
    qsizetype i = 0;
    if (!text.isEmpty() && (text[0] == u'+' || text[0] == u'-')) {
        if (text[0] == u'-') {
            ascii.push_back('-');
        }
        i = 1;
    }
    const auto digits = [&] {
        const qsizetype start = i;
        while (i < text.size() && isAsciiDigit(text[i])) {
            ascii.push_back(char(text[i].unicode()));
            ++i;
        }
        return i > start;
    };
    if (!digits()) {
        return std::nullopt;
    }
    if (i < text.size() && text[i] == u'.') {
        ascii.push_back('.');
        ++i;
        if (!digits()) {
            return std::nullopt;
        }
    }
    if (i != text.size()) {
        return std::nullopt;
    }
    return ascii;
}

void checkInstant(QStringView text) {
    const std::optional<double> seconds = parseInstant(text);
    if (seconds) {
        const double valdrian = *seconds * kValdrianRate;
        FUZZ_CHECK(std::isfinite(*seconds), text.toString());
        FUZZ_CHECK(std::isfinite(valdrian) && std::fabs(valdrian) < kTwoTo63,
                   QStringLiteral("[%1] -> %2").arg(text).arg(*seconds, 0, 'g', 17));
    }

    // A plain decimal number reads as the nearest double, the one from_chars gives, unless it is
    // past the range where the clock works. Numbers so long that from_chars calls them out of range
    // (underflow to zero, overflow) are left to the bounds check above.
    const std::optional<std::string> decimal = decimalForm(text);
    if (!decimal) {
        return;
    }
    double want = 0;
    const char* end = decimal->data() + decimal->size();
    const auto [stop, error] = std::from_chars(decimal->data(), end, want);
    if (error != std::errc{} || stop != end) {
        return;
    }
    const bool fits = std::fabs(want * kValdrianRate) < kTwoTo63;
    const auto detail = [&] {
        return QStringLiteral("[%1] -> %2, from_chars %3")
            .arg(text, seconds ? QString::number(*seconds, 'g', 17) : QStringLiteral("none"))
            .arg(want, 0, 'g', 17);
    };
    FUZZ_CHECK(seconds.has_value() == fits, detail());
    if (seconds) {
        FUZZ_CHECK(*seconds == want, detail());
    }
}

// \A[0-9]{1,2}:[0-9]{2}\z with the hour at most 23 and the minute at most 59, read by hand.
std::optional<HourMinute> referenceHourMinute(QStringView text) {
    const qsizetype colon = text.indexOf(u':');
    if (colon < 1 || colon > 2 || text.size() != colon + 3) {
        return std::nullopt;
    }
    int hour = 0;
    for (qsizetype i = 0; i < colon; ++i) {
        if (!isAsciiDigit(text[i])) {
            return std::nullopt;
        }
        hour = hour * 10 + (text[i].unicode() - u'0');
    }
    if (!isAsciiDigit(text[colon + 1]) || !isAsciiDigit(text[colon + 2])) {
        return std::nullopt;
    }
    const int minute = (text[colon + 1].unicode() - u'0') * 10 + (text[colon + 2].unicode() - u'0');
    if (hour > 23 || minute > 59) {
        return std::nullopt;
    }
    return HourMinute{hour, minute};
}

void checkHourMinute(QStringView text) {
    const std::optional<HourMinute> got = parseHourMinute(text);
    const std::optional<HourMinute> want = referenceHourMinute(text);
    const auto detail = [&] {
        return QStringLiteral("[%1] -> %2, reference %3")
            .arg(text, got ? QStringLiteral("%1:%2").arg(got->hour).arg(got->minute) : QStringLiteral("none"),
                 want ? QStringLiteral("%1:%2").arg(want->hour).arg(want->minute) : QStringLiteral("none"));
    };
    FUZZ_CHECK(got.has_value() == want.has_value(), detail());
    if (got) {
        FUZZ_CHECK(got->hour >= 0 && got->hour <= 23 && got->minute >= 0 && got->minute <= 59, detail());
        FUZZ_CHECK(got->hour == want->hour && got->minute == want->minute, detail());
    }
}

void check(const QString& text) {
    checkInstant(text);
    checkHourMinute(text);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    check(fuzz::utf8Text(data, size));
    check(fuzz::utf16Text(data, size));
    return 0;
}
