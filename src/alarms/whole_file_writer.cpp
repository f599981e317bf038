#include "alarms/whole_file_writer.h"

#include <QFile>
#include <QFileInfo>
#include <QRandomGenerator>

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <cstring>

#include <fcntl.h>
#include <sys/stat.h>

namespace {

QString systemError(int error) {
    return QString::fromLocal8Bit(std::strerror(error));
}

// A new file beside the one it is to replace, under a name no other writer picks; removed again
// unless it took the old one's place.
class NewFile {
public:
    explicit NewFile(const QByteArray& target) {
        for (int attempt = 0; attempt < 100 && fd_ < 0; ++attempt) {
            name_ = target + '.' + QByteArray::number(QRandomGenerator::global()->generate(), 36);
            fd_ = ::open(name_.constData(), O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
            if (fd_ < 0 && errno != EEXIST) {
                break;
            }
        }
    }
    ~NewFile() {
        if (fd_ >= 0) {
            ::close(fd_);
        }
        if (!renamed_ && fd_ != kNeverOpened) {
            ::unlink(name_.constData());
        }
    }
    NewFile(const NewFile&) = delete;
    NewFile& operator=(const NewFile&) = delete;

    [[nodiscard]] int fd() const { return fd_; }
    // Closes it: a file system may tell of a failed write only now.
    [[nodiscard]] bool close() {
        const int fd = fd_;
        fd_ = kClosed;
        return ::close(fd) == 0;
    }
    [[nodiscard]] bool renameTo(const QByteArray& target) {
        renamed_ = ::rename(name_.constData(), target.constData()) == 0;
        return renamed_;
    }

private:
    static constexpr int kNeverOpened = -1;
    static constexpr int kClosed = -2;
    QByteArray name_;
    int fd_ = kNeverOpened;
    bool renamed_ = false;
};

std::int64_t milliseconds(const timespec& time) {
    return std::int64_t(time.tv_sec) * 1000 + time.tv_nsec / 1'000'000;
}

// Whether the file holds exactly `content`, as far as the system can tell once it is on the disk.
bool holds(int fd, const QByteArray& content) {
    struct stat written {};
    if (::fstat(fd, &written) != 0 || written.st_size != content.size()) {
        return false;
    }
    QByteArray back(content.size(), Qt::Uninitialized);
    qsizetype done = 0;
    while (done < back.size()) {
        const ssize_t got = ::pread(fd, back.data() + done, size_t(back.size() - done), done);
        if (got <= 0) {
            return false;
        }
        done += got;
    }
    return back == content;
}

} // namespace

WholeFileWriter::WholeFileWriter(WriteCall write)
    : write_(std::move(write)) {}

std::optional<QString> WholeFileWriter::replace(const QString& path, const QByteArray& content) const {
    // Through a link, the file it points to is replaced and the link stays.
    const QFileInfo info(path);
    const QString targetPath = info.exists() ? info.canonicalFilePath() : path;
    const QByteArray target = QFile::encodeName(targetPath);
    struct stat old {};
    const bool exists = ::stat(target.constData(), &old) == 0;
    if (exists && ::access(target.constData(), W_OK) != 0) {
        return systemError(errno);
    }
    NewFile file(target);
    if (file.fd() < 0 || (exists && ::fchmod(file.fd(), old.st_mode & 07777) != 0)) {
        return systemError(errno);
    }
    for (qsizetype done = 0; done < content.size();) {
        const ssize_t wrote = write_(file.fd(), content.constData() + done, size_t(content.size() - done));
        if (wrote < 0 && errno != EINTR) {
            return systemError(errno);
        }
        if (wrote == 0) {
            return systemError(EIO); // no progress and no reason given
        }
        done += std::max<ssize_t>(wrote, 0);
    }
    if (::fsync(file.fd()) != 0) {
        return systemError(errno);
    }
    // Checked once on the disk: a write that said it wrote more than it did is caught here.
    if (!holds(file.fd(), content)) {
        return systemError(EIO);
    }
    struct stat written {};
    if (::fstat(file.fd(), &written) != 0) {
        return systemError(errno);
    }
    // Two saves within the file system's clock tick would otherwise look alike to QSettings.
    if (exists && milliseconds(written.st_mtim) <= milliseconds(old.st_mtim)) {
        const std::int64_t later = milliseconds(old.st_mtim) + 1;
        const timespec times[2] = {{0, UTIME_OMIT}, {time_t(later / 1000), long(later % 1000 * 1'000'000)}};
        if (::futimens(file.fd(), times) != 0) {
            return systemError(errno);
        }
    }
    if (!file.close() || !file.renameTo(target)) {
        return systemError(errno);
    }
    // The rename reaches the disk with the directory. The file is in place by now, so a failure
    // here only leaves it to the system's own flush.
    const QByteArray folder = QFile::encodeName(QFileInfo(targetPath).absolutePath());
    const int directory = ::open(folder.constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (directory >= 0) {
        ::fsync(directory);
        ::close(directory);
    }
    return std::nullopt;
}
