#include "app/speech_choice.h"

#include "clock/qt_speech_output.h"
#include "clock/stream_speech_output.h"

#include <cstdio>

std::optional<SpeechChoice> parseSpeechChoice(QStringView text) {
    if (text == u"qt") {
        return SpeechChoice{SpeechChoice::Kind::Qt, {}};
    }
    if (text.startsWith(u"qt:") && text.size() > 3) {
        return SpeechChoice{SpeechChoice::Kind::Qt, text.mid(3).toString()};
    }
    if (text == u"stdout") {
        return SpeechChoice{SpeechChoice::Kind::Stdout, {}};
    }
    if (text == u"none") {
        return SpeechChoice{SpeechChoice::Kind::None, {}};
    }
    return std::nullopt;
}

std::unique_ptr<SpeechOutput> makeSpeechOutput(const SpeechChoice& choice, bool kanaReading) {
    switch (choice.kind) {
    case SpeechChoice::Kind::Qt:
        return std::make_unique<QtSpeechOutput>(choice.engineName, kanaReading);
    case SpeechChoice::Kind::Stdout:
        return std::make_unique<StreamSpeechOutput>(stdout);
    case SpeechChoice::Kind::None:
        break;
    }
    return std::make_unique<NullSpeechOutput>();
}
