#include "ui/translations.h"

#include <QCoreApplication>
#include <QLocale>
#include <QTranslator>

namespace {

// Built from translations/variredu-divar_en.ts and embedded in the program.
constexpr char kEnglish[] = ":/i18n/variredu-divar_en.qm";

} // namespace

bool installTranslations(QCoreApplication& app, const QStringList& preferredLanguages) {
    // The source texts are Japanese; any other first language, or none, reads English.
    if (!preferredLanguages.isEmpty() &&
        QLocale(preferredLanguages.first()).language() == QLocale::Japanese) {
        return false;
    }
    auto* translator = new QTranslator(&app);
    if (!translator->load(QString::fromLatin1(kEnglish)) ||
        !QCoreApplication::installTranslator(translator)) {
        delete translator;
        return false;
    }
    return true;
}
