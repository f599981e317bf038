#pragma once

#include "clock/speech_output.h"

#include <QList>

#include <memory>

struct Utterance {
    QString text;
    std::optional<QString> tag;
    bool operator==(const Utterance&) const = default;
};

// Records what the model hands over; the list outlives the output the model owns.
class RecordingSpeech final : public SpeechOutput {
public:
    explicit RecordingSpeech(std::shared_ptr<QList<Utterance>> log)
        : log_(std::move(log)) {}
    void say(const QString& text, const std::optional<QString>& tag) override { log_->append({text, tag}); }

private:
    std::shared_ptr<QList<Utterance>> log_;
};
