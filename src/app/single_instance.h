#pragma once

#include <QObject>
#include <QString>

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

signals:
    // A later launch asked for the settings window.
    void openSettingsRequested();

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
