#pragma once

#include "clock/speech_output.h"

#include <QString>

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>

// Of the clocks a user runs side by side, only the one holding this lock speaks aloud; the system
// lets it go when the holder ends, however it ends. The holder notes in it the Valdrian minute it
// last spoke in, for a clock that takes over within that minute.
class SpeakingLock {
public:
    // directory: the user's instance directory (absolute).
    explicit SpeakingLock(const QString& directory);
    ~SpeakingLock();
    SpeakingLock(const SpeakingLock&) = delete;
    SpeakingLock& operator=(const SpeakingLock&) = delete;

    // Takes the lock when no one holds it; whether this one holds it now. While another clock
    // holds it, a try is one system call.
    [[nodiscard]] bool tryTake();
    // The minute noted by the holders before this one, read when this one took the lock.
    [[nodiscard]] std::optional<std::int64_t> minuteNotedBefore() const { return notedBefore_; }
    void noteMinute(std::int64_t minute);
    // "process 1234 (variredu-divar --terminal)", or the lock file when it doesn't say. For messages.
    [[nodiscard]] QString describeHolder() const;
    // Lets it go at once: another clock speaks from its next announcement on.
    void release();

private:
    void write(std::optional<std::int64_t> minute);

    QString path_;
    int fd_ = -1;
    bool held_ = false;
    std::optional<std::int64_t> notedBefore_;
};

// Announcements through the output `make` gives, made when this clock takes the lock: at once when
// it is free, else at the first text to say after its holder has ended. Until then nothing is said.
// Texts in the Valdrian minute the previous holder last spoke in are not said again.
class SpeakingTurn final : public SpeechOutput {
public:
    using Make = std::function<std::unique_ptr<SpeechOutput>()>;
    using Minute = std::function<std::int64_t()>; // Valdrian minutes since the epoch, now

    SpeakingTurn(SpeakingLock& lock, Minute minute, Make make);

    [[nodiscard]] bool speaks() const { return output_ != nullptr; }
    void say(const QString& text, const std::optional<QString>& languageTag) override;

private:
    [[nodiscard]] bool take();

    SpeakingLock& lock_;
    Minute minute_;
    Make make_;
    std::unique_ptr<SpeechOutput> output_;
    std::optional<std::int64_t> noted_;
};
