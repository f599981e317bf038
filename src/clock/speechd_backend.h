#pragma once

#include "clock/speech_thread.h"

#include <QByteArray>
#include <QLocale>
#include <QString>

#include <memory>
#include <optional>

// Speaks through speech-dispatcher's own library, libspeechd. Connecting takes a millisecond or two
// (speech-dispatcher is started first when it isn't running), and each text goes at once into
// speech-dispatcher's queue, which speaks them in order; its end-of-speech notices tell the watchdog
// how far it got. Should speech-dispatcher go away, it is started again for the next text. Null,
// with `failure` set, when speech-dispatcher can't be reached.
[[nodiscard]] std::unique_ptr<SpeechBackend> connectSpeechd(QString& failure);

// The language speech-dispatcher is asked for ("ja-JP"): that of the voice's tag, else that of the
// system locale, else English; speech-dispatcher picks the voice for it.
[[nodiscard]] QByteArray speechdLanguage(const std::optional<QString>& languageTag, const QLocale& system);
