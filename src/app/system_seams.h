#pragma once

#include "app/preferred_languages.h"

#include <QLocale>
#include <QStringList>

#include <chrono>

// The real clock and the user's languages, handed to the model as its seams.
[[nodiscard]] inline double systemNow() {
    using namespace std::chrono;
    return duration<double>(system_clock::now().time_since_epoch()).count();
}

[[nodiscard]] inline QStringList systemPreferredLanguages() {
    return preferredLanguages({qEnvironmentVariable("LANGUAGE"), qEnvironmentVariable("LC_ALL"),
                               qEnvironmentVariable("LC_MESSAGES"), qEnvironmentVariable("LANG")},
                              QLocale::system().uiLanguages());
}
