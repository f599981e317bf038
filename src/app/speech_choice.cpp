#include "app/speech_choice.h"

#include "clock/qt_speech_backend.h"
#include "clock/speech_thread.h"
#include "clock/speechd_backend.h"
#include "clock/stream_speech_output.h"
#include "clock/utterance_queue.h"

#include <cstdio>

namespace {

// speech-dispatcher directly; Qt's engines when it can't be reached (Qt's own speechd engine then
// fails too, and another may work).
std::unique_ptr<SpeechBackend> speechdOrQt() {
    QString failure;
    if (auto backend = connectSpeechd(failure)) {
        return backend;
    }
    qCDebug(lcSpeech).noquote() << failure + QStringLiteral("; trying Qt's speech engines");
    return makeQtSpeechBackend({});
}

} // namespace

std::optional<SpeechChoice> parseSpeechChoice(QStringView text) {
    if (text == u"speechd") {
        return SpeechChoice{SpeechChoice::Kind::Speechd, {}};
    }
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
    case SpeechChoice::Kind::Speechd:
        return std::make_unique<SpeechThreadOutput>(&speechdOrQt, kanaReading);
    case SpeechChoice::Kind::Qt:
        return std::make_unique<SpeechThreadOutput>(
            [name = choice.engineName] { return makeQtSpeechBackend(name); }, kanaReading);
    case SpeechChoice::Kind::Stdout:
        return std::make_unique<StreamSpeechOutput>(stdout);
    case SpeechChoice::Kind::None:
        break;
    }
    return std::make_unique<NullSpeechOutput>();
}
