#pragma once

#include <QString>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>

// Shared by the fuzz targets: the two ways raw bytes become text, and a check that stops the run
// with the offending text in the log.

namespace fuzz {

// As UTF-8, the way text reaches the program from files and the command line.
inline QString utf8Text(const std::uint8_t* data, std::size_t size) {
    return QString::fromUtf8(reinterpret_cast<const char*>(data), qsizetype(size));
}

// As UTF-16 code units: the only way to reach lone surrogates, which a QString can hold.
inline QString utf16Text(const std::uint8_t* data, std::size_t size) {
    QString text(qsizetype(size / 2), Qt::Uninitialized);
    std::memcpy(text.data(), data, (size / 2) * sizeof(char16_t));
    return text;
}

inline void check(bool ok, const char* what, const QString& input) {
    if (!ok) {
        std::fprintf(stderr, "check failed: %s\n  input: %s\n", what, input.toUtf8().constData());
        std::abort();
    }
}

} // namespace fuzz

// Each target checks one text; both forms of the bytes are tried.
#define FUZZ_TEXT_TARGET(checkText)                                                                          \
    extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {                      \
        checkText(fuzz::utf8Text(data, size));                                                               \
        checkText(fuzz::utf16Text(data, size));                                                              \
        return 0;                                                                                            \
    }
