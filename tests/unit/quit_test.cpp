// The stub engine below is a plugin linked into this program.
#define QT_STATICPLUGIN

#include "app/single_instance.h"
#include "clock/qt_speech_output.h"

#include <QSemaphore>
#include <QTemporaryDir>
#include <QTest>
#include <QTextToSpeechPlugin>

#include <gtest/gtest.h>

#include <thread>

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

// Quit waited 10 s for a stuck engine: the output lets go of its thread within the second a quit
// may take, and says so, so that the process ends without exit handlers.
TEST(Quit, SpeechOutputLetsGoOfAStuckEngine) {
    auto output = std::make_unique<QtSpeechOutput>(QStringLiteral("vd-hang"));
    output->say(QStringLiteral("7 V.T. o'clock."), std::nullopt);
    ASSERT_TRUE(engineCalled.tryAcquire(1, 10'000));
    QSemaphore destroyed;
    std::thread deadline([&] {
        if (!destroyed.tryAcquire(1, 1000)) {
            engineLetGo.release(); // so that a destructor that waits for it ends after all
        }
    });
    output.reset();
    const bool leftRunning = QtSpeechOutput::threadsLeftRunning();
    destroyed.release();
    deadline.join();
    EXPECT_TRUE(leftRunning) << "the destructor waited for the stuck engine, or didn't say it left it";
    engineLetGo.release();
    EXPECT_TRUE(QTest::qWaitFor([] { return !QtSpeechOutput::threadsLeftRunning(); }, 10'000));
}

// A relaunch during a quit found the lock taken and gave up with a guess: a launch waits for the
// holder to end and becomes the clock, or gives up naming the process that holds the lock.
TEST(Quit, LaunchWaitsForTheClockThatIsEnding) {
    for (const bool holderEnds : {true, false}) {
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
        EXPECT_EQ(launch.acquireWhenFree(std::chrono::milliseconds(holderEnds ? 10'000 : 100)), holderEnds);
        EXPECT_TRUE(said.startsWith(QStringLiteral("process %1 (").arg(QCoreApplication::applicationPid())))
            << qPrintable(said);
    }
}

} // namespace

Q_IMPORT_PLUGIN(HangingEnginePlugin)

#include "quit_test.moc"
