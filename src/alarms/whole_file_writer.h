#pragma once

#include <QByteArray>
#include <QString>

#include <functional>
#include <optional>

#include <sys/types.h>
#include <unistd.h>

// Replaces a file only by one that holds all it was given: written beside it, flushed to the disk,
// checked, and only then renamed over it. Any shortfall (a full disk, a write that stops early or
// claims more than it wrote) leaves the old file as it was, byte for byte. A read-only file is
// left alone as well.
class WholeFileWriter {
public:
    // write(2); tests hand in one that fails part of the way, as a full disk does.
    using WriteCall = std::function<ssize_t(int fd, const void* data, size_t size)>;

    explicit WholeFileWriter(WriteCall write = &::write);

    // Nothing when `path` now holds `content`; otherwise why not, as the system says it
    // ("No space left on device"). The new file keeps the old one's permissions, and its time of
    // change is later than the old one's: QSettings notices a changed file only by its size and
    // that time, in milliseconds.
    [[nodiscard]] std::optional<QString> replace(const QString& path, const QByteArray& content) const;

private:
    WriteCall write_;
};
