#include "clock/qt_speech_output.h"
#include "clock/stream_speech_output.h"
#include "clock/utterance_queue.h"
#include "support.h"

#include <QFile>
#include <QTemporaryFile>

#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <vector>

#include <unistd.h>

using enum EngineState;

static void feed(UtteranceQueue& queue, const std::vector<EngineState>& states) {
    for (const EngineState state : states) {
        queue.engineStateChanged(state);
    }
}

// Takes texts and reports nothing; once given `queue`, finishes each text from inside speak(), as
// some engines do.
struct FakeEngine final : SpeechEngine {
    void speak(const QString& text, const std::optional<QString>& tag) override {
        EXPECT_FALSE(speaking) << "speak() entered again from inside speak()";
        spoken.append({text, tag});
        speaking = true;
        if (queue != nullptr) {
            feed(*queue, {Speaking, Ready});
        }
        speaking = false;
    }
    QList<Utterance> spoken;
    UtteranceQueue* queue = nullptr;
    bool speaking = false;
};

// A text is done when the engine went back to Ready after Speaking or Error (the Ready it may still
// report right after speak() is its old state); else the watchdog, armed for each text, moves on.
TEST(UtteranceQueue, NextTextOnlyOnceTheLastIsDone) {
    // clang-format off
    const std::tuple<const char*, std::vector<EngineState>, bool> rows[] = {
        {"spoken", {Speaking, Ready}, true}, {"error, ready", {Error, Ready}, true}, {"nothing", {}, false},
        {"stale, spoken", {Ready, Speaking, Ready}, true}, {"stale", {Ready}, false},
        {"error in speech", {Speaking, Error, Ready}, true}, {"stale twice", {Ready, Ready}, false},
        {"speaking", {Speaking}, false}, {"error", {Error}, false},
        {"error in speech only", {Speaking, Error}, false}, {"stale, speaking", {Ready, Speaking}, false}};
    // clang-format on
    const QList<Utterance> texts{{"Ten past.", std::nullopt}, {QString(400, u'x'), "ja-JP"}};
    for (const auto& [name, states, done] : rows) {
        SCOPED_TRACE(name);
        FakeEngine engine;
        UtteranceQueue queue(engine);
        queue.enqueue(texts[0].text, texts[0].tag);
        queue.enqueue(texts[1].text, texts[1].tag);
        ASSERT_EQ(engine.spoken.size(), 1);
        feed(queue, states);
        EXPECT_EQ(engine.spoken.size(), done ? 2 : 1);
        if (!done && queue.watchdogArmed()) {
            queue.watchdogExpired();
        }
        EXPECT_EQ(engine.spoken, texts);
        EXPECT_TRUE(queue.watchdogArmed());
        feed(queue, {Speaking, Ready});
        EXPECT_FALSE(queue.isBusy() || queue.watchdogArmed());
    }
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
    EXPECT_EQ(engine.spoken[1].text, u"6");
    engine.spoken.clear();
    for (const char* text : {"", " \n\t", "a", "b", "c", "", "d"}) {
        queue.enqueue(QString::fromLatin1(text), std::nullopt);
    }
    engine.queue = &queue;
    feed(queue, {Speaking, Ready});
    EXPECT_EQ(engine.spoken, (QList<Utterance>{{"a", {}}, {"b", {}}, {"c", {}}, {"d", {}}}));
    EXPECT_FALSE(queue.isBusy());
    engine.queue = nullptr;
    queue.enqueue(QStringLiteral("stuck again"), std::nullopt);
    queue.watchdogExpired();
    qInstallMessageHandler(previous);
    EXPECT_EQ(speechWarnings, 3);
}

// One line per utterance, written out at once: "LANG<TAB>TEXT", "-" for no tag, line breaks as \n.
TEST(StreamSpeech, WritesOneUtf8LinePerUtterance) {
    QTemporaryFile file;
    ASSERT_TRUE(file.open());
    std::FILE* stream = ::fdopen(::dup(file.handle()), "w");
    StreamSpeechOutput output(stream);
    output.say(QStringLiteral("7 時 5 分"), QStringLiteral("ja-JP"));
    output.say(QStringLiteral("a\nb\r\nc\rd"), std::nullopt);
    file.seek(0); // the stream shares the file's offset
    EXPECT_EQ(QString::fromUtf8(file.readAll()), QStringLiteral("ja-JP\t7 時 5 分\n-\ta\\nb\\nc\\nd\n"));
    std::fclose(stream);
}

// Engines: speechd first, then the rest by name. Voices: same territory, else same language.
TEST(SpeechChoice, EngineOrderAndVoiceLocale) {
    EXPECT_EQ(enginePreference({"mock", "speechd", "flite", "mock"}),
              (QStringList{"speechd", "flite", "mock"}));
    const QList<QLocale> available{QLocale("en_GB"), QLocale("ja_JP"), QLocale("en_US"), QLocale("pt_PT")};
    // clang-format off
    const std::pair<const char*, const char*> rows[] = {{"en-US", "en_US"}, {"en-GB", "en_GB"},
        {"en-AU", "en_GB"}, {"ja", "ja_JP"}, {"pt-BR", "pt_PT"}, {"de-DE", "C"}, {"C", "C"}};
    // clang-format on
    for (const auto& [tag, locale] : rows) {
        EXPECT_EQ(matchingLocale(QLocale(tag), available).value_or(QLocale::c()), QLocale(locale)) << tag;
    }
}
