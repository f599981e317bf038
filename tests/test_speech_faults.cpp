#include "alarms/settings_store.h"
#include "clock/qt_speech_output.h"
#include "clock/utterance_queue.h"
#include "model_test.h"
#include "speech/queue_speech_output.h"

#include <QDeadlineTimer>
#include <QFile>
#include <QFileSystemWatcher>
#include <QLoggingCategory>
#include <QSignalSpy>
#include <QTemporaryFile>

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <deque>
#include <unistd.h>
#include <vector>

namespace {

using enum EngineState;
namespace keys = settings_keys;

// A synthesizer that makes no sound and, for every text, reports the states of its script. Like
// speechd it reports later, from elsewhere: reports wait until the test delivers them, unless
// `atOnce` (from inside speak(), as other engines do). Like QTextToSpeech it reports only changes
// of state, unless `repeats`.
class ScriptedEngine final : public SpeechEngine {
public:
    explicit ScriptedEngine(std::vector<EngineState> script, bool atOnce = false, bool repeats = false)
        : script_(std::move(script))
        , atOnce_(atOnce)
        , repeats_(repeats) {}

    void attach(UtteranceQueue& queue) { queue_ = &queue; }

    void speak(const QString& text, const std::optional<QString>& languageTag) override {
        spoken.push_back({text, languageTag});
        for (const EngineState state : script_) {
            report(state);
        }
    }

    // Delivers the reports made so far but not those the deliveries cause: one step of the engine.
    // False when it had nothing to say.
    bool deliver() {
        std::deque<EngineState> batch;
        batch.swap(due_);
        for (const EngineState state : batch) {
            queue_->engineStateChanged(state);
        }
        return !batch.empty();
    }

    [[nodiscard]] QStringList spokenTexts() const {
        QStringList texts;
        for (const PendingUtterance& u : spoken) {
            texts.append(u.text);
        }
        return texts;
    }

    std::vector<PendingUtterance> spoken;

private:
    void report(EngineState state) {
        if (!repeats_ && state == state_) {
            return;
        }
        state_ = state;
        if (atOnce_) {
            queue_->engineStateChanged(state);
        } else {
            due_.push_back(state);
        }
    }

    const std::vector<EngineState> script_;
    const bool atOnce_;
    const bool repeats_;
    EngineState state_ = Ready;
    std::deque<EngineState> due_;
    UtteranceQueue* queue_ = nullptr;
};

// Keeps the watchdog's warnings, one per stuck text, out of the test output.
class QuietWatchdog {
public:
    QuietWatchdog() { QLoggingCategory::setFilterRules(QStringLiteral("variredu.speech.warning=false")); }
    ~QuietWatchdog() { QLoggingCategory::setFilterRules(QString()); }
    QuietWatchdog(const QuietWatchdog&) = delete;
    QuietWatchdog& operator=(const QuietWatchdog&) = delete;
};

// Lets the engine report until the queue is idle. Once the engine has nothing more to say and the
// queue still waits, only the watchdog can move it on: it must be armed, and it is fired here as
// its timer would. Returns how often it fired.
int driveUntilIdle(UtteranceQueue& queue, ScriptedEngine& engine, int maxSteps) {
    int fired = 0;
    for (int step = 0; queue.isBusy() && step < maxSteps; ++step) {
        if (engine.deliver()) {
            continue;
        }
        if (!queue.watchdogArmed()) {
            ADD_FAILURE() << "the queue waits on a silent engine with no watchdog armed";
            break;
        }
        queue.watchdogExpired();
        ++fired;
    }
    return fired;
}

TEST(SpeechFaults, FaultyEnginesStillGetEveryTextOnceInOrder) {
    struct Case {
        const char* name;
        std::vector<EngineState> script;
        bool atOnce;
        bool repeats;
        bool needsWatchdog; // for every text
    };
    const Case cases[] = {
        {"error then ready, reported later", {Error, Ready}, false, false, false},
        {"error then ready, reported from inside speak()", {Error, Ready}, true, false, false},
        {"error for every text, never ready", {Error}, false, true, true},
        {"error from inside speak(), never ready", {Error}, true, true, true},
        {"error once, then stays in Error silently", {Error}, false, false, true},
        {"speaking for ever", {Speaking}, false, false, true},
        {"speaking reported for every text, never ready", {Speaking}, false, true, true},
        {"stale ready, then speaking for ever", {Ready, Speaking}, false, true, true},
        {"speaking, then an error, never ready", {Speaking, Error}, false, true, true},
    };
    const QuietWatchdog quiet;
    const QStringList texts = {QStringLiteral("one"), QStringLiteral("two"), QStringLiteral("three"),
                               QStringLiteral("four"), QStringLiteral("five")};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        ScriptedEngine engine(c.script, c.atOnce, c.repeats);
        UtteranceQueue queue(engine);
        engine.attach(queue);
        for (const QString& text : texts) {
            queue.enqueue(text, QStringLiteral("en-US"));
        }

        const int fired = driveUntilIdle(queue, engine, 100);

        EXPECT_EQ(engine.spokenTexts(), texts);
        EXPECT_EQ(fired, c.needsWatchdog ? texts.size() : 0);
        EXPECT_FALSE(queue.isBusy());
        EXPECT_FALSE(queue.watchdogArmed());
        EXPECT_EQ(queue.pendingCount(), 0U);
        EXPECT_EQ(queue.droppedCount(), 0U);
    }
}

