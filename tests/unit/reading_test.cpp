#include "app/preferred_languages.h"
#include "clock/kana_reading.h"
#include "clock/utterance_queue.h"

#include <QLoggingCategory>

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <utility>

namespace {

QString repeated(const char* unit, int times) {
    return QString::fromUtf8(unit).repeated(times);
}

// Catches: the reading field taken from the wrong place (readings lost, or ハ for the particle は),
// whitespace and line breaks MeCab skips dropped, unknown words (digits, Latin, emoji, names)
// changed or lost, width forms read digit by digit or as unknown, long titles cut.
TEST(KanaReading, ReadsWhatTheDictionaryKnowsAndKeepsEverythingElse) {
    QString error;
    const auto reader = KanaReader::load(QString::fromLatin1(KanaReader::kIpadicDirectory), error);
    ASSERT_TRUE(reader) << error.toStdString();
    const QString cases[][2] = {
        {"7 ヴァルドリア時間", "7 ヴァルドリアジカン"},
        {"7 時 5 分", "7 ジ 5 フン"},
        {"釣り大会", "ツリタイカイ"},
        {"ボス討伐", "ボストーバツ"},
        {"今日はかなとカナ", "キョーワカナトカナ"},
        {"１２時３０分", "12ジ30フン"},
        {"ﾎﾞｽ討伐", "ボストーバツ"},
        {"Ｂｏｓｓ戦！", "Bossセン!"},
        {"Boss 戦 at 7:30, ok?", "Boss セン at 7:30, ok?"},
        {"🎣釣り大会🎣", "🎣ツリタイカイ🎣"},
        {" 釣り\n\n大会\t。 ", " ツリ\n\nタイカイ\t。 "},
        {"7 V.T. o'clock.", "7 V.T. o'clock."},
        {"", ""},
        {repeated("釣り大会、ボス討伐。", 1000), repeated("ツリタイカイ、ボストーバツ。", 1000)},
    };
    for (const auto& [text, reading] : cases) {
        SCOPED_TRACE(text.left(40).toStdString());
        EXPECT_EQ(reader->read(text), reading);
    }
}

// Catches: a missing dictionary crashing or losing the text, the failure said at every text, the
// dictionary loaded for English voices, the switch ignored, English texts changed.
TEST(SpeechReading, OnlyForJapaneseVoicesAndTheTextAsItIsWithoutADictionary) {
    const QString ipadic = QString::fromLatin1(KanaReader::kIpadicDirectory);
    const QString missing = QStringLiteral("/nonexistent/ipadic");
    struct Case {
        bool enabled;
        QString dictionary;
        std::optional<QString> tag;
        QString expected;
        int messageLines;
    };
    const Case cases[] = {
        {true, ipadic, "ja-JP", "ツリタイカイ", 0}, {true, ipadic, "ja", "ツリタイカイ", 0},
        {true, ipadic, "en-US", "釣り大会", 0},     {true, ipadic, std::nullopt, "釣り大会", 0},
        {false, ipadic, "ja-JP", "釣り大会", 0},    {true, missing, "ja-JP", "釣り大会", 1},
        {true, missing, "en-US", "釣り大会", 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.dictionary.toStdString() + " " + c.tag.value_or("-").toStdString());
        std::FILE* messages = std::tmpfile();
        SpeechReading reading(c.enabled, c.dictionary, messages);
        EXPECT_EQ(reading.forVoice(QStringLiteral("釣り大会"), c.tag), c.expected);
        reading.unload(); // loads again for the next text, or, failed, says nothing more
        EXPECT_EQ(reading.forVoice(QStringLiteral("釣り大会"), c.tag), c.expected);
        std::rewind(messages);
        char said[1024];
        const std::size_t size = std::fread(said, 1, sizeof said, messages);
        EXPECT_EQ(std::count(said, said + size, '\n'), c.messageLines);
        std::fclose(messages);
    }
}

// Catches: "ja" under a Japanese locale left bare (Japanese menus, English announcements), a bare
// entry given the region of another language, the locale variables read in the wrong order, a
// "C" locale or an unset LANGUAGE changing today's list.
TEST(PreferredLanguages, ABareEntryOfTheLocaleLanguageTakesItsRegion) {
    const QStringList qtJaEn = {"ja", "ja-Jpan-JP", "ja-JP", "en", "en-Latn-US", "en-US"};
    const QStringList qtJa = {"ja", "ja-Jpan-JP", "ja-JP"};
    struct Case {
        LanguageEnvironment environment; // LANGUAGE, LC_ALL, LC_MESSAGES, LANG
        QStringList qt;
        QStringList expected;
    };
    const Case cases[] = {
        {{"ja:en", "", "", "ja_JP.UTF-8"}, qtJaEn, {"ja-JP", "ja-Jpan-JP", "en", "en-Latn-US", "en-US"}},
        {{"ja:en", "", "", "en_US.UTF-8"}, qtJaEn, {"ja", "ja-Jpan-JP", "ja-JP", "en-US", "en-Latn-US"}},
        {{"ja", "", "ja_JP.UTF-8", "en_US.UTF-8"}, qtJa, {"ja-JP", "ja-Jpan-JP"}},
        {{"ja", "en_US.UTF-8", "", "ja_JP.UTF-8"}, qtJa, qtJa},
        {{"pt:en", "", "", "pt_BR.UTF-8@euro"}, {"pt", "pt-BR", "en"}, {"pt-BR", "en"}},
        {{"", "", "", "ja_JP.UTF-8"}, {"ja-JP", "ja-Jpan-JP", "ja"}, {"ja-JP", "ja-Jpan-JP", "ja"}},
        {{"ja:en", "", "", "C"}, qtJaEn, qtJaEn},
        {{"ja", "", "", "C.UTF-8"}, qtJa, qtJa},
        {{"ja", "POSIX", "", ""}, qtJa, qtJa},
        {{"ja", "", "", ""}, qtJa, qtJa},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.environment.language.toStdString() + " " + c.environment.lang.toStdString());
        EXPECT_EQ(preferredLanguages(c.environment, c.qt), c.expected);
    }
}

