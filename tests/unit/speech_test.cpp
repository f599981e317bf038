// The stub engine below is a plugin linked into this program.
#define QT_STATICPLUGIN

#include "clock/kana_reading.h"
#include "clock/qt_speech_backend.h"
#include "clock/speech_thread.h"
#include "clock/speechd_backend.h"
#include "clock/stream_speech_output.h"
#include "clock/utterance_queue.h"
#include "support.h"

#include <QScopedValueRollback>
#include <QSemaphore>
#include <QTest>
#include <QTextToSpeechPlugin>

#include <gtest/gtest.h>

#include <future>
#include <vector>

using enum EngineState;
using namespace Qt::StringLiterals;

static void feed(UtteranceQueue& queue, const std::vector<EngineState>& states) {
    for (const EngineState state : states) {
        queue.engineStateChanged(state);
    }
}

// Keeps what it is handed as "TAG<TAB>TEXT" and reports nothing; once given `queue`, finishes each
// text from inside speak(), as some engines do. Holds `held` texts at once.
struct FakeEngine final : SpeechEngine {
    void speak(const QString& text, const std::optional<QString>& tag) override {
        EXPECT_FALSE(speaking) << "speak() entered again from inside speak()";
        spoken.append(utteranceLine(text, tag));
        const QScopedValueRollback<bool> inside(speaking, true);
        if (queue != nullptr) {
            feed(*queue, {Speaking, Ready});
        }
    }
    [[nodiscard]] std::size_t capacity() const override { return held; }
    void skip() override { ++skipped; }
    QStringList spoken;
    UtteranceQueue* queue = nullptr;
    bool speaking = false;
    std::size_t held = 1;
    int skipped = 0;
};

// A text is done when the engine went back to Ready after Speaking or Error (the Ready it may still
// report right after speak() is its old state); else the watchdog, armed for each text for as long
// as it could still be speaking, moves on.
TEST(UtteranceQueue, NextTextOnlyOnceTheLastIsDone) {
    // clang-format off
    const std::tuple<const char*, std::vector<EngineState>, bool> rows[] = {
        {"spoken", {Speaking, Ready}, true}, {"error, ready", {Error, Ready}, true}, {"nothing", {}, false},
        {"stale", {Ready}, false}, {"speaking", {Speaking}, false}, {"error", {Error}, false},
        {"error in speech", {Speaking, Error}, false}};
    // clang-format on
    // A 2,000-character kanji title as kana: espeak-ng at its slowest rate takes 949 s for it.
    const QString title = u"ツリタイカイ、ボストーバツ。"_s.repeated(200);
    for (const auto& [name, states, done] : rows) {
        SCOPED_TRACE(name);
        FakeEngine engine;
        UtteranceQueue queue(engine);
        queue.enqueue(u"Ten past."_s, std::nullopt);
        queue.enqueue(title, u"ja-JP"_s);
        feed(queue, states);
        EXPECT_EQ(engine.spoken.size(), done ? 2 : 1);
        if (!done && queue.watchdogArmed()) {
            queue.watchdogExpired();
        }
        EXPECT_EQ(engine.spoken, QStringList({u"-\tTen past."_s, u"ja-JP\t"_s + title}));
        EXPECT_TRUE(queue.watchdogArmed() && queue.watchdogInterval() > std::chrono::seconds(950));
        feed(queue, {Speaking, Ready});
        EXPECT_FALSE(queue.isBusy() || queue.watchdogArmed());
    }
}