// "<prefix> 0000", "<prefix> 0001", ...
QStringList titles(const char* prefix, int count) {
    QStringList list;
    for (int i = 0; i < count; ++i) {
        list.append(QStringLiteral("%1 %2").arg(QLatin1String(prefix)).arg(i, 4, 10, QLatin1Char('0')));
    }
    return list;
}

// An enabled alarm at hour:minute for each of `count` titles "<prefix> 0000", ...
AlarmList alarmsAt(const char* hour, const char* minute, const char* prefix, int count) {
    AlarmList list;
    for (const QString& title : titles(prefix, count)) {
        AlarmModel alarm = alarmAt(hour, minute);
        alarm.title = title;
        list.append(alarm);
    }
    return list;
}

const QString kSignalAtSeven = QStringLiteral("7 V.T. o'clock.");

int minuteOfDay(const QString& label) {
    return label.left(2).toInt() * 60 + label.mid(3, 2).toInt();
}

// The clock kept running: labels read after ticks one real second apart step through consecutive
// Valdrian minutes from `first`, none shown for more than three ticks (a Valdrian minute lasts
// under three real seconds).
void expectSteadyMinutes(const QStringList& labels, const QString& first) {
    ASSERT_FALSE(labels.isEmpty());
    EXPECT_EQ(labels.front(), first);
    int run = 1;
    for (qsizetype i = 1; i < labels.size(); ++i) {
        const int step = minuteOfDay(labels[i]) - minuteOfDay(labels[i - 1]);
        EXPECT_TRUE(step == 0 || step == 1)
            << labels[i - 1].toStdString() << " -> " << labels[i].toStdString();
        run = step == 0 ? run + 1 : 1;
        EXPECT_LE(run, 3) << "stuck at " << labels[i].toStdString();
    }
}

// The time signal and a flood of alarms at 07:00 on a model that speaks through the utterance queue
// to a scripted engine; the test drives the engine and ticks the clock on.
class FloodTest : public ModelTest {
protected:
    ~FloodTest() override { model.reset(); } // before the queue it speaks to

    // Ticks at 06:59, then at 07:00, which says all that is due.
    TimerModel& startAtSeven(const AlarmList& alarms, std::vector<EngineState> script) {
        temp.store->writeBool(keys::kEnableTimeSignal, true);
        temp.store->setAlarms(alarms);
        engine = std::make_unique<ScriptedEngine>(std::move(script));
        queue = std::make_unique<UtteranceQueue>(*engine);
        engine->attach(*queue);
        TimerModel& m = start(realAt(6, 59), std::make_unique<QueueSpeechOutput>(*queue));
        m.tick();
        clock.set(realAt(7, 0));
        m.tick();
        return m;
    }
    void tickAfter(double seconds) {
        clock.advance(seconds);
        model->tick();
        labels.append(model->vt().formattedTime());
    }

    std::unique_ptr<ScriptedEngine> engine;
    std::unique_ptr<UtteranceQueue> queue;
    QStringList labels;
};

TEST_F(FloodTest, ThousandAlarmsInOneMinuteAreSpokenInOrderWhileTheClockTicksOn) {
    TimerModel& m = startAtSeven(alarmsAt("07", "00", "alarm", 1000), {Speaking, Ready});
    // All 1,001 were handed over in that tick, which returned with the engine still on the first.
    ASSERT_EQ(engine->spoken.size(), 1U);
    EXPECT_EQ(queue->pendingCount(), UtteranceQueue::kMaxPending);
    EXPECT_EQ(queue->droppedCount(), 0U);

    // The engine gets through 40 texts per second; the clock ticks on meanwhile.
    labels.append(m.vt().formattedTime());
    while (queue->isBusy() && labels.size() < 100) {
        for (int i = 0; i < 40; ++i) {
            engine->deliver();
        }
        tickAfter(1.0);
    }

    EXPECT_FALSE(queue->isBusy());
    EXPECT_GE(labels.size(), 25);
    expectSteadyMinutes(labels, QStringLiteral("07:00"));
    EXPECT_EQ(engine->spokenTexts(), QStringList{kSignalAtSeven} + titles("alarm", 1000));
}

