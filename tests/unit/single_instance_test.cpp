#include "app/instance_files.h"
#include "app/single_instance.h"
#include "app/speaking_lock.h"
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
#include <functional>
#include <future>

#include <sys/stat.h>
#include <unistd.h>

using namespace std::chrono_literals;
using Claim = SingleInstance::Claim;

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
    ASSERT_EQ(first.acquire(), Claim::Taken);
    EXPECT_EQ(second.acquire(), Claim::HeldByAnother);
    // A lock that can't be made at all is no sign of another clock.
    EXPECT_EQ(SingleInstance(dir.filePath("gone")).acquire(), Claim::Impossible);
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
        EXPECT_EQ(SingleInstance(dir.path()).acquire() == Claim::Taken, taken) << name;
    }
}

// The instance files' folder is one only the user can write: $XDG_RUNTIME_DIR when it is such a
// folder, else one in $XDG_STATE_HOME, narrowed to 0700 when left open, refused when a link or
// someone else's (naming it). Each row in a temporary folder of its own: a faulty check must not
// narrow a real folder through the link.
TEST(InstanceDirectory, IsTheUsersAlone) {
    const QByteArray runtime = qgetenv("XDG_RUNTIME_DIR"), state = qgetenv("XDG_STATE_HOME");
    const auto folder = [](const QString& p, mode_t mode) {
        return QDir().mkpath(p) && !::chmod(qPrintable(p), mode);
    };
    const auto foreign = [](const QString& p) {
        return QDir().mkpath(p) && !::chown(qPrintable(p), 65534, 65534);
    };
    const auto link = [](const QString& p) {
        return QFile::link(QFileInfo(p).path(), p);
    };
    // clang-format off
    const std::tuple<const char*, std::function<bool(const QString&, const QString&)>, const char*> rows[] = {
        {"runtime folder ours", [&](auto& run, auto&) { return folder(run, 0700); }, "run"},
        {"runtime unset", [](auto&, auto&) { return qunsetenv("XDG_RUNTIME_DIR"); }, "state/variredu-divar"},
        {"runtime open to others", [&](auto& run, auto&) { return folder(run, 0777); }, "state/variredu-divar"},
        {"runtime someone else's", [&](auto& run, auto&) { return foreign(run); }, "state/variredu-divar"},
        {"runtime a link", [&](auto& run, auto&) { return link(run); }, "state/variredu-divar"},
        {"fallback left open", [&](auto&, auto& ours) { return folder(ours, 0755); }, "state/variredu-divar"},
        {"fallback someone else's", [&](auto&, auto& ours) { return foreign(ours); }, ""},
        {"fallback a link", [&](auto&, auto& ours) { return folder(QFileInfo(ours).path(), 0700) && link(ours); }, ""}};
    // clang-format on
    for (const auto& [name, prepare, expected] : rows) {
        QTemporaryDir tmp;
        const QString run = tmp.filePath("run"), ours = tmp.filePath("state/variredu-divar");
        qputenv("XDG_RUNTIME_DIR", QFile::encodeName(run));
        qputenv("XDG_STATE_HOME", QFile::encodeName(tmp.filePath("state")));
        if (!prepare(run, ours)) {
            std::printf("[ SKIPPED ROW ] %s: this user can't set it up\n", name);
            continue;
        }
        const InstanceDirectory got = instanceDirectory();
        const QString want = *expected ? tmp.filePath(expected) : QString();
        EXPECT_EQ(got.path, want) << name;
        EXPECT_TRUE(want.isEmpty() ? got.problem.contains(ours) : !(QFile::permissions(want) & kOthers))
            << name;
    }
    qputenv("XDG_RUNTIME_DIR", runtime);
    qputenv("XDG_STATE_HOME", state);
}

// Clocks side by side with a voice each: the first to take the lock speaks, the other makes no
// engine and says nothing until that one lets go; it then speaks from its next text on, except
// what the first already said in that minute.
TEST(SpeakingTurn, OneVoiceAndTheNextTakesOverWhenItEnds) {
    struct Voice final : SpeechOutput {
        QStringList& heard;
        QString who;
        Voice(QStringList& h, QString w)
            : heard(h)
            , who(std::move(w)) {}
        void say(const QString& text, const std::optional<QString>&) override { heard << who + text; }
    };
    QTemporaryDir dir;
    QStringList heard;
    std::int64_t minute = 1000;
    int made = 0;
    const auto voice = [&](const char* who) {
        return [&, who] {
            ++made;
            return std::make_unique<Voice>(heard, who);
        };
    };
    SpeakingLock firstLock(dir.path()), secondLock(dir.path());
    SpeakingTurn first(
        firstLock, [&] { return minute; }, voice("1:"));
    SpeakingTurn second(
        secondLock, [&] { return minute; }, voice("2:"));
    EXPECT_TRUE(first.speaks() && !second.speaks());
    EXPECT_TRUE(secondLock.describeHolder().startsWith(QStringLiteral("process %1 (").arg(::getpid())));
    for (SpeakingTurn* turn : {&first, &second}) {
        turn->say("a", {});
    }
    firstLock.release();
    second.say("a", {}); // the same minute: said already
    minute = 1001;
    second.say("b", {});
    first.say("b", {});
    EXPECT_EQ(heard, QStringList({"1:a", "2:b"}));
    EXPECT_EQ(made, 2);
}
