#include "app/single_instance.h"
#include "support.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QDir>
#include <QFileInfo>
#include <QLocalServer>
#include <QLocalSocket>
#include <QSignalSpy>
#include <QTest>

#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <future>

#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

using namespace std::chrono_literals;

static constexpr int kWaitMs = 15000;

// Access for anyone but the owner.
static constexpr QFile::Permissions kOthers = QFile::Permissions::fromInt(0x0077);

// The asking launch on a thread of its own while this thread's event loop serves, as two processes
// would.
static bool askFromAnotherThread(const SingleInstance& asker) {
    auto answer =
        std::async(std::launch::async, [&] { return asker.askRunningInstanceToOpenSettings(kWaitMs); });
    EXPECT_TRUE(
        QTest::qWaitFor([&] { return answer.wait_for(0s) == std::future_status::ready; }, 2 * kWaitMs));
    return answer.get();
}

// One holder at a time: it keeps the lock and a socket only its user can reach (replacing one left
// over) and opens its settings for each later launch that asks, and for nothing else. A launch made
// while it ends waits for it, naming it, and takes over once it has let go of everything.
TEST(SingleInstance, OneHolderServesLaterLaunchesUntilItEnds) {
    QTemporaryDir dir;
    const QString socket = dir.filePath("variredu-divar.socket");
    ASSERT_TRUE(writeFile(socket, {}));
    SingleInstance first(dir.path()), second(dir.path());
    ASSERT_TRUE(first.acquire());
    EXPECT_FALSE(second.acquire());
    EXPECT_FALSE(QFile::permissions(socket) & kOthers);
    QSignalSpy requests(&first, &SingleInstance::openSettingsRequested);
    EXPECT_TRUE(askFromAnotherThread(second) && askFromAnotherThread(second));
    for (const char* request : {"open-settings now\n", "close\n"}) {
        QLocalSocket client;
        QSignalSpy closed(&client, &QLocalSocket::disconnected);
        client.connectToServer(socket);
        ASSERT_TRUE(client.waitForConnected(kWaitMs) && client.write(request) > 0 && closed.wait(kWaitMs));
    }
    EXPECT_EQ(requests.count(), 2);
    QString holder;
    QObject::connect(&second, &SingleInstance::waitingForHolder, &second, [&](const QString& who) {
        holder = who;
        first.release();
        EXPECT_FALSE(QFile::exists(socket) || QFile::exists(dir.filePath("variredu-divar.lock")));
    });
    EXPECT_TRUE(second.acquireWhenFree(10s));
    EXPECT_EQ(holder.section(u'(', 0, 0),
              QStringLiteral("process %1 ").arg(QCoreApplication::applicationPid()));
}

// A later launch believes only the exact reply.
TEST(SingleInstance, AskerBelievesOnlyTheExactReply) {
    for (const char* reply : {"okay\n", "error\n", ""}) {
        QTemporaryDir dir;
        QLocalServer server;
        ASSERT_TRUE(server.listen(dir.filePath("variredu-divar.socket")));
        QObject::connect(&server, &QLocalServer::newConnection, &server, [&server, reply] {
            QLocalSocket* peer = server.nextPendingConnection();
            peer->waitForReadyRead(kWaitMs); // the request, in one piece on a local socket
            peer->write(reply);
            peer->disconnectFromServer();
        });
        EXPECT_FALSE(askFromAnotherThread(SingleInstance(dir.path()))) << reply;
    }
}

// A lock no live process holds is taken over (no PID reaches a billion), also when its PID now runs
// this program; a half-written one only once it is old, as another launch may be writing it.
TEST(SingleInstance, TakesOverAbandonedLocks) {
    // What QLockFile writes: PID, program name, host name (none: this host); no machine or boot ids.
    const QByteArray alive = QByteArray::number(QCoreApplication::applicationPid()) + '\n' +
                             QFileInfo(QCoreApplication::applicationFilePath()).fileName().toUtf8() + "\n\n";
    // clang-format off
    const std::tuple<const char*, QByteArray, int, bool> rows[] = {
        {"holder died", "999999999\nvariredu-divar\n\n", 0, true},
        {"PID reused by this program", alive, 0, true}, {"empty and old", {}, 60, true},
        {"empty and new", {}, 0, false}};
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

// With no runtime directory the fallback in the temporary directory must be ours alone: narrowed to
// 0700 when left open, refused when a link or someone else's. Each case stays inside a temporary
// directory of its own: a faulty check must not narrow the real one through the link.
TEST(SingleInstance, DefaultDirectoryIsPrivate) {
    const QByteArray runtime = qgetenv("XDG_RUNTIME_DIR"), temp = qgetenv("TMPDIR");
    qunsetenv("XDG_RUNTIME_DIR");
    // clang-format off
    const std::tuple<const char*, bool (*)(const QString&), bool> rows[] = {
        {"left open", [](const QString& p) { return QDir().mkdir(p) && !chmod(qPrintable(p), 0755); }, true},
        {"a link", [](const QString& p) { return QFile::link(QFileInfo(p).path(), p); }, false},
        {"someone else's", [](const QString& p) {
             return QDir().mkdir(p) && !chown(qPrintable(p), 65534, 65534); }, false}};
    // clang-format on
    for (const auto& [name, prepare, usable] : rows) {
        QTemporaryDir tmp;
        // Qt's own fallback is refused when others may enter it.
        const QString qt = tmp.filePath(QStringLiteral("runtime-") + ::getpwuid(::geteuid())->pw_name);
        EXPECT_TRUE(QDir().mkdir(qt) && ::chmod(qPrintable(qt), 0755) == 0);
        const QString ours = tmp.filePath(QStringLiteral("variredu-divar-") + QString::number(::geteuid()));
        if (!prepare(ours)) {
            std::printf("[ SKIPPED ROW ] %s: this user can't set it up\n", name);
            continue;
        }
        qputenv("TMPDIR", QFile::encodeName(tmp.path()));
        const QString got = SingleInstance::defaultDirectory();
        qputenv("TMPDIR", temp);
        EXPECT_EQ(got, usable ? ours : QString()) << name;
        EXPECT_FALSE(QFile::permissions(got) & kOthers) << name;
    }
    qputenv("XDG_RUNTIME_DIR", runtime);
}
