#include "app/instant.h"

#include "alarms/base10.h"
#include "clock/valdrian_time.h"

#include <QDateTime>
#include <QRegularExpression>

#include <cmath>

namespace {

bool isDecimalNumber(QStringView text) {
    static const QRegularExpression pattern(QStringLiteral("\\A[+-]?[0-9]+(\\.[0-9]+)?\\z"));
    return pattern.match(text).hasMatch();
}

// The conversion floors Valdrian seconds; beyond +-2^63 they would no longer fit the integers that
// hours and minutes are read from elsewhere.
bool valdrianSecondsFit(double seconds) {
    constexpr double kLimit = 9223372036854775808.0; // 2^63
    const double v = seconds * ZuduzirEraz::kFactor;
    return std::isfinite(v) && v > -kLimit && v < kLimit;
}

} // namespace

std::optional<double> parseInstant(QStringView text) {
    double seconds = 0;
    if (isDecimalNumber(text)) {
        bool ok = false;
        seconds = text.toDouble(&ok); // C locale: "." is the decimal point whatever LANG says
        if (!ok) {
            return std::nullopt;
        }
    } else {
        const QDateTime dateTime = QDateTime::fromString(text.toString(), Qt::ISODateWithMs);
        if (!dateTime.isValid() || dateTime.timeSpec() == Qt::LocalTime) {
            return std::nullopt;
        }
        seconds = double(dateTime.toMSecsSinceEpoch()) / 1000.0;
    }
    if (!valdrianSecondsFit(seconds)) {
        return std::nullopt;
    }
    return seconds;
}

std::optional<HourMinute> parseHourMinute(QStringView text) {
    static const QRegularExpression pattern(QStringLiteral("\\A([0-9]{1,2}):([0-9]{2})\\z"));
    const QRegularExpressionMatch match = pattern.match(text);
    if (!match.hasMatch()) {
        return std::nullopt;
    }
    const auto hour = parseBase10(match.capturedView(1));
    const auto minute = parseBase10(match.capturedView(2));
    if (!hour || !minute || *hour > 23 || *minute > 59) {
        return std::nullopt;
    }
    return HourMinute{int(*hour), int(*minute)};
}
