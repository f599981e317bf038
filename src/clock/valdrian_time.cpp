#include "clock/valdrian_time.h"

#include <cmath>

int valdrianSecondOfDay(double valdrianSeconds) noexcept {
    if (!std::isfinite(valdrianSeconds)) {
        return 0;
    }
    // fmod is exact for doubles, so this holds far beyond the range of a 64-bit integer too.
    double r = std::fmod(std::floor(valdrianSeconds), double(ZuduzirEraz::kSecondsPerDay));
    if (r < 0) {
        r += ZuduzirEraz::kSecondsPerDay;
    }
    return static_cast<int>(r);
}

ZuduzirEraz::ZuduzirEraz(double realSeconds) noexcept
    : date_(realSeconds * kFactor)
    , secondOfDay_(valdrianSecondOfDay(date_)) {}

QString ZuduzirEraz::formattedTime() const {
    const int h = hour();
    const int m = minute();
    const QChar text[5] = {QChar(u'0' + h / 10), QChar(u'0' + h % 10), QChar(u':'), QChar(u'0' + m / 10),
                           QChar(u'0' + m % 10)};
    return QString(text, 5);
}

QString clockLabel(const ZuduzirEraz& vt) {
    return QStringLiteral("VT: ") + vt.formattedTime();
}
