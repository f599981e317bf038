#pragma once

#include <QByteArray>
#include <QSet>
#include <QVariantMap>

// The settings file in the form the store writes it: "[General]" and one key=value line per
// setting, which QSettings reads back as given.

// The file holding `values`, sorted by key, and the keys it holds. A setting with no line of this
// form is left out: a key of other characters than letters, digits, '_', '-' and '.', or a value
// other than a text, a list of two or more texts, or a boolean.
struct IniFile {
    QByteArray content;
    QSet<QByteArray> keys;
    bool leavesOut = false;
};
[[nodiscard]] IniFile iniFile(const QVariantMap& values);

// Whether a file holding `keptKeys` would lose anything of `content`: a comment, a section other
// than [General], a line that is no key=value, a key given twice, a value continued on the next
// line, or any other key.
[[nodiscard]] bool losesLines(const QByteArray& content, const QSet<QByteArray>& keptKeys);
