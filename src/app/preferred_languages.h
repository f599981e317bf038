#pragma once

#include <QString>
#include <QStringList>

// The environment variables the user's languages come from.
struct LanguageEnvironment {
    QString language; // LANGUAGE: a list like "ja:en"
    QString lcAll;
    QString lcMessages;
    QString lang;
};

// The user's languages, most preferred first, from the list Qt makes of the same environment. With
// LANGUAGE set, Qt puts its entries first as they are, often without a region ("ja"), which would
// give such a user English announcements; a bare entry of the locale's language takes the locale's
// region ("ja" under ja_JP.UTF-8 gives "ja-JP"). The locale is the first of LC_ALL, LC_MESSAGES and
// LANG that is set. Anything else is left as Qt has it.
[[nodiscard]] QStringList preferredLanguages(const LanguageEnvironment& environment,
                                             const QStringList& qtLanguages);
