#pragma once

#include <QObject>
#include <QString>

#include <chrono>
#include <memory>

class LocalRequestServer;
class QLockFile;

// One tray program per user: a later launch asks the running one to open its settings window
// instead of starting again. The first holds a lock file (taken over when its holder died) and
// listens on a local socket only the user can reach. Which clock speaks is a matter of its own
// (SpeakingLock): terminal clocks take no part in this.
class SingleInstance : public QObject {
    Q_OBJECT

public:
    // directory: where the lock and socket live (absolute); instanceDirectory() in production.
    explicit SingleInstance(QString directory, QObject* parent = nullptr);
    ~SingleInstance() override;

    enum class Claim {
        Taken,         // this is the one instance now, listening for later launches
        HeldByAnother, // by a live instance
        Impossible,    // the lock file can't be made at all (see lockPath()): no one holds it
    };

    // Takes the lock and starts listening.
    [[nodiscard]] Claim acquire();
    [[nodiscard]] bool isPrimary() const { return primary_; }

    // From a later launch: asks the running instance to open its settings window. False when no
    // instance answered within the timeout.
    [[nodiscard]] bool askRunningInstanceToOpenSettings(int timeoutMs = 3000) const;

    // From a later launch whose request went unanswered: the holder may be on its way out. Waits
    // up to `wait` for the lock to come free and takes it then, answering requests; false when it
    // stays taken or can't be had. Blocks: meant for start-up, before there is anything to keep
    // responsive.
    [[nodiscard]] bool acquireWhenFree(std::chrono::milliseconds wait);

    // Who holds the lock, as far as the lock file and the process table tell: "process 1234
    // (variredu-divar --terminal)". For messages.
    [[nodiscard]] QString describeHolder() const;
    // Absolute, for messages.
    [[nodiscard]] QString lockPath() const;

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

    QString directory_;
    std::unique_ptr<QLockFile> lock_;
    std::unique_ptr<LocalRequestServer> server_;
    bool primary_ = false;
};
