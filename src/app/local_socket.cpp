#include "app/local_socket.h"

#include <QDeadlineTimer>
#include <QFile>
#include <QSocketNotifier>
#include <QTimer>

#include <cerrno>
#include <cstring>
#include <functional>
#include <utility>

#include <poll.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

namespace {

// A descriptor that closes with its owner.
class Descriptor {
public:
    explicit Descriptor(int fd = -1)
        : fd_(fd) {}
    ~Descriptor() { reset(); }
    Descriptor(const Descriptor&) = delete;
    Descriptor& operator=(const Descriptor&) = delete;
    [[nodiscard]] int get() const { return fd_; }
    [[nodiscard]] int release() { return std::exchange(fd_, -1); }
    void reset() {
        if (fd_ >= 0) {
            ::close(fd_);
            fd_ = -1;
        }
    }

private:
    int fd_;
};

[[nodiscard]] QString systemError() {
    return QString::fromLocal8Bit(std::strerror(errno));
}

// False when the path does not fit in an address.
[[nodiscard]] bool makeAddress(const QByteArray& path, sockaddr_un& address) {
    address = {};
    address.sun_family = AF_UNIX;
    if (path.isEmpty() || std::size_t(path.size()) >= sizeof(address.sun_path)) {
        return false;
    }
    std::memcpy(address.sun_path, path.constData(), std::size_t(path.size()));
    return true;
}

// Waits until fd is ready for `events` or the deadline passes; false then, or on a poll error.
[[nodiscard]] bool waitFor(int fd, short events, const QDeadlineTimer& deadline) {
    for (;;) {
        pollfd entry{fd, events, 0};
        const int ready = ::poll(&entry, 1, static_cast<int>(deadline.remainingTime()));
        if (ready > 0) {
            return true;
        }
        if (ready == 0 || errno != EINTR) {
            return false;
        }
    }
}

// One connection to the server: reads its line, answers it when it is the request, closes.
class Peer : public QObject {
public:
    Peer(int fd, LocalRequestServer& server, QByteArray request, QByteArray reply,
         std::function<void()> requested)
        : QObject(&server)
        , fd_(fd)
        , notifier_(fd, QSocketNotifier::Read)
        , request_(std::move(request))
        , reply_(std::move(reply))
        , requested_(std::move(requested)) {
        connect(&notifier_, &QSocketNotifier::activated, this, &Peer::readAvailable);
        QTimer::singleShot(LocalRequestServer::kServeTimeoutMs, this, &Peer::close);
    }

private:
    void readAvailable() {
        char chunk[LocalRequestServer::kMaxLine + 1];
        const ssize_t got = ::read(fd_.get(), chunk, sizeof chunk);
        if (got < 0 && (errno == EAGAIN || errno == EINTR)) {
            return;
        }
        if (got <= 0) {
            close();
            return;
        }
        line_.append(chunk, got);
        const qsizetype end = line_.indexOf('\n');
        if (end < 0) {
            if (line_.size() > LocalRequestServer::kMaxLine) {
                close();
            }
            return;
        }
        const bool wanted = line_.left(end).trimmed() == request_;
        if (wanted) {
            const QByteArray reply = reply_ + '\n';
            // A few bytes into an empty socket buffer: one send does it.
            (void)::send(fd_.get(), reply.constData(), std::size_t(reply.size()), MSG_NOSIGNAL);
        }
        const std::function<void()> requested = requested_;
        close();
        if (wanted) {
            requested();
        }
    }

    void close() {
        notifier_.setEnabled(false);
        fd_.reset();
        deleteLater();
    }

    Descriptor fd_;
    QSocketNotifier notifier_;
    const QByteArray request_;
    const QByteArray reply_;
    const std::function<void()> requested_;
    QByteArray line_;
};

} // namespace

LocalRequestServer::LocalRequestServer(QByteArray request, QByteArray reply, QObject* parent)
    : QObject(parent)
    , request_(std::move(request))
    , reply_(std::move(reply)) {}

LocalRequestServer::~LocalRequestServer() {
    notifier_.reset();
    if (fd_ >= 0) {
        ::close(fd_);
        ::unlink(path_.constData());
    }
}

bool LocalRequestServer::listen(const QString& path, QString& error) {
    const QByteArray name = QFile::encodeName(path);
    sockaddr_un address{};
    if (!makeAddress(name, address)) {
        error = QStringLiteral("the path is too long for a socket");
        return false;
    }
    Descriptor fd(::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0));
    if (fd.get() < 0) {
        error = systemError();
        return false;
    }
    ::unlink(name.constData());
    // The folder is the user's alone already; the socket is made so as well.
    if (::bind(fd.get(), reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0 ||
        ::chmod(name.constData(), S_IRUSR | S_IWUSR) != 0 || ::listen(fd.get(), SOMAXCONN) != 0) {
        error = systemError();
        ::unlink(name.constData());
        return false;
    }
    path_ = name;
    fd_ = fd.release();
    notifier_ = std::make_unique<QSocketNotifier>(fd_, QSocketNotifier::Read);
    connect(notifier_.get(), &QSocketNotifier::activated, this, &LocalRequestServer::acceptPending);
    return true;
}

void LocalRequestServer::acceptPending() {
    for (;;) {
        const int peer = ::accept4(fd_, nullptr, nullptr, SOCK_CLOEXEC | SOCK_NONBLOCK);
        if (peer < 0) {
            return; // none left (EAGAIN), or one that went away before it was taken
        }
        new Peer(peer, *this, request_, reply_, [this] { emit requested(); });
    }
}

std::optional<QByteArray> askLocalServer(const QString& path, const QByteArray& request, int timeoutMs) {
    const QDeadlineTimer deadline(timeoutMs);
    sockaddr_un address{};
    if (!makeAddress(QFile::encodeName(path), address)) {
        return std::nullopt;
    }
    const Descriptor fd(::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0));
    if (fd.get() < 0) {
        return std::nullopt;
    }
    // A local connect completes at once, or fails with EAGAIN while the server's queue is full.
    while (::connect(fd.get(), reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0) {
        if ((errno != EAGAIN && errno != EINTR) || deadline.hasExpired()) {
            return std::nullopt;
        }
        ::usleep(10'000);
    }
    const QByteArray line = request + '\n';
    for (qsizetype sent = 0; sent < line.size();) {
        const ssize_t n =
            ::send(fd.get(), line.constData() + sent, std::size_t(line.size() - sent), MSG_NOSIGNAL);
        if (n > 0) {
            sent += n;
        } else if (!((errno == EAGAIN || errno == EINTR) && waitFor(fd.get(), POLLOUT, deadline))) {
            return std::nullopt;
        }
    }
    QByteArray reply;
    while (!reply.contains('\n')) {
        char chunk[LocalRequestServer::kMaxLine + 1];
        const ssize_t n = ::read(fd.get(), chunk, sizeof chunk);
        if (n > 0) {
            reply.append(chunk, n);
            if (reply.size() > LocalRequestServer::kMaxLine && !reply.contains('\n')) {
                return std::nullopt;
            }
        } else if (n == 0 || !((errno == EAGAIN || errno == EINTR) && waitFor(fd.get(), POLLIN, deadline))) {
            return std::nullopt;
        }
    }
    return reply.left(reply.indexOf('\n'));
}
