#pragma once

#include <QString>

#include <optional>

// Where announcements go. say() returns at once; texts are spoken in hand-over order, none cutting
// another short. languageTag names the voice wanted ("ja-JP"), or none for the default voice.
class SpeechOutput {
public:
    virtual ~SpeechOutput() = default;
    virtual void say(const QString& text, const std::optional<QString>& languageTag) = 0;
};

// Speaks nothing.
class NullSpeechOutput final : public SpeechOutput {
public:
    void say(const QString&, const std::optional<QString>&) override {}
};
