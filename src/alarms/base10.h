#pragma once

#include <QStringView>

#include <cstdint>
#include <optional>

// Reads an alarm's hour or minute text: an optional single "+" or "-", then one or more ASCII
// digits and nothing else, within the signed 64-bit range. Anything else gives no number.
[[nodiscard]] std::optional<std::int64_t> parseBase10(QStringView text) noexcept;
