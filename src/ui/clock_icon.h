#pragma once

#include <QIcon>
#include <QPixmap>

// The tray icon for a Valdrian time: the hour over the minute, two digits each, light digits with a
// dark outline so they read on light and dark panels. Offers 16, 22, 24, 32, 48 and 64 px, each also
// at 2x, and draws each size for that size rather than scaling another, but only when it is first
// asked for: a tray host shows one.
[[nodiscard]] QIcon clockIcon(int hour, int minute);
// One of those drawings: size x size device-independent pixels at the given device pixel ratio.
[[nodiscard]] QPixmap clockPixmap(int hour, int minute, int size, qreal devicePixelRatio);
