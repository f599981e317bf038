#pragma once

#include <QByteArray>
#include <QObject>
#include <QString>

#include <memory>
#include <optional>

class QSocketNotifier;

// Local stream sockets by path, one line each way, with QtCore alone: QtNetwork, with the Kerberos
// and proxy libraries it loads, cost the tray ~1.9 MB of memory and ~1 ms of every start for this
// one socket.

// Listens at a path for one request line per connection, answers the exact request with its reply
// line and closes; anything else is closed unanswered.
class LocalRequestServer : public QObject {
    Q_OBJECT

public:
    // request and reply without their line ends.
    LocalRequestServer(QByteArray request, QByteArray reply, QObject* parent = nullptr);
    // Stops listening and removes the socket file.
    ~LocalRequestServer() override;
    LocalRequestServer(const LocalRequestServer&) = delete;
    LocalRequestServer& operator=(const LocalRequestServer&) = delete;

    // Listens at `path` (absolute), replacing whatever file is there, reachable by its owner alone.
    // False with `error` saying why.
    [[nodiscard]] bool listen(const QString& path, QString& error);

    // Longer than any request understood: a peer sending more without a line end is dropped.
    static constexpr qsizetype kMaxLine = 64;
    // A peer that connects and never finishes its line must not keep a connection open forever.
    static constexpr int kServeTimeoutMs = 5000;

signals:
    // Sent after the reply has gone out and the connection is closed: a slot may run a nested
    // event loop.
    void requested();

private:
    void acceptPending();

    const QByteArray request_;
    const QByteArray reply_;
    QByteArray path_;
    int fd_ = -1;
    std::unique_ptr<QSocketNotifier> notifier_;
};

// Sends `request` (without its line end) to the server at `path` and returns the first line of its
// reply, without the line end. None when no server is there, or no full line came within
// `timeoutMs`. Blocks: meant for a launch that has nothing else to do meanwhile.
[[nodiscard]] std::optional<QByteArray> askLocalServer(const QString& path, const QByteArray& request,
                                                       int timeoutMs);
