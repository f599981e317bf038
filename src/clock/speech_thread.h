#pragma once

#include "clock/speech_output.h"

#include <QString>

#include <functional>
#include <memory>
#include <optional>

class QThread;

// An engine behind a SpeechThreadOutput: made, used and destroyed on the speech thread.
class SpeechBackend {
public:
    virtual ~SpeechBackend() = default;
    // Takes the next text, already read for its voice; speaks the texts in hand-over order.
    virtual void enqueue(QString text, std::optional<QString> languageTag) = 0;
};

// Makes the backend, on the speech thread as it starts: null when there is no engine, the reason
// said with reportSpeechUnavailable().
using SpeechBackendFactory = std::function<std::unique_ptr<SpeechBackend>()>;

// One line on stderr, the first time only: the clock goes on silently.
void reportSpeechUnavailable(const QString& reason);

// Speaks on a thread of its own: an engine may take seconds to start or hang inside
// speech-dispatcher, which must never freeze the clock. Texts said before the backend is up wait for
// it. Texts for a Japanese voice are handed over as their kana reading unless `kanaReading` is off
// (see SpeechReading).
class SpeechThreadOutput final : public SpeechOutput {
public:
    SpeechThreadOutput(SpeechBackendFactory makeBackend, bool kanaReading);
    ~SpeechThreadOutput() override;
    SpeechThreadOutput(const SpeechThreadOutput&) = delete;
    SpeechThreadOutput& operator=(const SpeechThreadOutput&) = delete;

    void say(const QString& text, const std::optional<QString>& languageTag) override;

    // Whether the speech thread of a destroyed output is still stuck in its engine. The destructor
    // waits for it only briefly; the process must then end without running exit handlers and static
    // destructors, which may wait for that thread or unload the code it is in.
    [[nodiscard]] static bool threadsLeftRunning();

private:
    class Worker;
    std::unique_ptr<QThread> thread_;
    std::unique_ptr<Worker> worker_; // lives on thread_; makes and destroys its backend there
};
