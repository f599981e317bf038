#pragma once

#include "alarms/alarm_model.h"
#include "clock/upcoming.h"

#include <QString>

#include <cstdint>

// The clock's tooltip: the label, then what will be said next with its real local time and how
// long until then, one line each.
[[nodiscard]] QString upcomingToolTip(const QString& label, const Upcoming& upcoming);

// The next three real local times at which the alarm's hour and minute come, after afterMs; or, when
// its texts read as no time of day, that they never come.
[[nodiscard]] QString occurrencesToolTip(const AlarmModel& alarm, std::int64_t afterMs);
