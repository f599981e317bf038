#pragma once

#include <QLoggingCategory>
#include <QObject>
#include <QString>
#include <QTimer>

#include <chrono>
#include <cstddef>
#include <deque>
#include <optional>

// Hand-overs, engine states and voice choices at debug level; a stuck engine and drops as warnings.
// QT_LOGGING_RULES="variredu.speech.debug=true" shows the former.
Q_DECLARE_LOGGING_CATEGORY(lcSpeech)

struct PendingUtterance {
    QString text;
    std::optional<QString> languageTag;
    bool operator==(const PendingUtterance&) const = default;
};

// Appends to a FIFO that holds at most `limit` items. When full, the oldest is dropped: the newest
// announcement is the one still worth hearing once a stuck engine recovers. Returns whether one was
// dropped.
bool appendBounded(std::deque<PendingUtterance>& fifo, PendingUtterance item, std::size_t limit);

enum class EngineState { Ready, Speaking, Error };

// What the queue drives: a synthesizer that speaks the texts it holds one after another. Most hold
// one at a time and cut off the text in progress when given another; they report their states to
// UtteranceQueue::engineStateChanged. One with a queue of its own takes many and reports the end of
// each, in hand-over order, to UtteranceQueue::utteranceEnded.
class SpeechEngine {
public:
    virtual ~SpeechEngine() = default;
    virtual void speak(const QString& text, const std::optional<QString>& languageTag) = 0;
    // How many texts it may hold at once.
    [[nodiscard]] virtual std::size_t capacity() const { return 1; }
    // The watchdog gave up on the oldest text it holds: it may drop that one and go on with the next.
    virtual void skip() {}
};

// Speaks texts one after another, in hand-over order, keeping the engine no fuller than it can be.
// For an engine that holds one text, the next is handed over only once the previous one is done: the
// engine went back to Ready after Speaking or Error was seen since that hand-over. A state read just
// after speak() is worthless (speechd still reports the old Ready), so only transitions count, never
// the polled state. The watchdog times the oldest text the engine holds, from when it became the
// oldest.
class UtteranceQueue final : public QObject {
    Q_OBJECT

public:
    // Pending texts beyond this push out the oldest, so a stuck engine cannot grow memory for ever.
    static constexpr std::size_t kMaxPending = 1000;
    // The watchdog is there for an engine that hangs (with its audio server gone, speechd reports
    // Speaking for ever), not for slow speech: no text may be cut while it could still be speaking,
    // and the engine gives no sign of progress. espeak-ng measured at its slowest rate (the one
    // speech-dispatcher's lowest rate sets): Japanese kana up to 0.34 s a character (a 2,000-character
    // kanji title reads as 2,800 kana: 949 s, and 429 s at the default rate), Latin letters spelled
    // by the Japanese voice up to 1.1 s, kana spelled by an English voice 1.35 s. Hence 1.5 s a
    // character after 15 s for the engine to start; a hung engine holds speech up for that long and
    // no longer. The cap only keeps the interval within what QTimer takes.
    static constexpr std::chrono::milliseconds kWatchdogBase{15'000};
    static constexpr std::chrono::milliseconds kWatchdogPerChar{1'500};
    static constexpr std::chrono::milliseconds kWatchdogCap{std::chrono::hours(24)};

    explicit UtteranceQueue(SpeechEngine& engine, QObject* parent = nullptr);

    // Hands the text over at once when the engine is idle. Blank texts are ignored: speechd
    // reports nothing at all for them, which would hold the queue up until the watchdog fires.
    void enqueue(QString text, std::optional<QString> languageTag);

    void engineStateChanged(EngineState state);
    // The oldest text the engine holds ended, spoken or cancelled.
    void utteranceEnded();

    // Called by the watchdog timer; gives up on the utterance in progress and moves on.
    void watchdogExpired();

    [[nodiscard]] std::size_t pendingCount() const { return pending_.size(); }
    [[nodiscard]] bool isBusy() const { return !handedOver_.empty(); }
    [[nodiscard]] std::size_t droppedCount() const { return dropped_; }
    [[nodiscard]] bool watchdogArmed() const { return watchdog_.isActive(); }
    [[nodiscard]] std::chrono::milliseconds watchdogInterval() const {
        return watchdog_.intervalAsDuration();
    }

    // How long an utterance of this text may take before the watchdog moves on.
    [[nodiscard]] static std::chrono::milliseconds timeoutFor(const QString& text);

private:
    enum class Phase {
        HandedOver, // speak() called, no Speaking or Error seen yet
        Busy,       // Speaking or Error seen since the hand-over; the next Ready ends it
    };

    void finishOldest();
    void pump();

    SpeechEngine& engine_;
    std::deque<PendingUtterance> pending_;
    // How long each text the engine holds may take, oldest first.
    std::deque<std::chrono::milliseconds> handedOver_;
    Phase phase_ = Phase::HandedOver; // of the oldest text, for an engine that reports states
    bool pumping_ = false;
    std::size_t dropped_ = 0;
    // A stuck engine is reported once, not at every announcement, until a text is spoken again.
    bool reportedStuck_ = false;
    QTimer watchdog_;
};
