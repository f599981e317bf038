#include "app/single_instance.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLocalServer>
#include <QLocalSocket>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QThread>

#include <gtest/gtest.h>

#include <atomic>
#include <cstdio>
#include <memory>

#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

static constexpr int kWaitMs = 15000;

static mode_t modeOf(const QString& path) {
    struct stat info {};
    return ::lstat(QFile::encodeName(path).constData(), &info) == 0 ? info.st_mode : 0;
}

// The asking launch on a thread of its own while this thread's event loop serves, as two
// processes would.
static bool askFromAnotherThread(const SingleInstance& asker) {
    std::atomic<bool> answered = false;
    const std::unique_ptr<QThread> thread(
        QThread::create([&] { answered = asker.askRunningInstanceToOpenSettings(kWaitMs); }));
    QSignalSpy finished(thread.get(), &QThread::finished);
    thread->start();
    EXPECT_TRUE(finished.wait(2 * kWaitMs));
    thread->wait();
    return answered;
}

// One holder at a time: it keeps the lock and a socket only its user can reach (replacing one
// left over), opens its settings for each later launch that asks, and leaves nothing behind.
TEST(SingleInstance, OneHolderServesLaterLaunchesUntilItEnds) {
    QTemporaryDir dir;
    const QString socket = dir.filePath("variredu-divar.socket");
    QFile(socket).open(QIODevice::WriteOnly);
    SingleInstance second(dir.path());
    {
        SingleInstance first(dir.path());
        ASSERT_TRUE(first.acquire());
        EXPECT_FALSE(second.acquire());
        EXPECT_EQ(modeOf(socket) & (S_IFMT | 0777), S_IFSOCK | 0700u);
        QSignalSpy requests(&first, &SingleInstance::openSettingsRequested);
        EXPECT_TRUE(askFromAnotherThread(second) && askFromAnotherThread(second));
        EXPECT_EQ(requests.count(), 2);
    }
    EXPECT_FALSE(QFile::exists(socket) || QFile::exists(dir.filePath("variredu-divar.lock")));
    EXPECT_TRUE(second.acquire());
}

TEST(SingleInstance, AskerBelievesOnlyTheExactReply) {
    for (const char* reply : {"ok\n", "okay\n", "error\n", "ok", ""}) {
        QTemporaryDir dir;
        QLocalServer server;
        ASSERT_TRUE(server.listen(dir.filePath("variredu-divar.socket")));
        QObject::connect(&server, &QLocalServer::newConnection, &server, [&server, reply] {
            QLocalSocket* peer = server.nextPendingConnection();
            while (!peer->canReadLine() && peer->waitForReadyRead(kWaitMs)) {
            }
            peer->write(reply);
            peer->disconnectFromServer();
        });
        EXPECT_EQ(askFromAnotherThread(SingleInstance(dir.path())), qstrcmp(reply, "ok\n") == 0) << reply;
    }
}

TEST(SingleInstance, PrimaryOpensSettingsOnlyOnTheExactRequest) {
    for (const QByteArray& request : {QByteArray("open-settings\n"), QByteArray("open-settings now\n"),
                                      QByteArray("close\n"), QByteArray(4096, 'x')}) {
        QTemporaryDir dir;
        SingleInstance primary(dir.path());
        ASSERT_TRUE(primary.acquire());
        QSignalSpy requests(&primary, &SingleInstance::openSettingsRequested);
        QLocalSocket client;
        QSignalSpy closed(&client, &QLocalSocket::disconnected);
        client.connectToServer(dir.filePath("variredu-divar.socket"));
        ASSERT_TRUE(client.waitForConnected(kWaitMs));
        client.write(request);
        ASSERT_TRUE(closed.wait(kWaitMs));
        EXPECT_EQ(requests.count(), request == "open-settings\n" ? 1 : 0) << request.left(20).constData();
    }
}

// A lock no live process holds is taken over (no PID reaches a billion), also when its PID now runs
// this program; a half-written one only once it is old, as another launch may be writing it.
TEST(SingleInstance, TakesOverAbandonedLocks) {
    // What QLockFile writes: PID, program name, host name (none: this host); no machine or boot ids.
    const QByteArray alive = QByteArray::number(QCoreApplication::applicationPid()) + '\n' +
                             QFileInfo(QCoreApplication::applicationFilePath()).fileName().toUtf8() + '\n';
    // clang-format off
    const std::tuple<const char*, QByteArray, int, bool> rows[] = {
        {"holder died", "999999999\nvariredu-divar\n\n", 0, true},
        {"PID reused by this program", alive + '\n', 0, true},
        {"empty and old", {}, 60, true}, {"empty and new", {}, 0, false}};
    // clang-format on
    for (const auto& [name, content, ageSeconds, taken] : rows) {
        QTemporaryDir dir;
        QFile lock(dir.filePath("variredu-divar.lock"));
        ASSERT_TRUE(lock.open(QIODevice::WriteOnly) && lock.write(content) == content.size() && lock.flush());
        ASSERT_TRUE(lock.setFileTime(QDateTime::currentDateTime().addSecs(-ageSeconds),
                                     QFileDevice::FileModificationTime));
        EXPECT_EQ(SingleInstance(dir.path()).acquire(), taken) << name;
    }
}

// With no runtime directory the fallback in the temporary directory must be ours alone: made
// 0700, narrowed to that when left open, refused when a link or someone else's.
TEST(SingleInstance, DefaultDirectoryIsPrivate) {
    const QByteArray runtime = qgetenv("XDG_RUNTIME_DIR"), temp = qgetenv("TMPDIR");
    qunsetenv("XDG_RUNTIME_DIR");
    // clang-format off
    const std::tuple<const char*, bool (*)(const QString&), bool> rows[] = {
        {"fresh", [](const QString&) { return true; }, true},
        {"left open", [](const QString& path) {
             return QDir().mkdir(path) && ::chmod(qPrintable(path), 0755) == 0; }, true},
        {"a link", [](const QString& path) { return QFile::link(QDir::tempPath(), path); }, false},
        {"someone else's", [](const QString& path) {
             return QDir().mkdir(path) && ::chown(qPrintable(path), 65534, 65534) == 0; }, false}};
    // clang-format on
    for (const auto& [name, prepare, usable] : rows) {
        QTemporaryDir tmp;
        qputenv("TMPDIR", QFile::encodeName(tmp.path()));
        // Qt's own fallback is refused when others may enter it.
        const QString qt = tmp.filePath(QStringLiteral("runtime-") + ::getpwuid(::geteuid())->pw_name);
        EXPECT_TRUE(QDir().mkdir(qt) && ::chmod(qPrintable(qt), 0755) == 0);
        const QString ours = tmp.filePath(QStringLiteral("variredu-divar-") + QString::number(::geteuid()));
        if (!prepare(ours)) {
            std::printf("[ SKIPPED ROW ] %s: this user can't set it up\n", name);
            continue;
        }
        const QString got = SingleInstance::defaultDirectory();
        EXPECT_EQ(got, usable ? ours : QString()) << name;
        EXPECT_EQ(usable ? modeOf(got) & 07777 : 0700u, 0700u) << name;
    }
    qputenv("XDG_RUNTIME_DIR", runtime);
    qputenv("TMPDIR", temp);
}
