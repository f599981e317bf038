#pragma once

#include "clock/speech_output.h"

#include <QString>

#include <memory>
#include <optional>

// What --speech-engine asked for: "speechd", "qt", "qt:NAME", "stdout" or "none".
struct SpeechChoice {
    enum class Kind { Speechd, Qt, Stdout, None };
    Kind kind = Kind::Speechd;
    QString engineName; // for Kind::Qt; empty picks the best available engine
};

[[nodiscard]] std::optional<SpeechChoice> parseSpeechChoice(QStringView text);
// `kanaReading`: whether Japanese texts are handed to the engine as their kana reading.
[[nodiscard]] std::unique_ptr<SpeechOutput> makeSpeechOutput(const SpeechChoice& choice, bool kanaReading);

// A voice, as opposed to text on stdout or silence: only clocks with one take turns to speak.
[[nodiscard]] inline bool speaksAloud(const SpeechChoice& choice) {
    return choice.kind != SpeechChoice::Kind::Stdout && choice.kind != SpeechChoice::Kind::None;
}
