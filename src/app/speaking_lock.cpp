#include "app/speaking_lock.h"

#include "app/instance_files.h"

#include <QDir>
#include <QFile>

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

namespace {

constexpr auto kLockName = "variredu-divar.speaking";
// "PID MINUTE\n" and then some.
constexpr qint64 kMaxContent = 64;

struct Content {
    qint64 pid = 0;
    std::optional<std::int64_t> minute;
};

[[nodiscard]] Content parse(const QByteArray& text) {
    const QList<QByteArray> words = text.simplified().split(' ');
    bool pidRead = false, minuteRead = false;
    Content content;
    content.pid = words.value(0).toLongLong(&pidRead);
    const std::int64_t minute = words.value(1).toLongLong(&minuteRead);
    if (!pidRead) {
        content.pid = 0;
    }
    if (minuteRead) {
        content.minute = minute;
    }
    return content;
}

} // namespace

SpeakingLock::SpeakingLock(const QString& directory)
    : path_(QDir(directory).filePath(QLatin1String(kLockName))) {}

SpeakingLock::~SpeakingLock() {
    release();
}

bool SpeakingLock::tryTake() {
    if (held_) {
        return true;
    }
    if (fd_ < 0) {
        // Close-on-exec: a program started from here that outlives us (a browser opened from the
        // menu) must not hold it.
        fd_ = ::open(QFile::encodeName(path_).constData(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0600);
        if (fd_ < 0) {
            return false;
        }
    }
    if (::flock(fd_, LOCK_EX | LOCK_NB) != 0) {
        return false;
    }
    held_ = true;
    char buffer[kMaxContent] = {};
    const ssize_t got = ::pread(fd_, buffer, sizeof buffer, 0);
    notedBefore_ = parse(QByteArray(buffer, got > 0 ? int(got) : 0)).minute;
    write(notedBefore_);
    return true;
}

void SpeakingLock::noteMinute(std::int64_t minute) {
    if (held_) {
        write(minute);
    }
}

// Only the holder writes, and a clock reads the minute only once it holds the lock: never half.
void SpeakingLock::write(std::optional<std::int64_t> minute) {
    QByteArray text = QByteArray::number(::getpid());
    if (minute) {
        text += ' ' + QByteArray::number(qint64(*minute));
    }
    text += '\n';
    if (::ftruncate(fd_, 0) == 0) {
        [[maybe_unused]] const ssize_t written = ::pwrite(fd_, text.constData(), size_t(text.size()), 0);
    }
}

QString SpeakingLock::describeHolder() const {
    QFile file(path_);
    const qint64 pid = file.open(QIODevice::ReadOnly) ? parse(file.read(kMaxContent)).pid : 0;
    return pid > 0 ? describeProcess(pid) : QStringLiteral("the holder of %1").arg(path_);
}

void SpeakingLock::release() {
    if (fd_ >= 0) {
        ::close(fd_); // lets the lock go
    }
    fd_ = -1;
    held_ = false;
}

SpeakingTurn::SpeakingTurn(SpeakingLock& lock, Minute minute, Make make)
    : lock_(lock)
    , minute_(std::move(minute))
    , make_(std::move(make)) {
    // At once when free, so that an engine that doesn't work says so at start.
    [[maybe_unused]] const bool taken = take();
}

// Held: one test of a flag. Not held: one system call.
bool SpeakingTurn::take() {
    if (!lock_.tryTake()) {
        return false;
    }
    if (!output_) {
        output_ = make_();
    }
    return true;
}

void SpeakingTurn::say(const QString& text, const std::optional<QString>& languageTag) {
    if (!take()) {
        return;
    }
    const std::int64_t minute = minute_();
    if (minute == lock_.minuteNotedBefore()) {
        return; // said already, by the clock that spoke before
    }
    if (minute != noted_) {
        lock_.noteMinute(minute);
        noted_ = minute;
    }
    output_->say(text, languageTag);
}
