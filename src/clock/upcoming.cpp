#include "clock/upcoming.h"

#include "alarms/base10.h"
#include "clock/next_occurrence.h"
#include "clock/valdrian_time.h"

namespace {

constexpr int kMinutesPerDay = 24 * 60;

// The Valdrian minute of the day the clock reads at real millisecond ms.
int minuteOfDayAt(std::int64_t ms) {
    const ZuduzirEraz vt(double(ms) / 1000.0);
    return vt.hour() * 60 + vt.minute();
}

} // namespace

std::optional<ValdrianMinute> alarmMinute(const AlarmModel& alarm) {
    const std::optional<std::int64_t> hour = parseBase10(alarm.hour);
    const std::optional<std::int64_t> minute = parseBase10(alarm.minutes);
    if (!hour || !minute || *hour < 0 || *hour >= 24 || *minute < 0 || *minute >= 60) {
        return std::nullopt;
    }
    return ValdrianMinute{int(*hour), int(*minute)};
}

std::optional<UpcomingAlarm> nextAlarm(const AlarmList& alarms, std::int64_t afterMs) {
    // Minutes ahead are counted on the Valdrian day's dial, so the nearest is found without asking
    // for each alarm's real instant; the current minute has begun, so it comes round last.
    const int now = minuteOfDayAt(afterMs);
    std::optional<UpcomingAlarm> next;
    int nearest = kMinutesPerDay + 1;
    for (const AlarmModel& alarm : alarms) {
        if (!alarm.enabled) {
            continue;
        }
        const std::optional<ValdrianMinute> at = alarmMinute(alarm);
        if (!at) {
            continue;
        }
        const int ahead = (at->hour * 60 + at->minute - now + kMinutesPerDay - 1) % kMinutesPerDay + 1;
        if (ahead < nearest) {
            nearest = ahead;
            next = UpcomingAlarm{alarm, *at, 0, 0};
        } else if (ahead == nearest) {
            ++next->others;
        }
    }
    if (next) {
        next->atMs = nextOccurrences(next->at.hour, next->at.minute, afterMs, 1).front();
    }
    return next;
}

UpcomingTimeSignal nextTimeSignal(std::int64_t afterMs) {
    const int hour = (minuteOfDayAt(afterMs) / 60 + 1) % 24;
    return {hour, nextOccurrences(hour, 0, afterMs, 1).front()};
}
