// The command line's --at instant and --next HH:MM: a value that gets through must be one the clock
// can turn into Valdrian hours and minutes without overflow.

#include "app/instant.h"
#include "clock/valdrian_time.h"
#include "fuzz_input.h"

#include <cmath>

namespace {

void check(const QString& text) {
    if (const std::optional<double> seconds = parseInstant(text)) {
        const double valdrian = *seconds * ZuduzirEraz::kFactor;
        fuzz::check(std::isfinite(valdrian) && std::fabs(valdrian) < 9223372036854775808.0,
                    "Valdrian seconds fit 64 bits", text);
    }
    if (const std::optional<HourMinute> time = parseHourMinute(text)) {
        fuzz::check(time->hour >= 0 && time->hour <= 23 && time->minute >= 0 && time->minute <= 59,
                    "a time of day", text);
        fuzz::check(QStringLiteral("%1:%2").arg(time->hour).arg(time->minute, 2, 10, QLatin1Char('0')) ==
                        (text.size() == 4 ? text : text.mid(text.startsWith(u'0') ? 1 : 0)),
                    "reads the digits it was given", text);
    }
}

} // namespace

FUZZ_TEXT_TARGET(check)
