#pragma once

#include <QObject>
#include <QString>

#include <chrono>
#include <memory>

class QLocalServer;
class QLocalSocket;
class QLockFile;

// One tray clock per user: two would speak every announcement twice. The first instance holds a
// lock file (taken over when its holder died) and listens on a local socket only the user can
// reach; a later launch asks it to open its settings window instead of starting again.
class SingleInstance : public QObject {
    Q_OBJECT

public:
    // directory: where the lock and socket live; the runtime directory in production.
    explicit SingleInstance(QString directory, QObject* parent = nullptr);
    ~SingleInstance() override;

    // The user's runtime directory ($XDG_RUNTIME_DIR), or a private fallback.
    [[nodiscard]] static QString defaultDirectory();

    // Whether the holder of the lock answers later launches; a terminal clock has no window to open.
    enum class Requests { Answer, Ignore };

    // Takes the lock and, to answer requests, starts listening. False when another live instance
    // holds it, or when no private directory could be had.
    [[nodiscard]] bool acquire(Requests requests = Requests::Answer);
    [[nodiscard]] bool isPrimary() const { return primary_; }

    // From a later launch: asks the running instance to open its settings window. False when no
    // instance answered within the timeout.
    [[nodiscard]] bool askRunningInstanceToOpenSettings(int timeoutMs = 3000) const;

    // From a later launch whose request went unanswered: the holder may be on its way out. Waits
    // up to `wait` for the lock to come free and takes it then, answering requests; false when it
    // stays taken. Blocks: meant for start-up, before there is anything to keep responsive.
    [[nodiscard]] bool acquireWhenFree(std::chrono::milliseconds wait);

    // Who holds the lock, as far as the lock file and the process table tell: "process 1234
    // (variredu-divar --terminal)". For messages.
    [[nodiscard]] QString describeHolder() const;

    // Lets the lock and the socket go at once, so that a launch made while the rest of this process
    // ends becomes the clock. Also done on destruction.
    void release();

signals:
    // A later launch asked for the settings window.
    void openSettingsRequested();
    // acquireWhenFree() found the lock taken and starts waiting; holder as describeHolder() says.
    void waitingForHolder(const QString& holder);

private:
    // After a failed tryLock: removes a lock no live process holds and takes it.
    [[nodiscard]] bool takeOverAbandonedLock();
    void listen(const QString& path);
    void onNewConnection();
    void serve(QLocalSocket* socket);

    QString directory_;
    std::unique_ptr<QLockFile> lock_;
    std::unique_ptr<QLocalServer> server_;
    bool primary_ = false;
};
