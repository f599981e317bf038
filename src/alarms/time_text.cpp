#include "alarms/time_text.h"

#include "alarms/base10.h"

#include <QTextBoundaryFinder>

#include <algorithm>
#include <cstdint>

namespace {

// Walks user-perceived characters, not code units, so that "7" followed by a combining accent is
// one character that is not a digit.
QString asciiDigitsOnly(const QString& text) {
    QString digits;
    QTextBoundaryFinder graphemes(QTextBoundaryFinder::Grapheme, text);
    qsizetype start = 0;
    for (qsizetype end = graphemes.toNextBoundary(); end != -1; end = graphemes.toNextBoundary()) {
        if (end - start == 1 && text[start] >= u'0' && text[start] <= u'9') {
            digits.append(text[start]);
        }
        start = end;
    }
    return digits;
}

QString sanitizeTwoDigits(const QString& text, std::int64_t largest) {
    const std::optional<std::int64_t> value = parseBase10(asciiDigitsOnly(text));
    const std::int64_t clamped = value ? std::min(*value, largest) : 0;
    return QStringLiteral("%1").arg(clamped, 2, 10, QLatin1Char('0'));
}

} // namespace

QString sanitizeHour(const QString& text) {
    return sanitizeTwoDigits(text, 23);
}

QString sanitizeMinutes(const QString& text) {
    return sanitizeTwoDigits(text, 59);
}