// Catches: a watchdog that cuts a text while the engine may still be speaking it (the old 180 s
// cap cut long Japanese titles), and one that never fires, so a hung engine silences the clock.
// The seconds are espeak-ng's for each text at its slowest rate.
TEST(UtteranceQueue, ATextIsNotCutWhileItCouldBeSpeakingAndAHungEngineIsPassedEventually) {
    struct Engine final : SpeechEngine {
        void speak(const QString& text, const std::optional<QString>&) override { spoken.append(text); }
        QStringList spoken;
    };
    const std::pair<QString, double> cases[] = {
        {repeated("ツリタイカイ、ボストーバツ。", 200), 949.4}, // a 2,000-character kanji title
        {"23 ヴァルドリアジカン", 4.2},
        {QString(50, u'W'), 55.8},    // Latin letters, spelled by the Japanese voice
        {QString(100, u'ア'), 135.3}, // kana in an English voice
    };
    QLoggingCategory::setFilterRules(QStringLiteral("variredu.speech.warning=false"));
    for (const auto& [text, seconds] : cases) {
        Engine engine;
        UtteranceQueue queue(engine);
        queue.enqueue(text, QStringLiteral("ja-JP"));
        queue.enqueue(QStringLiteral("next"), QStringLiteral("ja-JP"));
        queue.engineStateChanged(EngineState::Speaking);
        EXPECT_GT(queue.watchdogInterval().count(), seconds * 1000);
        ASSERT_TRUE(queue.watchdogArmed());
        queue.watchdogExpired();
        EXPECT_EQ(engine.spoken, QStringList({text, "next"}));
    }
    QLoggingCategory::setFilterRules({});
}

} // namespace