TEST_F(FloodTest, StuckEngineUnderAFloodKeepsMemoryBoundedAndTheNewestInOrder) {
    const QuietWatchdog quiet;
    // The engine never leaves Speaking.
    TimerModel& m =
        startAtSeven(alarmsAt("07", "00", "early", 1000) + alarmsAt("07", "01", "late", 1000), {Speaking});
    EXPECT_EQ(queue->pendingCount(), 1000U);
    EXPECT_EQ(queue->droppedCount(), 0U);
    clock.set(realAt(7, 1));
    m.tick();
    // The 1,000 pending early ones made way for the late ones.
    EXPECT_EQ(queue->pendingCount(), UtteranceQueue::kMaxPending);
    EXPECT_EQ(queue->droppedCount(), 1000U);

    labels.append(m.vt().formattedTime());
    for (int i = 0; i < 10; ++i) {
        tickAfter(1.0);
    }
    ASSERT_EQ(engine->spoken.size(), 1U); // the time signal, still "speaking"

    // The watchdog moves past each stuck text; ticks go on between its firings.
    int fired = 0;
    while (queue->isBusy() && fired < 2000) {
        ASSERT_TRUE(queue->watchdogArmed());
        queue->watchdogExpired();
        ++fired;
        ASSERT_LE(queue->pendingCount(), UtteranceQueue::kMaxPending);
        if (fired % 100 == 0) {
            tickAfter(1.0);
        }
    }

    EXPECT_EQ(fired, 1001);
    EXPECT_EQ(queue->droppedCount(), 1000U);
    expectSteadyMinutes(labels, QStringLiteral("07:01"));
    EXPECT_EQ(engine->spokenTexts(), QStringList{kSignalAtSeven} + titles("late", 1000));
}

// Sends fd 2 to a temporary file until finish(), which restores it and returns what was written.
class StderrCapture {
public:
    StderrCapture() {
        if (!file_.open()) {
            return;
        }
        std::fflush(stderr);
        saved_ = ::dup(STDERR_FILENO);
        ::dup2(file_.handle(), STDERR_FILENO);
    }
    ~StderrCapture() { finish(); }
    StderrCapture(const StderrCapture&) = delete;
    StderrCapture& operator=(const StderrCapture&) = delete;

    [[nodiscard]] bool active() const { return saved_ >= 0; }
    [[nodiscard]] QString fileName() const { return file_.fileName(); }
    [[nodiscard]] QString text() const {
        QFile file(file_.fileName());
        return file.open(QIODevice::ReadOnly) ? QString::fromUtf8(file.readAll()) : QString();
    }
    QString finish() {
        if (saved_ >= 0) {
            std::fflush(stderr);
            ::dup2(saved_, STDERR_FILENO);
            ::close(saved_);
            saved_ = -1;
        }
        return text();
    }

private:
    QTemporaryFile file_;
    int saved_ = -1;
};

// The only test in this program that makes a QtSpeechOutput without an engine: the stderr line
// is written once per process.
TEST_F(FloodTest, WithNoEngineTheClockTicksOnAndStderrGetsOneLine) {
    temp.store->writeBool(keys::kEnableTimeSignal, true);
    temp.store->setAlarms(alarmsAt("07", "00", "alarm", 1000) + alarmsAt("07", "02", "later", 10));
    StderrCapture capture;
    ASSERT_TRUE(capture.active());
    QFileSystemWatcher watcher({capture.fileName()});
    QSignalSpy written(&watcher, &QFileSystemWatcher::fileChanged);

    TimerModel& m = start(realAt(6, 59), std::make_unique<QtSpeechOutput>(QStringLiteral("no-such-engine")));
    m.tick();
    labels.append(m.vt().formattedTime());
    clock.set(realAt(7, 0));
    m.tick(); // 1,001 texts said
    labels.append(m.vt().formattedTime());

    // The speech thread finds no engine and says so; wait for that line.
    const QDeadlineTimer deadline(std::chrono::seconds(20));
    while (!capture.text().contains(u'\n') && !deadline.hasExpired()) {
        written.wait(int(std::max<qint64>(1, deadline.remainingTime())));
    }

    for (int i = 0; i < 9; ++i) {
        tickAfter(1.0); // passes 07:02, saying ten more
    }
    model.reset(); // joins the speech thread
    const QString err = capture.finish();

    expectSteadyMinutes(labels, QStringLiteral("06:59"));
    EXPECT_TRUE(labels.contains(QStringLiteral("07:02")));
    const QStringList lines = err.split(u'\n', Qt::SkipEmptyParts);
    ASSERT_EQ(lines.size(), 1) << err.toStdString();
    EXPECT_TRUE(lines[0].startsWith(u"variredu-divar: speech unavailable: ")) << err.toStdString();
    EXPECT_TRUE(lines[0].contains(u"\"no-such-engine\" is not installed")) << err.toStdString();
}

} // namespace
