#pragma once

#include <QIcon>

// The symbols the alarm window shows.
enum class Symbol { Plus, Clock, SpeakerBubble, CrossCircle };

// The desktop icon theme's icon for the symbol, or the bundled artwork when the theme has none,
// so the window looks the same on a desktop without an icon theme.
[[nodiscard]] QIcon symbolIcon(Symbol symbol);
// The bundled artwork alone.
[[nodiscard]] QIcon bundledSymbolIcon(Symbol symbol);
