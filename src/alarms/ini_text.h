#pragma once

#include <QByteArray>
#include <QSet>
#include <QVariant>

#include <optional>

// The settings file in the form the store writes it: "[General]" and one key=value line per
// setting, which QSettings reads back as given.

// The line of one setting, newline included; nothing when it has no such line: a key of other
// characters than letters, digits, '_', '-' and '.', or a value other than a text, a list of two
// or more texts, or a boolean.
[[nodiscard]] std::optional<QByteArray> iniLine(const QString& key, const QVariant& value);

// Whether a file written with lines for `keptKeys` would lose anything of `content`: a comment, a
// section other than [General], a line that is no key=value, a key given twice, a value continued
// on the next line, or any other key.
[[nodiscard]] bool losesLines(const QByteArray& content, const QSet<QByteArray>& keptKeys);
