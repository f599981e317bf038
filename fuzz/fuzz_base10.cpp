// The base-10 rule for alarm hour and minute texts, held against a second reading that shares no
// code with it: the grammar checked by hand, the number read by std::from_chars.

#include "alarms/base10.h"
#include "fuzz_input.h"

#include <algorithm>
#include <charconv>
#include <memory>
#include <string>

namespace {

std::optional<std::int64_t> referenceParse(QStringView text) {
    std::string ascii;
    qsizetype i = 0;
    if (!text.isEmpty() && (text[0] == u'+' || text[0] == u'-')) {
        if (text[0] == u'-') {
            ascii.push_back('-'); // from_chars takes "-" but not "+"
        }
        i = 1;
    }
    if (i == text.size()) {
        return std::nullopt;
    }
    for (; i < text.size(); ++i) {
        const char16_t c = text[i].unicode();
        if (c < u'0' || c > u'9') {
            return std::nullopt;
        }
        ascii.push_back(char(c));
    }
    std::int64_t value = 0;
    const char* end = ascii.data() + ascii.size();
    const auto [stop, error] = std::from_chars(ascii.data(), end, value);
    if (error != std::errc{} || stop != end) {
        return std::nullopt;
    }
    return value;
}

QString show(const std::optional<std::int64_t>& value) {
    return value ? QString::number(*value) : QStringLiteral("none");
}

void compare(QStringView text) {
    const std::optional<std::int64_t> got = parseBase10(text);
    const std::optional<std::int64_t> want = referenceParse(text);
    FUZZ_CHECK(got == want,
               QStringLiteral("[%1]: parseBase10 %2, reference %3").arg(text, show(got), show(want)));
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    compare(fuzz::utf8Text(data, size));

    // The code units in a buffer of exactly their size, no terminator: a read past the view's end
    // is a heap overflow that ASan reports.
    const QString units = fuzz::utf16Text(data, size);
    const auto exact = std::make_unique<char16_t[]>(std::size_t(units.size()));
    std::copy_n(units.utf16(), units.size(), exact.get());
    compare(QStringView(exact.get(), units.size()));
    return 0;
}