// An engine with a queue of its own (speech-dispatcher) gets every text at once, up to what it may
// hold; the watchdog times the oldest it holds and, giving up, has the engine drop it.
TEST(UtteranceQueue, EngineWithAQueueGetsTextsAtOnce) {
    FakeEngine engine;
    engine.held = 3;
    UtteranceQueue queue(engine);
    const QString texts[] = {u"a"_s, u"bb"_s, u"ccc"_s, u"dddd"_s, u"eeeee"_s};
    for (const QString& text : texts) {
        queue.enqueue(text, u"en-US"_s);
    }
    EXPECT_EQ(engine.spoken.size(), 3);
    EXPECT_EQ(queue.watchdogInterval(), UtteranceQueue::timeoutFor(texts[0]));
    queue.utteranceEnded();
    EXPECT_EQ(engine.spoken.size(), 4);
    EXPECT_EQ(queue.watchdogInterval(), UtteranceQueue::timeoutFor(texts[1]));
    queue.watchdogExpired();
    EXPECT_EQ(engine.skipped, 1);
    EXPECT_EQ(engine.spoken.last(), u"en-US\teeeee");
    EXPECT_EQ(queue.watchdogInterval(), UtteranceQueue::timeoutFor(texts[2]));
    for (int i = 0; i < 3; ++i) {
        queue.utteranceEnded();
    }
    EXPECT_FALSE(queue.isBusy() || queue.watchdogArmed());
}

static int speechWarnings = 0;

// A stuck engine: at most kMaxPending texts wait, the oldest make way; the watchdog moves past each;
// warnings come once per stuck spell (and once for the drops), not once per text. Blank texts never
// reach the engine (speechd reports nothing for them); an engine finishing inside speak() gets the
// rest from a loop, not from a recursion as deep as the queue.
TEST(UtteranceQueue, StuckEngineBlankTextsAndEngineFinishingInsideSpeak) {
    FakeEngine engine;
    UtteranceQueue queue(engine);
    const QtMessageHandler previous =
        qInstallMessageHandler([](QtMsgType type, const QMessageLogContext& c, const QString&) {
            speechWarnings += type == QtWarningMsg && qstrcmp(c.category, "variredu.speech") == 0;
        });
    const int last = int(UtteranceQueue::kMaxPending) + 5;
    for (int i = 0; i <= last; ++i) {
        queue.enqueue(QString::number(i), std::nullopt);
    }
    EXPECT_EQ(queue.pendingCount(), UtteranceQueue::kMaxPending);
    for (int i = 0; queue.isBusy() && i <= last; ++i) {
        queue.watchdogExpired();
    }
    ASSERT_EQ(engine.spoken.size(), UtteranceQueue::kMaxPending + 1);
    EXPECT_EQ(engine.spoken[1], u"-\t6");
    engine.spoken.clear();
    for (const char* text : {"", " \n\t", "a", "b", "c", "", "d"}) {
        queue.enqueue(QString::fromLatin1(text), std::nullopt);
    }
    engine.queue = &queue;
    feed(queue, {Speaking, Ready});
    EXPECT_EQ(engine.spoken, QStringList({u"-\ta"_s, u"-\tb"_s, u"-\tc"_s, u"-\td"_s}));
    EXPECT_FALSE(queue.isBusy());
    engine.queue = nullptr;
    queue.enqueue(u"stuck again"_s, std::nullopt);
    queue.watchdogExpired();
    qInstallMessageHandler(previous);
    EXPECT_EQ(speechWarnings, 3);
}

// Qt engines: speechd first, then the rest by name. Voices: same territory, else same language.
// speech-dispatcher is asked for the tag's language and territory; for a tag without a language
// ("C") or no tag, for the system's, else English (it would keep the last text's).
TEST(SpeechChoice, EngineOrderAndVoiceLocale) {
    EXPECT_EQ(enginePreference({"mock", "speechd", "flite", "mock"}).join(u' '), u"speechd flite mock");
    const QList<QLocale> available{QLocale("en_GB"), QLocale("ja_JP"), QLocale("en_US")};
    EXPECT_EQ(matchingLocale(QLocale("en-US"), available), QLocale("en_US"));
    EXPECT_EQ(matchingLocale(QLocale("en-AU"), available), QLocale("en_GB"));
    // clang-format off
    const std::tuple<std::optional<QString>, QLocale, const char*> rows[] = {
        {u"ja-JP"_s, QLocale::c(), "ja-JP"}, {u"en-GB"_s, QLocale("ja_JP"), "en-GB"}, {u"zh-Hant-TW"_s, QLocale::c(), "zh-TW"},
        {u"C"_s, QLocale("ja_JP"), "ja-JP"}, {std::nullopt, QLocale("de_DE"), "de-DE"}, {u"C"_s, QLocale::c(), "en-US"}};
    // clang-format on
    for (const auto& [tag, system, language] : rows) {
        EXPECT_EQ(speechdLanguage(tag, system), language) << tag.value_or(u"-"_s).toStdString();
    }
}

