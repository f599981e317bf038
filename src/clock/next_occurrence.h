#pragma once

#include <QList>

#include <cstdint>

// Real instants, in milliseconds since the epoch, at which the Valdrian clock starts reading
// hour:minute, the first `count` of them strictly after `afterMs`. Each returned millisecond reads
// hour:minute and the millisecond before it does not. afterMs must keep the results within
// +-2^53 ms so that they stay exact in a double.
[[nodiscard]] QList<std::int64_t> nextOccurrences(int hour, int minute, std::int64_t afterMs, int count);
