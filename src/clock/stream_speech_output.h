#pragma once

#include "clock/speech_output.h"

#include <cstdio>

// Writes each utterance as one line, "LANG<TAB>TEXT", LANG being the tag or "-", a line break in the
// text written as "\n". Flushed at once, for scripts, status bars and tests.
class StreamSpeechOutput final : public SpeechOutput {
public:
    explicit StreamSpeechOutput(std::FILE* stream);
    void say(const QString& text, const std::optional<QString>& languageTag) override;

private:
    std::FILE* stream_;
};

// The line written for one utterance, without its final line break.
[[nodiscard]] QString utteranceLine(const QString& text, const std::optional<QString>& languageTag);
