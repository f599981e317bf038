#include "app/preferred_languages.h"

QStringList preferredLanguages(const LanguageEnvironment& environment, const QStringList& qtLanguages) {
    if (environment.language.isEmpty()) {
        return qtLanguages;
    }
    QString locale;
    for (const QString* variable : {&environment.lcAll, &environment.lcMessages, &environment.lang}) {
        if (!variable->isEmpty()) {
            locale = *variable;
            break;
        }
    }
    // language[_TERRITORY][.codeset][@modifier]; "C" and "POSIX" have no territory.
    const QString name = locale.section(u'.', 0, 0).section(u'@', 0, 0);
    const QString language = name.section(u'_', 0, 0);
    const QString territory = name.section(u'_', 1);
    if (language.isEmpty() || territory.isEmpty()) {
        return qtLanguages;
    }
    QStringList languages;
    for (const QString& entry : qtLanguages) {
        const QString tag = entry == language ? language + u'-' + territory : entry;
        if (!languages.contains(tag)) {
            languages.append(tag);
        }
    }
    return languages;
}
