#include "app/single_instance.h"

#include "app/instance_files.h"
#include "app/local_socket.h"

#include <QDateTime>
#include <QDeadlineTimer>
#include <QDir>
#include <QFileInfo>
#include <QLockFile>
#include <QThread>

#include <utility>

namespace {

constexpr auto kLockName = "variredu-divar.lock";
constexpr auto kSocketName = "variredu-divar.socket";
constexpr char kRequest[] = "open-settings";
constexpr char kReply[] = "ok";
// An empty or unreadable lock file may be one another launch is writing at this moment; only an
// old one is an abandoned half-written lock.
constexpr qint64 kUnreadableLockAgeMs = 10'000;
// How often a launch waiting for the lock looks again.
constexpr unsigned long kRetryMs = 50;

} // namespace

SingleInstance::SingleInstance(QString directory, QObject* parent)
    : QObject(parent)
    , directory_(std::move(directory)) {}

SingleInstance::~SingleInstance() {
    release();
}

// The server goes first (it removes its socket file), then the lock.
void SingleInstance::release() {
    server_.reset();
    lock_.reset();
    primary_ = false;
}

SingleInstance::Claim SingleInstance::acquire() {
    if (primary_)
        return Claim::Taken;
    if (directory_.isEmpty())
        return Claim::Impossible;
    lock_ = std::make_unique<QLockFile>(lockPath());
    // The lock is held for the life of the program, so its age says nothing; Qt then judges a
    // left-over lock by whether the process named in it still runs.
    lock_->setStaleLockTime(0);
    if (!lock_->tryLock(0)) {
        const bool held = lock_->error() == QLockFile::LockFailedError;
        if (!(held && takeOverAbandonedLock())) {
            lock_.reset();
            return held ? Claim::HeldByAnother : Claim::Impossible;
        }
    }
    primary_ = true;
    listen(QDir(directory_).filePath(QLatin1String(kSocketName)));
    return Claim::Taken;
}

QString SingleInstance::lockPath() const {
    return QDir(directory_).filePath(QLatin1String(kLockName));
}

bool SingleInstance::takeOverAbandonedLock() {
    // Qt's own stale-lock removal takes this companion lock too, so two launches never remove
    // each other's fresh lock file.
    QLockFile removal(lock_->fileName() + QStringLiteral(".rmlock"));
    if (!removal.tryLock(0))
        return false;
    qint64 pid = 0;
    if (!lock_->getLockInfo(&pid, nullptr, nullptr)) {
        const QFileInfo info(lock_->fileName());
        const qint64 age = info.lastModified().msecsTo(QDateTime::currentDateTime());
        if (info.exists() && qAbs(age) < kUnreadableLockAgeMs)
            return false;
    }
    // Its PID may now belong to another copy of this program; a live holder keeps a file lock on
    // it, which makes this removal fail.
    lock_->removeStaleLockFile();
    return lock_->tryLock(0);
}

void SingleInstance::listen(const QString& path) {
    server_ = std::make_unique<LocalRequestServer>(kRequest, kReply);
    QString error;
    // We hold the lock, so a socket file there is left over from a process that died: replaced.
    if (!server_->listen(path, error)) {
        // Still the one clock that speaks; later launches just cannot reach it.
        qWarning("variredu-divar: cannot listen on %s: %s", qPrintable(path), qPrintable(error));
        server_.reset();
        return;
    }
    connect(server_.get(), &LocalRequestServer::requested, this, &SingleInstance::openSettingsRequested);
}

bool SingleInstance::askRunningInstanceToOpenSettings(int timeoutMs) const {
    if (directory_.isEmpty())
        return false;
    return askLocalServer(QDir(directory_).filePath(QLatin1String(kSocketName)), kRequest, timeoutMs) ==
           QByteArray(kReply);
}

bool SingleInstance::acquireWhenFree(std::chrono::milliseconds wait) {
    Claim claim = acquire();
    if (claim == Claim::HeldByAnother) {
        emit waitingForHolder(describeHolder());
    }
    const QDeadlineTimer deadline(wait);
    while (claim == Claim::HeldByAnother && !deadline.hasExpired()) {
        QThread::msleep(kRetryMs);
        claim = acquire();
    }
    return claim == Claim::Taken;
}

QString SingleInstance::describeHolder() const {
    qint64 pid = 0;
    if (!QLockFile(lockPath()).getLockInfo(&pid, nullptr, nullptr)) {
        return QStringLiteral("an unreadable lock file %1").arg(lockPath());
    }
    return describeProcess(pid);
}
