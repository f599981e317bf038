#include "ui/symbol_icons.h"

#include <QString>

namespace {

struct Artwork {
    const char* themeName; // freedesktop icon naming
    const char* resource;
};

Artwork artworkOf(Symbol symbol) {
    switch (symbol) {
    case Symbol::Plus:
        return {"list-add", ":/symbols/plus.svg"};
    case Symbol::Clock:
        return {"appointment-soon", ":/symbols/clock.svg"};
    case Symbol::SpeakerBubble:
        return {"audio-volume-high", ":/symbols/speaker-bubble.svg"};
    case Symbol::CrossCircle:
        return {"window-close", ":/symbols/cross-circle.svg"};
    }
    return {"", ""};
}

} // namespace

QIcon bundledSymbolIcon(Symbol symbol) {
    return QIcon(QString::fromLatin1(artworkOf(symbol).resource));
}

QIcon symbolIcon(Symbol symbol) {
    return QIcon::fromTheme(QString::fromLatin1(artworkOf(symbol).themeName), bundledSymbolIcon(symbol));
}
