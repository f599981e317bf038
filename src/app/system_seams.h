#pragma once

#include <QLocale>
#include <QStringList>

#include <chrono>

// The real clock and the user's languages, handed to the model as its seams.
[[nodiscard]] inline double systemNow() {
    using namespace std::chrono;
    return duration<double>(system_clock::now().time_since_epoch()).count();
}

[[nodiscard]] inline QStringList systemPreferredLanguages() {
    return QLocale::system().uiLanguages();
}
