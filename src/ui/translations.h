#pragma once

#include <QStringList>

class QCoreApplication;

// Texts are written in Japanese; the English translation is loaded unless the first preferred
// language is Japanese. Returns whether a translation was installed.
bool installTranslations(QCoreApplication& app, const QStringList& preferredLanguages);
