#pragma once

#include "clock/speech_thread.h"

#include <QList>
#include <QLocale>
#include <QString>
#include <QStringList>

#include <memory>
#include <optional>

// Speaks through QTextToSpeech, made when the first text arrives (constructing speechd blocks for
// seconds and has been seen to hang). An empty name picks the first engine that works, speechd
// first. With no usable engine nothing is spoken and one line goes to stderr.
[[nodiscard]] std::unique_ptr<SpeechBackend> makeQtSpeechBackend(QString engineName);

// Engines in the order they are tried: speechd first, the rest by name. availableEngines() comes in
// no stable order, and other engines have worse flaws (flite drops whole utterances).
[[nodiscard]] QStringList enginePreference(QStringList available);

// The locale of `available` to speak `wanted` in: same language and territory, else the first of the
// same language, else none.
[[nodiscard]] std::optional<QLocale> matchingLocale(const QLocale& wanted, const QList<QLocale>& available);
