#include "app/single_instance.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLocalServer>
#include <QLocalSocket>
#include <QProcess>
#include <QSignalSpy>
#include <QSysInfo>
#include <QTemporaryDir>
#include <QThread>

#include <gtest/gtest.h>

#include <atomic>
#include <functional>
#include <memory>
#include <optional>

#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

constexpr int kWaitMs = 15000;

QString lockPath(const QTemporaryDir& dir) {
    return dir.filePath(QStringLiteral("variredu-divar.lock"));
}
QString socketPath(const QTemporaryDir& dir) {
    return dir.filePath(QStringLiteral("variredu-divar.socket"));
}

// Runs the asking side on its own thread while this thread's event loop serves the primary, as
// two processes would.
bool askFromAnotherThread(const SingleInstance& asker) {
    std::atomic<bool> answered = false;
    const std::unique_ptr<QThread> thread(
        QThread::create([&] { answered = asker.askRunningInstanceToOpenSettings(kWaitMs); }));
    QSignalSpy finished(thread.get(), &QThread::finished);
    thread->start();
    EXPECT_TRUE(finished.wait(2 * kWaitMs));
    thread->wait();
    return answered;
}

void writeFile(const QString& path, const QByteArray& content) {
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(content);
}

// A lock file in the form QLockFile writes: PID, program name, host name, machine and boot ids.
QByteArray lockContents(qint64 pid, const QString& program) {
    return QByteArray::number(pid) + '\n' + program.toUtf8() + '\n' + QSysInfo::machineHostName().toUtf8() +
           '\n' + QSysInfo::machineUniqueId() + '\n' + QSysInfo::bootUniqueId() + '\n';
}

qint64 pidOfExitedProcess() {
    QProcess shell;
    shell.start(QStringLiteral("sh"), {QStringLiteral("-c"), QStringLiteral("echo $$")});
    EXPECT_TRUE(shell.waitForFinished(kWaitMs));
    return shell.readAllStandardOutput().trimmed().toLongLong();
}

QString thisProgram() {
    return QFileInfo(QCoreApplication::applicationFilePath()).fileName();
}

// Sets or clears an environment variable for one scope.
class EnvOverride {
public:
    EnvOverride(const char* name, std::optional<QString> value)
        : name_(name)
        , old_(qEnvironmentVariableIsSet(name) ? std::optional(qEnvironmentVariable(name)) : std::nullopt) {
        set(value);
    }
    ~EnvOverride() { set(old_); }
    EnvOverride(const EnvOverride&) = delete;
    EnvOverride& operator=(const EnvOverride&) = delete;

private:
    void set(const std::optional<QString>& value) {
        if (value)
            qputenv(name_, value->toLocal8Bit());
        else
            qunsetenv(name_);
    }
    const char* name_;
    std::optional<QString> old_;
};

mode_t modeOf(const QString& path) {
    struct stat info {};
    return ::lstat(QFile::encodeName(path).constData(), &info) == 0 ? info.st_mode : 0;
}

// One holder at a time: the first to acquire keeps the lock and a private socket, replacing one
// left over, and opens its settings for each later launch that asks; on its end both files are gone
// and the one that lost may take over.
TEST(SingleInstance, FirstAcquireServesLaterLaunchesUntilItEnds) {
    QTemporaryDir dir;
    writeFile(socketPath(dir), "left over");
    SingleInstance second(dir.path());
    {
        SingleInstance first(dir.path());
        ASSERT_TRUE(first.acquire());
        EXPECT_TRUE(first.isPrimary());
        const mode_t mode = modeOf(socketPath(dir));
        EXPECT_TRUE(S_ISSOCK(mode));
        EXPECT_EQ(mode & 0777, 0700u);
        EXPECT_FALSE(second.acquire());
        EXPECT_FALSE(second.isPrimary());
        EXPECT_TRUE(first.acquire()) << "asking again keeps the lock";

        QSignalSpy requests(&first, &SingleInstance::openSettingsRequested);
        EXPECT_TRUE(askFromAnotherThread(second));
        EXPECT_EQ(requests.count(), 1);
        EXPECT_TRUE(askFromAnotherThread(second)) << "the primary keeps serving";
        EXPECT_EQ(requests.count(), 2);
    }
    EXPECT_FALSE(QFileInfo::exists(lockPath(dir)));
    EXPECT_FALSE(QFileInfo::exists(socketPath(dir)));
    EXPECT_TRUE(second.acquire());
}

TEST(SingleInstance, NobodyToAsk) {
    QTemporaryDir dir;
    EXPECT_FALSE(SingleInstance(dir.path()).askRunningInstanceToOpenSettings(kWaitMs));
    writeFile(socketPath(dir), "left over");
    EXPECT_FALSE(SingleInstance(dir.path()).askRunningInstanceToOpenSettings(kWaitMs));
}

