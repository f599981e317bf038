#pragma once

#include <QStringView>

#include <optional>

// An instant typed on the command line, in seconds since the epoch: a decimal number (sign and
// fraction allowed) or an ISO 8601 date-time with a zone ("Z" or an offset). Gives nothing for
// any other text, and for instants whose Valdrian seconds don't fit a signed 64-bit integer.
[[nodiscard]] std::optional<double> parseInstant(QStringView text);

// "HH:MM" with hour 0-23 and minute 0-59; the hour may be one digit.
struct HourMinute {
    int hour = 0;
    int minute = 0;
};
[[nodiscard]] std::optional<HourMinute> parseHourMinute(QStringView text);
