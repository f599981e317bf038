// Whatever is typed or pasted into an hour or minute field ends up a two-digit time in range, and
// cleaning it again changes nothing.

#include "alarms/time_text.h"
#include "fuzz_input.h"

namespace {

int twoDigitValue(const QString& text) {
    const bool digits = text.size() == 2 && text[0].isDigit() && text[0].unicode() < 128 &&
                        text[1].isDigit() && text[1].unicode() < 128;
    return digits ? text.toInt() : -1;
}

void check(const QString& text) {
    const QString hour = sanitizeHour(text);
    const QString minutes = sanitizeMinutes(text);
    const int h = twoDigitValue(hour);
    const int m = twoDigitValue(minutes);
    fuzz::check(h >= 0 && h <= 23 && m >= 0 && m <= 59, "two digits in range", text);
    fuzz::check(sanitizeHour(hour) == hour && sanitizeMinutes(minutes) == minutes, "a fixed point", text);
    fuzz::check(h == std::min(m, 23), "both read the same number", text);
}

} // namespace

FUZZ_TEXT_TARGET(check)
