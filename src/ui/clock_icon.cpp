#include "ui/clock_icon.h"

#include <QFont>
#include <QPainter>
#include <QPainterPath>
#include <QPen>
#include <QRectF>
#include <QString>
#include <QTransform>

#include <algorithm>
#include <array>
#include <cmath>
#include <cstddef>

namespace {

constexpr std::array kSizes{16, 22, 24, 32, 48, 64};
constexpr std::array kRatios{1.0, 2.0};

const QColor kDigitColor(0xf8, 0xf8, 0xf8);
const QColor kOutlineColor(0x14, 0x14, 0x14);

// The outlines of "00" to "99", laid out once: shaping text costs far more than drawing it, and a
// new icon is made every few seconds all day.
struct DigitPairs {
    std::array<QPainterPath, 100> paths;
    // The box every pair is mapped to, so that each digit keeps its place and size whatever the
    // time: the union of all pairs' outlines, not the outline of the one pair drawn.
    QRectF bounds;
};

const DigitPairs& digitPairs() {
    static const DigitPairs pairs = [] {
        QFont font(QStringLiteral("DejaVu Sans"));
        font.setStyleHint(QFont::SansSerif);
        font.setPixelSize(100); // only the precision of the outlines: they are scaled to the icon
        font.setBold(true);
        font.setStretch(QFont::Condensed);
        DigitPairs result;
        for (std::size_t value = 0; value < result.paths.size(); ++value) {
            result.paths[value].addText(0, 0, font, QStringLiteral("%1").arg(value, 2, 10, QLatin1Char('0')));
            result.bounds = result.bounds.united(result.paths[value].boundingRect());
        }
        return result;
    }();
    return pairs;
}

const QPainterPath& pathOf(int value) {
    // Two digits hold 00 to 99; hours and minutes never leave that.
    return digitPairs().paths[static_cast<std::size_t>(std::clamp(value, 0, 99))];
}

// Maps `from` onto `to` exactly: the digits fill their half of the square, stretched if need be.
QTransform fitting(const QRectF& from, const QRectF& to) {
    if (from.isEmpty()) {
        return {};
    }
    QTransform transform;
    transform.translate(to.left(), to.top());
    transform.scale(to.width() / from.width(), to.height() / from.height());
    transform.translate(-from.left(), -from.top());
    return transform;
}

} // namespace

QPixmap clockPixmap(int hour, int minute, int size, qreal devicePixelRatio) {
    QPixmap pixmap(QSize(size, size) * devicePixelRatio);
    pixmap.setDevicePixelRatio(devicePixelRatio);
    pixmap.fill(Qt::transparent);

    // An even outline keeps the digit boxes on whole pixels, where small digits stay sharp.
    const int outline = 2 * std::max(1, static_cast<int>(std::lround(size / 22.0)));
    const qreal reach = outline / 2.0; // how far the outline reaches past a digit's edge
    const qreal half = size / 2.0;
    // The sides stay clear by one more reach, so that not even the corners of a 1 or a 7 touch the
    // corners of the square: a host may round or crop them.
    const QRectF top(outline, reach, size - 2 * outline, half - outline);
    const QRectF bottom(outline, half + reach, size - 2 * outline, half - outline);

    const QRectF& bounds = digitPairs().bounds;
    QPainterPath digits = fitting(bounds, top).map(pathOf(hour));
    digits.addPath(fitting(bounds, bottom).map(pathOf(minute)));

    QPainter painter(&pixmap);
    painter.setRenderHint(QPainter::Antialiasing);
    // Outline first, then the fill over its inner half: the digits keep their full width.
    painter.strokePath(digits, QPen(kOutlineColor, outline, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
    painter.fillPath(digits, kDigitColor);
    return pixmap;
}

QIcon clockIcon(int hour, int minute) {
    QIcon icon;
    for (const int size : kSizes) {
        for (const qreal ratio : kRatios) {
            icon.addPixmap(clockPixmap(hour, minute, size, ratio));
        }
    }
    return icon;
}
