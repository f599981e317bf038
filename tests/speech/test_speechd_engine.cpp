#include "clock/qt_speech_output.h"
#include "clock/utterance_queue.h"

#include <QByteArray>
#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QLoggingCategory>
#include <QMutex>
#include <QMutexLocker>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTextToSpeech>
#include <QWaitCondition>

#include <gtest/gtest.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <functional>
#include <iostream>
#include <memory>
#include <poll.h>
#include <sys/syscall.h>
#include <thread>
#include <unistd.h>
#include <vector>

// libspeechd's string scanning under ASan's interceptors takes tens of seconds per call.
#if defined(__SANITIZE_ADDRESS__)
#define VD_UNDER_ASAN 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#define VD_UNDER_ASAN 1
#endif
#endif

namespace {

#ifndef VD_UNDER_ASAN

// What the program reports while it speaks: the queue's log lines ("variredu.speech"), from whichever
// thread writes them, and what goes to stderr, where a failed engine start is reported.
struct SpeechLog {
    QMutex mutex;
    QWaitCondition grown;
    QStringList lines;
    QByteArray stderrText;

    // True once `done` holds, checked under the lock; false when the deadline passes first.
    bool waitFor(const std::function<bool()>& done, QDeadlineTimer deadline) {
        const QMutexLocker lock(&mutex);
        while (!done()) {
            if (!grown.wait(&mutex, deadline)) {
                return done();
            }
        }
        return true;
    }
    void addLine(const QString& line) {
        const QMutexLocker lock(&mutex);
        lines.append(line);
        grown.wakeAll();
    }
    void addStderr(const QByteArray& bytes) {
        const QMutexLocker lock(&mutex);
        stderrText += bytes;
        grown.wakeAll();
    }
    QStringList snapshot() {
        const QMutexLocker lock(&mutex);
        return lines;
    }
};

SpeechLog* gLog = nullptr;
QtMessageHandler gPreviousHandler = nullptr;

void collectSpeechLog(QtMsgType type, const QMessageLogContext& context, const QString& message) {
    if (gLog && context.category && qstrcmp(context.category, "variredu.speech") == 0) {
        gLog->addLine(message);
    }
    gPreviousHandler(type, context, message);
}

// Passes fd 2 through a pipe on to where it went before, showing the log what goes by.
class StderrTee {
public:
    explicit StderrTee(SpeechLog& log) {
        int data[2] = {-1, -1};
        int stop[2] = {-1, -1};
        if (::pipe(data) != 0 || ::pipe(stop) != 0) {
            return;
        }
        std::fflush(stderr);
        saved_ = ::dup(STDERR_FILENO);
        ::dup2(data[1], STDERR_FILENO);
        ::close(data[1]);
        read_ = data[0];
        stopRead_ = stop[0];
        stopWrite_ = stop[1];
        thread_ = std::thread([this, &log] { pass(log); });
    }
    ~StderrTee() {
        if (!thread_.joinable()) {
            return;
        }
        std::fflush(stderr);
        ::dup2(saved_, STDERR_FILENO);
        // A process started meanwhile may hold the pipe open; don't wait for its end of file.
        ::close(stopWrite_);
        thread_.join();
        for (const int fd : {read_, stopRead_, saved_}) {
            ::close(fd);
        }
    }
    StderrTee(const StderrTee&) = delete;
    StderrTee& operator=(const StderrTee&) = delete;

private:
    // Until stopped, and then until what was written before is through.
    void pass(SpeechLog& log) const {
        char buffer[4096];
        for (;;) {
            pollfd fds[] = {{read_, POLLIN, 0}, {stopRead_, POLLIN, 0}};
            if (::poll(fds, 2, -1) < 0) {
                if (errno == EINTR) {
                    continue;
                }
                return;
            }
            if (fds[0].revents & POLLIN) {
                const ssize_t got = ::read(read_, buffer, sizeof buffer);
                if (got <= 0) {
                    return;
                }
                (void)!::write(saved_, buffer, std::size_t(got));
                log.addStderr(QByteArray(buffer, got));
            } else if (fds[0].revents != 0 || fds[1].revents != 0) {
                return;
            }
        }
    }

