#include "clock/qt_speech_output.h"
#include "clock/utterance_queue.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <initializer_list>
#include <ostream>
#include <vector>

// Readable failures; internal linkage so other test files may print it their own way.
static void PrintTo(const PendingUtterance& u, std::ostream* os) {
    *os << '"' << u.text.toStdString() << "\" " << (u.languageTag ? u.languageTag->toStdString() : "-");
}

namespace {

using enum EngineState;

struct FakeEngine final : SpeechEngine {
    void speak(const QString& text, const std::optional<QString>& languageTag) override {
        spoken.push_back({text, languageTag});
    }
    std::vector<PendingUtterance> spoken;
};

void feed(UtteranceQueue& queue, std::initializer_list<EngineState> states) {
    for (const EngineState state : states) {
        queue.engineStateChanged(state);
    }
}

TEST(UtteranceQueue, MovesOnOnlyWhenTheEngineReportsTheTextDone) {
    struct Case {
        const char* name;
        std::initializer_list<EngineState> states;
        bool done;
    };
    const Case cases[] = {
        {"spoken", {Speaking, Ready}, true},
        {"error then ready", {Error, Ready}, true},
        {"stale ready first", {Ready, Speaking, Ready}, true},
        {"error while speaking", {Speaking, Error, Ready}, true},
        {"nothing reported", {}, false},
        {"only the stale ready", {Ready}, false},
        {"stale ready repeated", {Ready, Ready}, false},
        {"still speaking", {Speaking}, false},
        {"error, no ready", {Error}, false},
        {"error while speaking, no ready", {Speaking, Error}, false},
        {"stale ready, then speaking", {Ready, Speaking}, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        FakeEngine engine;
        UtteranceQueue queue(engine);
        queue.enqueue(QStringLiteral("first"), std::nullopt);
        queue.enqueue(QStringLiteral("second"), std::nullopt);
        ASSERT_EQ(engine.spoken.size(), 1U);

        feed(queue, c.states);

        EXPECT_EQ(engine.spoken.size(), c.done ? 2U : 1U);
        EXPECT_EQ(queue.pendingCount(), c.done ? 0U : 1U);
    }
}

TEST(UtteranceQueue, HandsTextsOverInOrderWithTheirTagsOneAtATime) {
    const std::optional<QString> tags[] = {std::nullopt, QStringLiteral("ja-JP"), QStringLiteral("en-US"),
                                           QStringLiteral("ja")};
    std::vector<PendingUtterance> said;
    for (int i = 0; i < 40; ++i) {
        said.push_back({QStringLiteral("text %1").arg(i), tags[i % 4]});
    }

    FakeEngine engine;
    UtteranceQueue queue(engine);
    // Half arrive up front, the rest one per finished utterance, while the engine is busy.
    for (std::size_t i = 0; i < said.size() / 2; ++i) {
        queue.enqueue(said[i].text, said[i].languageTag);
    }
    for (std::size_t i = 0; i < said.size(); ++i) {
        ASSERT_EQ(engine.spoken.size(), i + 1);
        EXPECT_EQ(engine.spoken.back(), said[i]);
        feed(queue, {Ready, Speaking});
        if (const std::size_t late = said.size() / 2 + i; late < said.size()) {
            queue.enqueue(said[late].text, said[late].languageTag);
        }
        EXPECT_EQ(engine.spoken.size(), i + 1);
        queue.engineStateChanged(Ready);
    }
    EXPECT_EQ(engine.spoken, said);
    EXPECT_FALSE(queue.isBusy());
}

TEST(UtteranceQueue, BlankTextsAreNotHandedOver) {
    FakeEngine engine;
    UtteranceQueue queue(engine);
    queue.enqueue(QString(), std::nullopt);
    queue.enqueue(QStringLiteral(" \n\t"), QStringLiteral("en-US"));
    EXPECT_TRUE(engine.spoken.empty());
    EXPECT_FALSE(queue.isBusy());

    queue.enqueue(QStringLiteral("x"), std::nullopt);
    EXPECT_EQ(engine.spoken.size(), 1U);
}

TEST(UtteranceQueue, WatchdogIsArmedPerTextAndMovesPastAStuckOne) {
    FakeEngine engine;
    UtteranceQueue queue(engine);
    EXPECT_FALSE(queue.watchdogArmed());
    queue.watchdogExpired(); // idle: nothing to give up on
    EXPECT_TRUE(engine.spoken.empty());

    const QString stuck = QStringLiteral("stuck for ever");
    const QString next = QString(300, QLatin1Char('n'));
    queue.enqueue(stuck, std::nullopt);
    queue.enqueue(next, QStringLiteral("ja-JP"));
    queue.engineStateChanged(Speaking);
    EXPECT_TRUE(queue.watchdogArmed());
    EXPECT_EQ(queue.watchdogInterval(), UtteranceQueue::timeoutFor(stuck));

    queue.watchdogExpired();
    ASSERT_EQ(engine.spoken.size(), 2U);
    EXPECT_EQ(engine.spoken[1], (PendingUtterance{next, QStringLiteral("ja-JP")}));
    EXPECT_TRUE(queue.watchdogArmed());
    EXPECT_EQ(queue.watchdogInterval(), UtteranceQueue::timeoutFor(next));

    feed(queue, {Speaking, Ready});
    EXPECT_FALSE(queue.watchdogArmed());
    EXPECT_FALSE(queue.isBusy());
}

// Warnings of the speech category, counted while a test runs.
class SpeechWarnings {
public:
    SpeechWarnings() { previous_ = qInstallMessageHandler(&SpeechWarnings::count); }
    ~SpeechWarnings() { qInstallMessageHandler(previous_); }
    SpeechWarnings(const SpeechWarnings&) = delete;
    SpeechWarnings& operator=(const SpeechWarnings&) = delete;
    [[nodiscard]] static int seen() { return seen_; }

private:
    static void count(QtMsgType type, const QMessageLogContext& context, const QString&) {
        if (type == QtWarningMsg && qstrcmp(context.category, "variredu.speech") == 0) {
            ++seen_;
        }
    }
    static inline int seen_ = 0;
    QtMessageHandler previous_;
};

// A stuck engine is said once while it stays stuck, not at every announcement all day long; once a
// text is spoken again, the next stuck one is said again.
TEST(UtteranceQueue, StuckEngineIsReportedOncePerSpell) {
    const SpeechWarnings warnings;
    const int before = SpeechWarnings::seen();
    FakeEngine engine;
    UtteranceQueue queue(engine);
    for (int i = 0; i < 3; ++i) {
        queue.enqueue(QStringLiteral("stuck %1").arg(i), std::nullopt);
        queue.watchdogExpired();
    }
    EXPECT_EQ(SpeechWarnings::seen() - before, 1);

    queue.enqueue(QStringLiteral("spoken"), std::nullopt);
    feed(queue, {Speaking, Ready});
    queue.enqueue(QStringLiteral("stuck again"), std::nullopt);
    queue.watchdogExpired();
    EXPECT_EQ(SpeechWarnings::seen() - before, 2);
    EXPECT_EQ(engine.spoken.size(), 5U);
}

TEST(UtteranceQueue, WatchdogGivesLongTextsMoreTimeUpToACap) {
    const auto shortText = UtteranceQueue::timeoutFor(QStringLiteral("Ten past."));
    const auto longText = UtteranceQueue::timeoutFor(QString(400, QLatin1Char('a')));
    const auto hugeText = UtteranceQueue::timeoutFor(QString(1'000'000, QLatin1Char('a')));
    EXPECT_GE(shortText, UtteranceQueue::kWatchdogBase);
    EXPECT_GT(longText, shortText + std::chrono::seconds(30));
    EXPECT_EQ(hugeText, UtteranceQueue::kWatchdogCap);
}

TEST(EnginePreference, SpeechdFirstThenTheRestInAStableOrder) {
    struct Case {
        QStringList available;
        QStringList expected;
    };
    const Case cases[] = {
        {{}, {}},
        {{"flite"}, {"flite"}},
        {{"flite", "speechd"}, {"speechd", "flite"}},
        {{"mock", "speechd", "flite"}, {"speechd", "flite", "mock"}},
        {{"mock", "flite"}, {"flite", "mock"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.available.join(u',').toStdString());
        EXPECT_EQ(enginePreference(c.available), c.expected);
    }
}

// An engine that finishes each text inside speak(): the queue goes on in its loop rather than
// calling speak() again from inside the last one, which would make a long queue as deep a stack.
TEST(UtteranceQueue, EngineThatFinishesInsideSpeakIsNotReentered) {
    struct SynchronousEngine final : SpeechEngine {
        void speak(const QString& text, const std::optional<QString>&) override {
            spoken.append(text);
            if (queue == nullptr) {
                return; // holding the first text, so the others pile up
            }
            deepest = std::max(deepest, ++depth);
            queue->engineStateChanged(Speaking);
            queue->engineStateChanged(Ready);
            --depth;
        }
        UtteranceQueue* queue = nullptr;
        int depth = 0;
        int deepest = 0;
        QStringList spoken;
    } engine;
    UtteranceQueue queue(engine);
    for (const char* text : {"a", "b", "c", "d"}) {
        queue.enqueue(QString::fromLatin1(text), std::nullopt);
    }
    ASSERT_EQ(queue.pendingCount(), 3U);

    engine.queue = &queue;
    feed(queue, {Speaking, Ready});
    EXPECT_EQ(engine.spoken, (QStringList{"a", "b", "c", "d"}));
    EXPECT_EQ(engine.deepest, 1);
    EXPECT_FALSE(queue.isBusy());
}

TEST(MatchingLocale, PrefersTheExactTerritoryThenTheSameLanguage) {
    const QList<QLocale> available = {QLocale("en_GB"), QLocale("ja_JP"), QLocale("en_US"), QLocale("pt_PT")};
    struct Case {
        const char* tag;
        std::optional<QLocale> expected;
    };
    const Case cases[] = {
        {"en-US", QLocale("en_US")}, {"en-GB", QLocale("en_GB")}, {"en-AU", QLocale("en_GB")},
        {"en", QLocale("en_US")},    {"ja", QLocale("ja_JP")},    {"ja-JP", QLocale("ja_JP")},
        {"pt-BR", QLocale("pt_PT")}, {"de-DE", std::nullopt},     {"not a tag", std::nullopt},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.tag);
        EXPECT_EQ(matchingLocale(QLocale(QString::fromLatin1(c.tag)), available), c.expected);
    }
}

} // namespace
