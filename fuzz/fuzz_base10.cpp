// The base-10 rule for alarm hour and minute texts, held against a second reading that shares no
// code with it: the grammar by a pattern, the number by std::from_chars.

#include "alarms/base10.h"
#include "fuzz_input.h"

#include <QRegularExpression>

#include <charconv>

namespace {

std::optional<std::int64_t> reference(const QString& text) {
    static const QRegularExpression grammar(QStringLiteral("\\A[+-]?[0-9]+\\z"));
    if (!grammar.match(text).hasMatch()) {
        return std::nullopt;
    }
    const QByteArray ascii = text.toLatin1().mid(text.startsWith(u'+') ? 1 : 0);
    std::int64_t value = 0;
    const auto [end, error] = std::from_chars(ascii.begin(), ascii.end(), value);
    return error == std::errc{} && end == ascii.end() ? std::optional(value) : std::nullopt;
}

void compare(const QString& text) {
    fuzz::check(parseBase10(text) == reference(text), "parseBase10 agrees with from_chars", text);
}

} // namespace

FUZZ_TEXT_TARGET(compare)