    int saved_ = -1;
    int read_ = -1;
    int stopRead_ = -1;
    int stopWrite_ = -1;
    std::thread thread_;
};

// Ends one process and waits, boundedly, until it is gone. Only pids this test's daemon left behind
// get here.
void terminate(pid_t pid) {
    const int fd = static_cast<int>(::syscall(SYS_pidfd_open, pid, 0));
    if (::kill(pid, SIGTERM) != 0) {
        if (fd >= 0) {
            ::close(fd);
        }
        return;
    }
    if (fd >= 0) {
        pollfd exited{fd, POLLIN, 0};
        if (::poll(&exited, 1, 5000) == 0) {
            ::kill(pid, SIGKILL);
        }
        ::close(fd);
    }
}

// A speech-dispatcher of this test's own: home, runtime, config and cache directories in a temporary
// directory, ALSA output into the null device, a full log. libspeechd starts the daemon on the first
// connection (it finds the socket through XDG_RUNTIME_DIR); everything started with this runtime
// directory is ended when the sandbox goes.
class SpeechdSandbox {
public:
    SpeechdSandbox() {
        const QDir root(dir_.path());
        for (const char* sub : {"home", "run", "config/speech-dispatcher", "cache", "log"}) {
            root.mkpath(QString::fromLatin1(sub));
        }
        QFile::setPermissions(root.filePath(QStringLiteral("run")),
                              QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
        write(QStringLiteral("home/.asoundrc"), "pcm.!default { type null }\n");
        write(QStringLiteral("config/speech-dispatcher/speechd.conf"),
              "AudioOutputMethod \"alsa\"\nLogLevel 5\nLogDir \"" + logDir().toUtf8() + "\"\n");

        qputenv("HOME", root.filePath(QStringLiteral("home")).toUtf8());
        qputenv("XDG_RUNTIME_DIR", runDir().toUtf8());
        qputenv("XDG_CONFIG_HOME", root.filePath(QStringLiteral("config")).toUtf8());
        qputenv("XDG_CACHE_HOME", root.filePath(QStringLiteral("cache")).toUtf8());
        // Either would have libspeechd reach another daemon or start another program.
        qunsetenv("SPEECHD_ADDRESS");
        qunsetenv("SPEECHD_CMD");
    }
    ~SpeechdSandbox() { stop(); }
    SpeechdSandbox(const SpeechdSandbox&) = delete;
    SpeechdSandbox& operator=(const SpeechdSandbox&) = delete;

    [[nodiscard]] bool valid() const { return dir_.isValid(); }
    [[nodiscard]] QString runDir() const { return dir_.filePath(QStringLiteral("run")); }
    [[nodiscard]] QString logDir() const { return dir_.filePath(QStringLiteral("log")); }
    [[nodiscard]] QString pidFile() const {
        return runDir() + QStringLiteral("/speech-dispatcher/pid/speech-dispatcher.pid");
    }
    [[nodiscard]] QString daemonLog() const {
        QFile file(logDir() + QStringLiteral("/speech-dispatcher.log"));
        return file.open(QIODevice::ReadOnly) ? QString::fromUtf8(file.readAll()) : QString();
    }

    // Processes other than this one that run with this runtime directory: the daemon and its output
    // modules. Zombies have no environment left and don't count.
    [[nodiscard]] std::vector<pid_t> processes() const {
        const QByteArray marker = "XDG_RUNTIME_DIR=" + runDir().toUtf8() + '\0';
        std::vector<pid_t> found;
        const QStringList entries =
            QDir(QStringLiteral("/proc")).entryList(QDir::Dirs | QDir::NoDotAndDotDot);
        for (const QString& entry : entries) {
            bool numeric = false;
            const pid_t pid = entry.toInt(&numeric);
            if (!numeric || pid == ::getpid()) {
                continue;
            }
            QFile env(QStringLiteral("/proc/%1/environ").arg(pid));
            if (env.open(QIODevice::ReadOnly) && env.readAll().contains(marker)) {
                found.push_back(pid);
            }
        }
        return found;
    }

    // Ends the daemon by its pid file, then whatever else still runs with this runtime directory.
    // Returns how many processes were ended.
    int stop() {
        if (stopped_) {
            return 0; // the pids may belong to others by now
        }
        stopped_ = true;
        int ended = 0;
        QFile pid(pidFile());
        if (pid.open(QIODevice::ReadOnly)) {
            if (const pid_t daemon = pid.readAll().trimmed().toInt(); daemon > 1) {
                terminate(daemon);
                ++ended;
            }
        }
        for (const pid_t other : processes()) {
            terminate(other);
            ++ended;
        }
        return ended;
    }

private:
    void write(const QString& relative, const QByteArray& content) const {
        QFile file(dir_.filePath(relative));
        if (file.open(QIODevice::WriteOnly)) {
            file.write(content);
        }
    }

    QTemporaryDir dir_;
    bool stopped_ = false;
};

struct Outcome {
    QString text;
    bool spoke = false;    // Speaking reported after the hand-over
    bool errored = false;  // Error reported
    bool finished = false; // the last state reported before the next hand-over was Ready
    bool operator==(const Outcome&) const = default;
};

void PrintTo(const Outcome& o, std::ostream* os) {
    *os << '"' << o.text.toStdString() << "\" spoke=" << o.spoke << " errored=" << o.errored
        << " finished=" << o.finished;
}

// Each hand-over and what the engine reported until the next one.
std::vector<Outcome> outcomes(const QStringList& lines) {
    std::vector<Outcome> result;
    for (const QString& line : lines) {
        if (line.startsWith(u"hand over \"")) {
            const qsizetype end = line.indexOf(u'"', 11);
            result.push_back({line.mid(11, end - 11)});
        } else if (line.startsWith(u"engine state ") && !result.empty()) {
            const QString state = line.mid(13).trimmed();
            result.back().spoke |= state == u"Speaking";
            result.back().errored |= state == u"Error";
            result.back().finished = state == u"Ready" && (result.back().spoke || result.back().errored);
        }
    }
    return result;
}

bool engineUp(const QStringList& lines) {
    return std::any_of(lines.begin(), lines.end(),
                       [](const QString& l) { return l.startsWith(u"engine \""); });
}

bool gaveUp(const QStringList& lines) {
    return std::any_of(lines.begin(), lines.end(),
                       [](const QString& l) { return l.startsWith(u"an announcement did not finish"); });
}

#endif

TEST(SpeechdEngine, SpeaksThreeTextsInOrderThroughItsOwnSpeechDispatcher) {
#ifdef VD_UNDER_ASAN
    GTEST_SKIP() << "built with AddressSanitizer: libspeechd is too slow under its interceptors; "
                    "run this test from the plain build";
#else
    if (QStandardPaths::findExecutable(QStringLiteral("speech-dispatcher")).isEmpty()) {
        GTEST_SKIP() << "speech-dispatcher is not installed (Debian: speech-dispatcher, "
                        "speech-dispatcher-espeak-ng)";
    }
    SpeechdSandbox sandbox;
    ASSERT_TRUE(sandbox.valid());
    if (!QTextToSpeech::availableEngines().contains(QStringLiteral("speechd"))) {
        GTEST_SKIP() << "Qt's speechd engine is not installed (Debian: qt6-speech-speechd-plugin)";
    }

    SpeechLog log;
    gLog = &log;
    gPreviousHandler = qInstallMessageHandler(collectSpeechLog);
    QLoggingCategory::setFilterRules(QStringLiteral("variredu.speech.debug=true"));

    const QStringList texts = {QStringLiteral("Alpha one."), QStringLiteral("Bravo two."),
                               QStringLiteral("Charlie three.")};
    bool started = false;
    QString failure;
    {
        const StderrTee tee(log);
        QtSpeechOutput output(QStringLiteral("speechd"));
        for (const QString& text : texts) {
            output.say(text, QStringLiteral("en-US"));
        }
        const auto unavailable = [&log] {
            return log.stderrText.contains("speech unavailable");
        };
        log.waitFor([&] { return engineUp(log.lines) || unavailable(); },
                    QDeadlineTimer(std::chrono::seconds(60)));
        started = engineUp(log.snapshot());
        if (started) {
            log.waitFor(
                [&] {
                    const std::vector<Outcome> o = outcomes(log.lines);
                    return gaveUp(log.lines) || (o.size() == std::size_t(texts.size()) && o.back().finished);
                },
                QDeadlineTimer(std::chrono::seconds(60)));
        } else {
            const QMutexLocker lock(&log.mutex);
            failure = QString::fromUtf8(log.stderrText).trimmed();
        }
    } // the engine disconnects here, before the daemon is ended
    const QStringList lines = log.snapshot();
    qInstallMessageHandler(gPreviousHandler);
    gLog = nullptr;
    const bool spawned = QFile::exists(sandbox.pidFile());
    const QString daemonLog = sandbox.daemonLog();
    const std::size_t running = sandbox.processes().size();
    const int ended = sandbox.stop();

    std::cout << "speech log:\n";
    for (const QString& line : lines) {
        std::cout << "  " << line.toStdString() << '\n';
    }
    std::cout << "speech-dispatcher spawned by the engine: " << (spawned ? "yes" : "no")
              << "; its processes: " << running << ", ended: " << ended << std::endl;
    EXPECT_TRUE(sandbox.processes().empty()) << "left running after the test";
    if (!started) {
        GTEST_SKIP() << "the speechd engine did not come up: "
                     << (failure.isEmpty() ? QStringLiteral("no answer within 60 s") : failure).toStdString();
    }

    std::vector<Outcome> expected;
    for (const QString& text : texts) {
        expected.push_back({text, true, false, true});
    }
    EXPECT_EQ(outcomes(lines), expected);
    EXPECT_TRUE(spawned);
    // The daemon got the texts in the same order.
    qsizetype previous = -1;
    for (const QString& text : texts) {
        const qsizetype at = daemonLog.indexOf(text);
        EXPECT_GT(at, previous) << text.toStdString()
                                << " missing or out of order in speech-dispatcher's log";
        previous = at;
    }
#endif
}

} // namespace