// The asking side believes only the exact answer, and sends the exact request.
TEST(SingleInstance, AskerNeedsTheOkLine) {
    const struct {
        QByteArray reply;
        bool answered;
    } cases[] = {{"ok\n", true}, {"okay\n", false}, {"error\n", false}, {"", false}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.reply.constData());
        QTemporaryDir dir;
        QLocalServer server;
        ASSERT_TRUE(server.listen(socketPath(dir)));
        QByteArray request;
        QObject::connect(&server, &QLocalServer::newConnection, &server, [&] {
            QLocalSocket* peer = server.nextPendingConnection();
            QObject::connect(peer, &QLocalSocket::readyRead, peer, [&, peer] {
                if (!peer->canReadLine())
                    return;
                request = peer->readLine();
                peer->write(c.reply);
                peer->disconnectFromServer();
            });
        });
        EXPECT_EQ(askFromAnotherThread(SingleInstance(dir.path())), c.answered);
        EXPECT_EQ(request, "open-settings\n");
    }
}

// Only the one request opens the window; anything else just ends the connection.
TEST(SingleInstance, PrimaryAnswersOnlyItsRequest) {
    const struct {
        const char* name;
        QByteArray request;
        QByteArray reply;
        int opened;
    } cases[] = {
        {"request", "open-settings\n", "ok\n", 1},
        {"unknown request", "close-window\n", "", 0},
        {"endless line", QByteArray(4096, 'x'), "", 0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        QTemporaryDir dir;
        SingleInstance primary(dir.path());
        ASSERT_TRUE(primary.acquire());
        QSignalSpy requests(&primary, &SingleInstance::openSettingsRequested);
        QLocalSocket client;
        QSignalSpy closed(&client, &QLocalSocket::disconnected);
        client.connectToServer(socketPath(dir));
        ASSERT_TRUE(client.waitForConnected(kWaitMs));
        client.write(c.request);
        ASSERT_TRUE(closed.wait(kWaitMs));
        EXPECT_EQ(client.readAll(), c.reply);
        EXPECT_EQ(requests.count(), c.opened);
    }
}

// A lock whose holder is gone is taken over; a half-written one only once it is old. Qt's own
// check keeps a lock naming a live process that runs this program, as a reused PID would.
TEST(SingleInstance, AbandonedLocks) {
    const struct {
        const char* name;
        std::function<QByteArray()> content;
        qint64 ageSeconds;
        bool taken;
    } cases[] = {
        {"holder died", [] { return lockContents(pidOfExitedProcess(), QStringLiteral("variredu-divar")); },
         0, true},
        {"PID reused by this program",
         [] { return lockContents(QCoreApplication::applicationPid(), thisProgram()); }, 0, true},
        {"empty and old", [] { return QByteArray(); }, 60, true},
        {"empty and new: being written", [] { return QByteArray(); }, 0, false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        QTemporaryDir dir;
        writeFile(lockPath(dir), c.content());
        QFile lock(lockPath(dir));
        ASSERT_TRUE(lock.open(QIODevice::ReadWrite));
        ASSERT_TRUE(lock.setFileTime(QDateTime::currentDateTime().addSecs(-c.ageSeconds),
                                     QFileDevice::FileModificationTime));
        lock.close();
        SingleInstance next(dir.path());
        EXPECT_EQ(next.acquire(), c.taken);
    }
}

// When Qt refuses a runtime directory, ours is made in the temporary directory, private.
TEST(SingleInstance, DefaultDirectory) {
    constexpr QFile::Permissions kOpen = QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner |
                                         QFile::ReadGroup | QFile::ExeGroup | QFile::ReadOther |
                                         QFile::ExeOther;
    const QString ours = QStringLiteral("/variredu-divar-") + QString::number(::geteuid());
    const struct {
        const char* name;
        std::function<void(const QString& tmp)> prepare;
        bool usable;
    } cases[] = {
        {"fresh", [](const QString&) {}, true},
        {"left too open",
         [&](const QString& tmp) {
             QDir().mkdir(tmp + ours);
             QFile::setPermissions(tmp + ours, kOpen);
         },
         true},
        {"a link elsewhere", [&](const QString& tmp) { QFile::link(tmp, tmp + ours); }, false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        QTemporaryDir tmp;
        // Qt's own fallback, runtime-USER, is refused when others may enter it.
        const QString qtFallback = tmp.filePath(QStringLiteral("runtime-") +
                                                QString::fromLocal8Bit(::getpwuid(::geteuid())->pw_name));
        ASSERT_TRUE(QDir().mkdir(qtFallback));
        QFile::setPermissions(qtFallback, kOpen);
        c.prepare(tmp.path());
        const EnvOverride runtime("XDG_RUNTIME_DIR", std::nullopt);
        const EnvOverride temp("TMPDIR", tmp.path());

        const QString got = SingleInstance::defaultDirectory();
        EXPECT_EQ(got, c.usable ? tmp.path() + ours : QString());
        if (c.usable) {
            EXPECT_EQ(modeOf(got) & 07777, 0700u);
        }
    }

    QTemporaryDir runtime;
    const EnvOverride set("XDG_RUNTIME_DIR", runtime.path());
    EXPECT_EQ(SingleInstance::defaultDirectory(), runtime.path())
        << "a proper runtime directory is used as is";
}

} // namespace
