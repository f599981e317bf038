#pragma once

#include "clock/speech_output.h"
#include "clock/utterance_queue.h"

// The program's utterance queue as a model's speech output, all on the test's thread: the model
// hands texts to the queue exactly as the speech thread does, and the test drives the engine.
class QueueSpeechOutput final : public SpeechOutput {
public:
    explicit QueueSpeechOutput(UtteranceQueue& queue)
        : queue_(queue) {}
    void say(const QString& text, const std::optional<QString>& languageTag) override {
        queue_.enqueue(text, languageTag);
    }

private:
    UtteranceQueue& queue_;
};
