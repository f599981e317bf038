#pragma once

#include <QString>

// Turn whatever was typed into an hour or minute field into a two-digit text. Only characters that
// are a bare ASCII digit count (a digit carrying a combining mark does not); a value past the
// largest hour (minute) becomes it; no digits, or more than a 64-bit number holds, gives "00".
[[nodiscard]] QString sanitizeHour(const QString& text);
[[nodiscard]] QString sanitizeMinutes(const QString& text);
