#include "ui/clock_icon.h"

#include <QApplication>
#include <QIconEngine>
#include <QImage>
#include <QMarginsF>
#include <QPainter>
#include <QPainterPath>
#include <QPen>
#include <QRectF>
#include <QString>
#include <QStyle>
#include <QStyleOption>
#include <QTransform>

#include <algorithm>
#include <array>
#include <cmath>
#include <cstddef>
#include <utility>
#include <vector>

namespace {

constexpr std::array kSizes{16, 22, 24, 32, 48, 64};
constexpr std::array kRatios{1.0, 2.0};

const QColor kDigitColor(0xf8, 0xf8, 0xf8);
const QColor kOutlineColor(0x14, 0x14, 0x14);

// The digits are drawn as strokes along their centre lines rather than from a font: loading fonts
// (fontconfig's configuration, FreeType, HarfBuzz) cost more memory and start-up time than the rest of
// the clock, for twenty glyphs. Each centre line lies in a kCell x 100 box, kept half a stroke clear
// of its edges; the strokes have round ends, so a digit fills its box exactly.
constexpr qreal kCell = 72;   // a digit's width
constexpr qreal kGap = 14;    // between the two digits of a pair
constexpr qreal kWeight = 20; // stroke width, in the same units
constexpr qreal kLeft = kWeight / 2;
constexpr qreal kRight = kCell - kWeight / 2;
constexpr qreal kTop = kWeight / 2;
constexpr qreal kBottom = 100 - kWeight / 2;
constexpr qreal kInnerWidth = kRight - kLeft;
constexpr qreal kMiddle = 50;

QPainterPath centreLine(int digit) {
    QPainterPath path;
    switch (digit) {
    case 0: {
        const qreal radius = kInnerWidth / 2.2;
        path.addRoundedRect(QRectF(kLeft, kTop, kInnerWidth, kBottom - kTop), radius, radius);
        break;
    }
    case 1: {
        const qreal stem = kLeft + kInnerWidth * 0.58;
        path.moveTo(kLeft + 4, kTop + 20);
        path.lineTo(stem, kTop);
        path.lineTo(stem, kBottom);
        path.moveTo(kLeft, kBottom);
        path.lineTo(kRight, kBottom);
        break;
    }
    case 2: {
        const QRectF bowl(kLeft, kTop, kInnerWidth, 46);
        path.arcMoveTo(bowl, 165);
        path.arcTo(bowl, 165, -205);
        path.lineTo(kLeft, kBottom);
        path.lineTo(kRight, kBottom);
        break;
    }
    case 3: {
        const QRectF top(kLeft + 4, kTop, kInnerWidth - 6, kMiddle - kTop);
        const QRectF bottom(kLeft, kMiddle, kInnerWidth, kBottom - kMiddle);
        path.arcMoveTo(top, 160);
        path.arcTo(top, 160, -250);
        path.arcTo(bottom, 90, -225);
        break;
    }
    case 4: {
        const qreal stem = kRight - 12;
        const qreal bar = kTop + 52;
        path.moveTo(stem, kBottom);
        path.lineTo(stem, kTop);
        path.lineTo(kLeft, bar);
        path.lineTo(kRight, bar);
        break;
    }
    case 5: {
        const QRectF bowl(kLeft, kTop + 32, kInnerWidth, kBottom - kTop - 32);
        path.moveTo(kRight, kTop);
        path.lineTo(kLeft + 4, kTop);
        path.lineTo(kLeft + 2, kTop + 38);
        // The tail stops short of the stem, or a small 5 reads as a 6.
        path.arcTo(bowl, 145, -270);
        break;
    }
    case 6: {
        const QRectF bowl(kLeft, kTop + 32, kInnerWidth, kBottom - kTop - 32);
        path.moveTo(kRight - 4, kTop + 4);
        path.cubicTo(kRight - 18, kTop - 4, kLeft, kTop, kLeft, bowl.center().y());
        path.addEllipse(bowl);
        break;
    }
    case 7:
        path.moveTo(kLeft, kTop);
        path.lineTo(kRight, kTop);
        path.lineTo(kLeft + kInnerWidth * 0.3, kBottom);
        break;
    case 8:
        path.addEllipse(QRectF(kLeft + 4, kTop, kInnerWidth - 8, kMiddle - kTop - 4));
        path.addEllipse(QRectF(kLeft, kMiddle - 4, kInnerWidth, kBottom - kMiddle + 4));
        break;
    default: { // 9: a 6 turned upside down
        QTransform turn;
        turn.translate(kCell, 100);
        turn.rotate(180);
        path = turn.map(centreLine(6));
        break;
    }
    }
    return path;
}

QPainterPath pairOf(int value) {
    // The centre lines of the ten digits, made once. Two digits hold 00 to 99; hours and minutes
    // never leave that.
    static const std::array<QPainterPath, 10> lines = [] {
        std::array<QPainterPath, 10> made;
        for (std::size_t digit = 0; digit < made.size(); ++digit) {
            made[digit] = centreLine(static_cast<int>(digit));
        }
        return made;
    }();
    const int clamped = std::clamp(value, 0, 99);
    QPainterPath pair = lines[static_cast<std::size_t>(clamped / 10)];
    pair.addPath(lines[static_cast<std::size_t>(clamped % 10)].translated(kCell + kGap, 0));
    return pair;
}

// Maps `from` onto `to` exactly: the digits fill their half of the square, stretched if need be.
QTransform fitting(const QRectF& from, const QRectF& to) {
    QTransform transform;
    transform.translate(to.left(), to.top());
    transform.scale(to.width() / from.width(), to.height() / from.height());
    transform.translate(-from.left(), -from.top());
    return transform;
}

// Strokes the pair `value` into the half of a size x size icon that starts `top` pixels down: the
// outline, then the digits' own stroke over it. The two halves never share a pixel: each one's
// outline ends where the other's begins.
void strokePair(QPainter& painter, int value, int size, qreal top) {
    // An even outline keeps the digit boxes on whole pixels, where small digits stay sharp.
    const int outline = 2 * std::max(1, static_cast<int>(std::lround(size / 22.0)));
    const qreal reach = outline / 2.0; // how far the outline reaches past a digit's edge
    const qreal half = size / 2.0;
    // The sides stay clear by one more reach, so that not even the corners of a 1 or a 7 touch the
    // corners of the square: a host may round or crop them.
    const QRectF box(outline, top + reach, size - 2 * outline, half - outline);

    // The strokes are as thick across as along, whatever the stretch: the centre lines are mapped
    // into the digit boxes less half a stroke on each side, and stroked in pixels.
    const qreal weight = box.height() * kWeight / 100;
    const QMarginsF inset(weight / 2, weight / 2, weight / 2, weight / 2);
    const QRectF lines(kLeft, kTop, kCell + kGap + kInnerWidth, kBottom - kTop);
    const QPainterPath digits = fitting(lines, box.marginsRemoved(inset)).map(pairOf(value));
    painter.setRenderHint(QPainter::Antialiasing);
    // The outline is a wider stroke under the digit's own.
    painter.strokePath(digits,
                       QPen(kOutlineColor, weight + outline, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
    painter.strokePath(digits, QPen(kDigitColor, weight, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
}

// Drawings of the upper half of an icon, which serve for the lower half too when that lies a whole
// number of device pixels below. Stroking is nearly all of what the clock does once it runs: this
// way the hour is drawn once an hour and each minute once a Valdrian hour (175 s), for the size the
// host shows. Bounded, the least recently used going first, for hosts that take every size.
class PairDrawings {
public:
    const QImage& get(int value, int size, qreal ratio) {
        const auto found = std::find_if(drawings_.begin(), drawings_.end(), [&](const Drawing& d) {
            return d.value == value && d.size == size && d.ratio == ratio;
        });
        if (found != drawings_.end()) {
            std::rotate(drawings_.begin(), found, found + 1);
            return drawings_.front().image;
        }
        QImage image(QSize(size, size / 2) * ratio, QImage::Format_ARGB32_Premultiplied);
        image.setDevicePixelRatio(ratio);
        image.fill(Qt::transparent);
        QPainter painter(&image);
        strokePair(painter, value, size, 0);
        painter.end();
        bytes_ += image.sizeInBytes();
        drawings_.insert(drawings_.begin(), {value, size, ratio, std::move(image)});
        while (bytes_ > kMaxBytes && drawings_.size() > 2) { // the hour and the minute of this icon stay
            bytes_ -= drawings_.back().image.sizeInBytes();
            drawings_.pop_back();
        }
        return drawings_.front().image;
    }

private:
    // All sixty pairs at 22 px take 58 KB, at 64 px 2x 1.9 MB.
    static constexpr qsizetype kMaxBytes = 256 * 1024;
    struct Drawing {
        int value;
        int size;
        qreal ratio;
        QImage image;
    };
    std::vector<Drawing> drawings_; // most recently used first
    qsizetype bytes_ = 0;
};

} // namespace

QPixmap clockPixmap(int hour, int minute, int size, qreal devicePixelRatio) {
    QPixmap pixmap(QSize(size, size) * devicePixelRatio);
    pixmap.setDevicePixelRatio(devicePixelRatio);
    pixmap.fill(Qt::transparent);
    QPainter painter(&pixmap);
    const qreal half = size / 2.0;
    const qreal shift = half * devicePixelRatio;
    if (size % 2 != 0 || shift != std::floor(shift)) {
        strokePair(painter, hour, size, 0); // the halves would fall differently on the pixels
        strokePair(painter, minute, size, half);
        return pixmap;
    }
    static PairDrawings drawings;
    painter.drawImage(QPointF(0, 0), drawings.get(hour, size, devicePixelRatio));
    painter.drawImage(QPointF(0, half), drawings.get(minute, size, devicePixelRatio));
    return pixmap;
}

namespace {

// Draws a size only when someone asks for it, and keeps each drawing for the life of the icon (one
// Valdrian minute). A tray host shows one size; drawing all twelve with an antialiased outline at
// every minute cost more than the rest of the clock put together.
class ClockIconEngine final : public QIconEngine {
public:
    ClockIconEngine(int hour, int minute)
        : hour_(hour)
        , minute_(minute) {}

    QIconEngine* clone() const override { return new ClockIconEngine(*this); }
    QString key() const override { return QStringLiteral("VarireduDivarClock"); }
    bool isNull() override { return false; }

    QList<QSize> availableSizes(QIcon::Mode mode, QIcon::State state) override {
        QList<QSize> sizes;
        if (mode != QIcon::Normal || state != QIcon::Off) {
            return sizes; // as an icon made of Normal/Off pixmaps would answer
        }
        for (const int size : kSizes) {
            for (const qreal ratio : kRatios) {
                const int side = static_cast<int>(size * ratio);
                if (!sizes.contains(QSize(side, side))) {
                    sizes.append(QSize(side, side));
                }
            }
        }
        return sizes;
    }

    QSize actualSize(const QSize& size, QIcon::Mode, QIcon::State) override {
        const int side = std::min(size.width(), size.height());
        return {side, side};
    }

    QPixmap pixmap(const QSize& size, QIcon::Mode mode, QIcon::State state) override {
        return scaledPixmap(size, mode, state, 1.0);
    }

    // `size` is in device pixels: a 22 px icon at 2x is asked for as 44x44 with scale 2, and gets the
    // drawing made for 22 px at 2x, whose outline differs from that of a plain 44 px one.
    QPixmap scaledPixmap(const QSize& size, QIcon::Mode mode, QIcon::State, qreal scale) override {
        const qreal ratio = scale > 0 ? scale : 1.0;
        const int side =
            std::max(1, static_cast<int>(std::lround(std::min(size.width(), size.height()) / ratio)));
        for (const Drawing& drawing : drawings_) {
            if (drawing.side == side && drawing.ratio == ratio && drawing.mode == mode) {
                return drawing.pixmap;
            }
        }
        QPixmap pixmap = clockPixmap(hour_, minute_, side, ratio);
        if (mode != QIcon::Normal) {
            // Disabled and selected looks come from the style, as for any other icon.
            if (qobject_cast<QApplication*>(QCoreApplication::instance()) != nullptr) {
                QStyleOption option;
                option.palette = QApplication::palette();
                pixmap = QApplication::style()->generatedIconPixmap(mode, pixmap, &option);
                pixmap.setDevicePixelRatio(ratio);
            }
        }
        drawings_.push_back({side, ratio, mode, pixmap});
        return pixmap;
    }

    void paint(QPainter* painter, const QRect& rect, QIcon::Mode mode, QIcon::State state) override {
        const qreal ratio = painter->device() ? painter->device()->devicePixelRatio() : 1.0;
        const int side = std::min(rect.width(), rect.height());
        const QPixmap drawing = scaledPixmap(QSize(side, side) * ratio, mode, state, ratio);
        QRect target(0, 0, side, side);
        target.moveCenter(rect.center());
        painter->drawPixmap(target, drawing);
    }

    void virtual_hook(int id, void* data) override {
        // QIcon asks through these hooks as well as through the virtual functions above.
        switch (id) {
        case QIconEngine::ScaledPixmapHook: {
            auto& argument = *static_cast<QIconEngine::ScaledPixmapArgument*>(data);
            argument.pixmap = scaledPixmap(argument.size, argument.mode, argument.state, argument.scale);
            return;
        }
        case QIconEngine::IsNullHook:
            *static_cast<bool*>(data) = false;
            return;
        default:
            QIconEngine::virtual_hook(id, data);
        }
    }

private:
    struct Drawing {
        int side;
        qreal ratio;
        QIcon::Mode mode;
        QPixmap pixmap;
    };

    int hour_;
    int minute_;
    std::vector<Drawing> drawings_;
};

} // namespace

QIcon clockIcon(int hour, int minute) {
    return QIcon(new ClockIconEngine(hour, minute));
}
