// The stub engine below is a plugin linked into this program.
#define QT_STATICPLUGIN

#include "app/single_instance.h"
#include "clock/qt_speech_output.h"

#include <QCoreApplication>
#include <QSemaphore>
#include <QTemporaryDir>
#include <QTest>
#include <QTextToSpeechPlugin>

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <thread>

using namespace std::chrono_literals;

namespace {

QSemaphore engineCalled;
QSemaphore engineLetGo;

// An engine that hangs while it is made, as speechd has inside speech-dispatcher, until the test
// lets it go; then it fails.
class HangingEnginePlugin : public QObject, public QTextToSpeechPlugin {
    Q_OBJECT
    Q_PLUGIN_METADATA(IID "org.qt-project.qt.speech.tts.plugin/6.0" FILE "hanging_engine.json")
    Q_INTERFACES(QTextToSpeechPlugin)

public:
    QTextToSpeechEngine* createTextToSpeechEngine(const QVariantMap&, QObject*, QString*) const override {
        engineCalled.release();
        engineLetGo.acquire();
        return nullptr;
    }
};

// Quitting must not wait for an engine that never returns: the output lets go of its thread within
// the second a quit may take, and says so, so that the process ends without exit handlers.
TEST(Quit, SpeechOutputLetsGoOfAStuckEngine) {
    auto output = std::make_unique<QtSpeechOutput>(QStringLiteral("vd-hang"));
    output->say(QStringLiteral("7 V.T. o'clock."), std::nullopt);
    ASSERT_TRUE(engineCalled.tryAcquire(1, 10'000));
    QSemaphore destroyed;
    std::atomic<bool> late = false;
    std::thread deadline([&] {
        late = !destroyed.tryAcquire(1, 1000);
        if (late) {
            engineLetGo.release(); // so that the destructor can end after all
        }
    });
    output.reset();
    destroyed.release();
    deadline.join();
    EXPECT_FALSE(late) << "the destructor waited for the stuck engine";
    if (!late) {
        EXPECT_TRUE(QtSpeechOutput::threadsLeftRunning());
        engineLetGo.release();
    }
    EXPECT_TRUE(QTest::qWaitFor([] { return !QtSpeechOutput::threadsLeftRunning(); }, 10'000))
        << "the engine returned, and its thread ended";
}

// A launch whose request goes unanswered waits for the clock holding the lock to end and becomes
// the clock; when that one stays, it gives up and can say which process it is.
TEST(Quit, LaunchWaitsForTheClockThatIsEnding) {
    for (const bool holderEnds : {true, false}) {
        SCOPED_TRACE(holderEnds ? "holder ends" : "holder stays");
        QTemporaryDir dir;
        SingleInstance holder(dir.path());
        ASSERT_TRUE(holder.acquire());
        SingleInstance launch(dir.path());
        QString said;
        QObject::connect(&launch, &SingleInstance::waitingForHolder, &launch, [&](const QString& who) {
            said = who;
            if (holderEnds) {
                holder.release();
            }
        });
        EXPECT_EQ(launch.acquireWhenFree(holderEnds ? 10s : 100ms), holderEnds);
        EXPECT_EQ(launch.isPrimary(), holderEnds);
        const QString self = QStringLiteral("process %1 (").arg(QCoreApplication::applicationPid());
        EXPECT_TRUE(said.startsWith(self)) << qPrintable(said);
        if (!holderEnds) {
            EXPECT_TRUE(launch.describeHolder().startsWith(self)) << qPrintable(launch.describeHolder());
        }
    }
}

} // namespace

Q_IMPORT_PLUGIN(HangingEnginePlugin)

#include "quit_test.moc"
