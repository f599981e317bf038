#pragma once

#include "alarms/alarm_model.h"

#include <cstdint>
#include <optional>

// A Valdrian hour and minute of the day.
struct ValdrianMinute {
    int hour = 0;
    int minute = 0;
    friend bool operator==(const ValdrianMinute&, const ValdrianMinute&) = default;
};

// The next alarm the clock will speak: the first in list order of those due at the nearest
// Valdrian minute, and how many others are due with it.
struct UpcomingAlarm {
    AlarmModel alarm;
    ValdrianMinute at;
    std::int64_t atMs = 0; // real instant the minute starts, ms since the epoch
    int others = 0;
    friend bool operator==(const UpcomingAlarm& a, const UpcomingAlarm& b) {
        return a.alarm.id == b.alarm.id && a.alarm.title == b.alarm.title && a.at == b.at &&
               a.atMs == b.atMs && a.others == b.others;
    }
};

struct UpcomingTimeSignal {
    int hour = 0;
    std::int64_t atMs = 0;
    friend bool operator==(const UpcomingTimeSignal&, const UpcomingTimeSignal&) = default;
};

// What the clock will say next, as seen at fromMs; empty parts will not be said.
struct Upcoming {
    std::int64_t fromMs = 0;
    std::optional<UpcomingAlarm> alarm;
    std::optional<UpcomingTimeSignal> timeSignal;
    friend bool operator==(const Upcoming&, const Upcoming&) = default;
};

// The Valdrian minute an alarm's texts read as, whether it is on or not; none when they read as no
// hour of the day or no minute of the hour, so it can never be due.
[[nodiscard]] std::optional<ValdrianMinute> alarmMinute(const AlarmModel& alarm);

// The next alarm of the list due strictly after afterMs; none when no alarm of it can be due.
[[nodiscard]] std::optional<UpcomingAlarm> nextAlarm(const AlarmList& alarms, std::int64_t afterMs);

// The next start of a Valdrian hour strictly after afterMs.
[[nodiscard]] UpcomingTimeSignal nextTimeSignal(std::int64_t afterMs);
