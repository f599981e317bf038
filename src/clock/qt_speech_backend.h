#pragma once

#include "clock/speech_output.h"

#include <QList>
#include <QLocale>
#include <QString>
#include <QStringList>

#include <memory>
#include <optional>

class QThread;

// Speaks through QTextToSpeech. The engine lives on a thread of its own: constructing speechd blocks
// for seconds (and has been seen to hang), which must never freeze the clock. The engine is made
// when the first text arrives; texts said before it is up wait for it. With no usable engine
// nothing is spoken and one line goes to stderr. Texts for a Japanese voice are handed over as their
// kana reading unless `kanaReading` is off (see SpeechReading).
class QtSpeechOutput final : public SpeechOutput {
public:
    // An empty name picks the first engine that works, speechd first.
    explicit QtSpeechOutput(QString engineName = {}, bool kanaReading = true);
    ~QtSpeechOutput() override;
    QtSpeechOutput(const QtSpeechOutput&) = delete;
    QtSpeechOutput& operator=(const QtSpeechOutput&) = delete;

    void say(const QString& text, const std::optional<QString>& languageTag) override;

    // Whether the speech thread of a destroyed output is still stuck in its engine. The destructor
    // waits for it only briefly; the process must then end without running exit handlers and static
    // destructors, which may wait for that thread or unload the code it is in.
    [[nodiscard]] static bool threadsLeftRunning();

private:
    class Worker;
    std::unique_ptr<QThread> thread_;
    std::unique_ptr<Worker> worker_; // lives on thread_; makes and destroys its engine there
};

// Engines in the order they are tried: speechd first, the rest by name. availableEngines() comes in
// no stable order, and other engines have worse flaws (flite drops whole utterances).
[[nodiscard]] QStringList enginePreference(QStringList available);

// The locale of `available` to speak `wanted` in: same language and territory, else the first of the
// same language, else none.
[[nodiscard]] std::optional<QLocale> matchingLocale(const QLocale& wanted, const QList<QLocale>& available);
