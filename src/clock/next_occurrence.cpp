#include "clock/next_occurrence.h"

#include "clock/valdrian_time.h"

#include <cmath>

namespace {

// Valdrian seconds (floored) that the clock reads at real millisecond ms.
double flooredValdrianAt(std::int64_t ms) {
    return std::floor(ZuduzirEraz(double(ms) / 1000.0).date());
}

// First millisecond at which the floored Valdrian seconds reach `target`. The conversion is
// monotone, so a short walk from the estimate finds it exactly.
std::int64_t firstMillisecondReaching(double target) {
    auto ms = static_cast<std::int64_t>(std::floor(target / ZuduzirEraz::kFactor * 1000.0)) - 2;
    while (flooredValdrianAt(ms) >= target) {
        --ms;
    }
    while (flooredValdrianAt(ms) < target) {
        ++ms;
    }
    return ms;
}

} // namespace

QList<std::int64_t> nextOccurrences(int hour, int minute, std::int64_t afterMs, int count) {
    QList<std::int64_t> result;
    result.reserve(count);
    const double offset = hour * 3600.0 + minute * 60.0;
    // Start a day early: the minute's start in the current Valdrian day may still lie ahead.
    double day =
        std::floor(std::floor(ZuduzirEraz(double(afterMs) / 1000.0).date()) / ZuduzirEraz::kSecondsPerDay) -
        1;
    while (result.size() < count) {
        const std::int64_t ms = firstMillisecondReaching(day * ZuduzirEraz::kSecondsPerDay + offset);
        if (ms > afterMs) {
            result.append(ms);
        }
        day += 1;
    }
    return result;
}