// What a voice is handed: for a Japanese voice the pronunciation of what the dictionary knows, all
// else kept (whitespace, digits, Latin, emoji, width forms as their plain forms, long titles whole);
// for any other voice, with the switch off or without a dictionary, the text (and one line about the
// dictionary, however often it is tried again).
TEST(SpeechReading, JapaneseVoicesGetTheKanaReading) {
    QTemporaryDir dir;
    std::FILE* messages = std::fopen(qPrintable(dir.filePath("messages")), "w");
    SpeechReading on(true), off(false), missing(true, u"/nonexistent/ipadic"_s, messages);
    // clang-format off
    const std::tuple<SpeechReading*, const char*, QString, QString> rows[] = {
        {&on, "ja-JP", u"7 ヴァルドリア時間"_s, u"7 ヴァルドリアジカン"_s},
        {&on, "ja-JP", u"7 時 5 分"_s, u"7 ジ 5 フン"_s},
        {&on, "ja-JP", u"今日はかなとカナ、ボス討伐"_s, u"キョーワカナトカナ、ボストーバツ"_s},
        {&on, "ja-JP", u"１２時３０分 ﾎﾞｽ討伐 Ｂｏｓｓ戦！"_s, u"12ジ30フン ボストーバツ Bossセン!"_s},
        {&on, "ja-JP", u" 🎣釣り\n\n大会 at 7:30, ok?\t。 "_s, u" 🎣ツリ\n\nタイカイ at 7:30, ok?\t。 "_s},
        {&on, "ja-JP", u"釣り大会、"_s.repeated(2000), u"ツリタイカイ、"_s.repeated(2000)},
        {&on, "en-US", u"釣り大会"_s, u"釣り大会"_s}, {&off, "ja-JP", u"釣り大会"_s, u"釣り大会"_s},
        {&missing, "ja-JP", u"釣り大会"_s, u"釣り大会"_s}, {&missing, "ja-JP", u"釣り大会"_s, u"釣り大会"_s}};
    // clang-format on
    for (const auto& [reading, tag, text, spoken] : rows) {
        EXPECT_EQ(reading->forVoice(text, QLatin1String(tag)), spoken) << text.left(20).toStdString();
        reading->unload(); // loads again for the next text, or, failed, says nothing more
    }
    std::fclose(messages);
    EXPECT_EQ(bytesOf(dir.filePath("messages")).count('\n'), 1);
}

static QSemaphore engineCalled, engineLetGo;

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
// may take, and says so, so that the process ends without exit handlers. The output goes on another
// thread, so that this one can let the engine go after that second should the destructor wait for it.
TEST(SpeechThreadOutput, LetsGoOfAnEngineThatHangs) {
    auto output =
        std::make_unique<SpeechThreadOutput>([] { return makeQtSpeechBackend(u"vd-hang"_s); }, true);
    output->say(u"7 V.T. o'clock."_s, std::nullopt);
    ASSERT_TRUE(engineCalled.tryAcquire(1, 10'000));
    auto destroyed = std::async(std::launch::async, [&] {
        output.reset();
        return SpeechThreadOutput::threadsLeftRunning();
    });
    const bool inTime = destroyed.wait_for(std::chrono::seconds(1)) == std::future_status::ready;
    engineLetGo.release(); // the stuck thread ends, and with it a destructor still waiting for it
    EXPECT_TRUE(inTime && destroyed.get()) << "the destructor waited for the engine or did not report it";
    EXPECT_TRUE(QTest::qWaitFor([] { return !SpeechThreadOutput::threadsLeftRunning(); }, 10'000));
}

Q_IMPORT_PLUGIN(HangingEnginePlugin)

#include "speech_test.moc"
