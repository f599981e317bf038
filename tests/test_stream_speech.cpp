#include "clock/stream_speech_output.h"

#include <gtest/gtest.h>

#include <cstdio>

namespace {

TEST(StreamSpeech, OneLinePerUtterance) {
    struct Case {
        QString text;
        std::optional<QString> tag;
        QString line;
    };
    const Case cases[] = {
        {QStringLiteral("7 時 5 分"), QStringLiteral("ja-JP"), QStringLiteral("ja-JP\t7 時 5 分")},
        {QStringLiteral("13 V.T. o'clock."), std::nullopt, QStringLiteral("-\t13 V.T. o'clock.")},
        {QStringLiteral("a\nb\r\nc\rd"), QStringLiteral("en"), QStringLiteral("en\ta\\nb\\nc\\nd")},
        {QStringLiteral(" "), QStringLiteral("C"), QStringLiteral("C\t ")},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(utteranceLine(c.text, c.tag), c.line);
    }
}

TEST(StreamSpeech, WritesUtf8LinesInOrder) {
    std::FILE* file = std::tmpfile();
    ASSERT_NE(file, nullptr);
    StreamSpeechOutput output(file);
    output.say(QStringLiteral("釣り"), QStringLiteral("ja-JP"));
    output.say(QStringLiteral("two\nlines"), std::nullopt);
    std::rewind(file);
    char buffer[256] = {};
    const size_t got = std::fread(buffer, 1, sizeof buffer - 1, file);
    std::fclose(file);
    EXPECT_EQ(QString::fromUtf8(buffer, qsizetype(got)), QStringLiteral("ja-JP\t釣り\n-\ttwo\\nlines\n"));
}

} // namespace
