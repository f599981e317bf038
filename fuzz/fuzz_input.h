#pragma once

#include <QString>
#include <QtGlobal>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>

// Shared by the libFuzzer targets: the two ways raw bytes become text, and a check that stops the
// run with a message in the log next to the crashing input. The detail text is built only when
// the check fails, so the targets keep their speed.

namespace fuzz {

// The bytes as UTF-8, the way text reaches the program from files and the command line. Invalid
// sequences become U+FFFD, so this form never holds a lone surrogate.
inline QString utf8Text(const std::uint8_t* data, std::size_t size) {
    return QString::fromUtf8(reinterpret_cast<const char*>(data), qsizetype(size));
}

// The bytes as UTF-16 code units (native order, a trailing odd byte dropped): the only way to
// reach lone and reversed surrogates, which a QString can hold whatever its source.
inline QString utf16Text(const std::uint8_t* data, std::size_t size) {
    QString text(qsizetype(size / 2), Qt::Uninitialized);
    std::memcpy(text.data(), data, (size / 2) * sizeof(char16_t));
    return text;
}

[[noreturn]] inline void fail(const char* file, int line, const char* what, const QString& detail) {
    std::fprintf(stderr, "%s:%d: check failed: %s\n", file, line, what);
    if (!detail.isEmpty()) {
        std::fprintf(stderr, "  %s\n", detail.toUtf8().constData());
    }
    std::abort();
}

} // namespace fuzz

#define FUZZ_CHECK(cond, detail)                                                                             \
    do {                                                                                                     \
        if (!(cond)) {                                                                                       \
            ::fuzz::fail(__FILE__, __LINE__, #cond, (detail));                                               \
        }                                                                                                    \
    } while (false)
