#include "app/single_instance.h"

#include <QDateTime>
#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLocalServer>
#include <QLocalSocket>
#include <QLockFile>
#include <QStandardPaths>
#include <QThread>
#include <QTimer>

#include <utility>

#include <unistd.h>

namespace {

constexpr auto kLockName = "variredu-divar.lock";
constexpr auto kSocketName = "variredu-divar.socket";
constexpr char kRequest[] = "open-settings";
constexpr char kReply[] = "ok";
// Longer than any request we understand; a peer sending more without a line end is dropped.
constexpr qint64 kMaxLine = 64;
// A peer that connects and never finishes its line must not keep a socket open forever.
constexpr int kServeTimeoutMs = 5000;
// An empty or unreadable lock file may be one another launch is writing at this moment; only an
// old one is an abandoned half-written lock.
constexpr qint64 kUnreadableLockAgeMs = 10'000;
// How often a launch waiting for the lock looks again.
constexpr unsigned long kRetryMs = 50;

constexpr QFile::Permissions kOwnerOnly = QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner;
constexpr QFile::Permissions kGroupOrOther = QFile::ReadGroup | QFile::WriteGroup | QFile::ExeGroup |
                                             QFile::ReadOther | QFile::WriteOther | QFile::ExeOther;

// The fallback lives in a shared temporary directory, so it is used only when it is really ours.
bool makePrivateDirectory(const QString& path) {
    QDir().mkdir(path, kOwnerOnly);
    const QFileInfo info(path);
    if (info.isSymLink() || !info.isDir() || info.ownerId() != ::geteuid())
        return false;
    if (info.permissions() & kGroupOrOther)
        return QFile::setPermissions(path, kOwnerOnly);
    return true;
}

[[nodiscard]] int remainingMs(const QDeadlineTimer& deadline) {
    return static_cast<int>(deadline.remainingTime());
}

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

QString SingleInstance::defaultDirectory() {
    const QString runtime = QStandardPaths::writableLocation(QStandardPaths::RuntimeLocation);
    if (!runtime.isEmpty())
        return runtime;
    const QString fallback =
        QDir::tempPath() + QStringLiteral("/variredu-divar-") + QString::number(::geteuid());
    return makePrivateDirectory(fallback) ? fallback : QString();
}

bool SingleInstance::acquire(Requests requests) {
    if (primary_)
        return true;
    if (directory_.isEmpty())
        return false;
    const QDir dir(directory_);
    lock_ = std::make_unique<QLockFile>(dir.filePath(QLatin1String(kLockName)));
    // The lock is held for the life of the program, so its age says nothing; Qt then judges a
    // left-over lock by whether the process named in it still runs.
    lock_->setStaleLockTime(0);
    if (!lock_->tryLock(0) && !(lock_->error() == QLockFile::LockFailedError && takeOverAbandonedLock())) {
        lock_.reset();
        return false;
    }
    primary_ = true;
    if (requests == Requests::Answer) {
        listen(dir.filePath(QLatin1String(kSocketName)));
    }
    return true;
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
    server_ = std::make_unique<QLocalServer>();
    server_->setSocketOptions(QLocalServer::UserAccessOption);
    // We hold the lock, so a socket file there is left over from a process that died.
    QLocalServer::removeServer(path);
    if (!server_->listen(path)) {
        // Still the one clock that speaks; later launches just cannot reach it.
        qWarning("variredu-divar: cannot listen on %s: %s", qPrintable(path),
                 qPrintable(server_->errorString()));
        server_.reset();
        return;
    }
    connect(server_.get(), &QLocalServer::newConnection, this, &SingleInstance::onNewConnection);
}

void SingleInstance::onNewConnection() {
    while (QLocalSocket* socket = server_->nextPendingConnection()) {
        connect(socket, &QLocalSocket::disconnected, socket, &QObject::deleteLater);
        connect(socket, &QLocalSocket::readyRead, this, [this, socket] { serve(socket); });
        QTimer::singleShot(kServeTimeoutMs, socket, &QLocalSocket::abort);
    }
}

void SingleInstance::serve(QLocalSocket* socket) {
    if (!socket->canReadLine()) {
        if (socket->bytesAvailable() > kMaxLine)
            socket->abort();
        return;
    }
    const bool wanted = socket->readLine(kMaxLine + 1).trimmed() == kRequest;
    if (wanted) {
        socket->write(QByteArray(kReply) + '\n');
        // Out now: opening the window can keep the event loop busy for longer than the asker waits.
        socket->flush();
    }
    socket->disconnectFromServer();
    // Last, and without touching the socket again: a slot may run a nested event loop.
    if (wanted)
        emit openSettingsRequested();
}

bool SingleInstance::askRunningInstanceToOpenSettings(int timeoutMs) const {
    if (directory_.isEmpty())
        return false;
    const QDeadlineTimer deadline(timeoutMs);
    QLocalSocket socket;
    socket.connectToServer(QDir(directory_).filePath(QLatin1String(kSocketName)));
    if (!socket.waitForConnected(remainingMs(deadline)))
        return false;
    socket.write(QByteArray(kRequest) + '\n');
    while (socket.bytesToWrite() > 0) {
        if (!socket.waitForBytesWritten(remainingMs(deadline)))
            return false;
    }
    while (!socket.canReadLine()) {
        if (deadline.hasExpired() || !socket.waitForReadyRead(remainingMs(deadline)))
            break;
    }
    return socket.canReadLine() && socket.readLine(kMaxLine + 1).trimmed() == kReply;
}

bool SingleInstance::acquireWhenFree(std::chrono::milliseconds wait) {
    if (acquire()) {
        return true;
    }
    emit waitingForHolder(describeHolder());
    const QDeadlineTimer deadline(wait);
    while (!deadline.hasExpired()) {
        QThread::msleep(kRetryMs);
        if (acquire()) {
            return true;
        }
    }
    return false;
}

QString SingleInstance::describeHolder() const {
    const QString path = QDir(directory_).filePath(QLatin1String(kLockName));
    qint64 pid = 0;
    if (!QLockFile(path).getLockInfo(&pid, nullptr, nullptr)) {
        return QStringLiteral("an unreadable lock file %1").arg(path);
    }
    QFile cmdline(QStringLiteral("/proc/%1/cmdline").arg(pid));
    QByteArray command;
    if (cmdline.open(QIODevice::ReadOnly)) {
        command = cmdline.read(kMaxLine * 4).replace('\0', ' ').trimmed();
    }
    return command.isEmpty()
               ? QStringLiteral("process %1").arg(pid)
               : QStringLiteral("process %1 (%2)").arg(pid).arg(QString::fromLocal8Bit(command));
}
