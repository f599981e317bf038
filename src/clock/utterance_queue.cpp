#include "clock/utterance_queue.h"

#include <algorithm>
#include <utility>

Q_LOGGING_CATEGORY(lcSpeech, "variredu.speech", QtInfoMsg)

namespace {

const char* stateName(EngineState state) {
    switch (state) {
    case EngineState::Ready:
        return "Ready";
    case EngineState::Speaking:
        return "Speaking";
    case EngineState::Error:
        return "Error";
    }
    return "?";
}

} // namespace

bool appendBounded(std::deque<PendingUtterance>& fifo, PendingUtterance item, std::size_t limit) {
    bool dropped = false;
    while (!fifo.empty() && fifo.size() >= limit) {
        fifo.pop_front();
        dropped = true;
    }
    fifo.push_back(std::move(item));
    return dropped;
}

UtteranceQueue::UtteranceQueue(SpeechEngine& engine, QObject* parent)
    : QObject(parent)
    , engine_(engine) {
    watchdog_.setSingleShot(true);
    connect(&watchdog_, &QTimer::timeout, this, &UtteranceQueue::watchdogExpired);
}

std::chrono::milliseconds UtteranceQueue::timeoutFor(const QString& text) {
    const auto chars = static_cast<std::chrono::milliseconds::rep>(text.size());
    return std::min(kWatchdogBase + kWatchdogPerChar * chars, kWatchdogCap);
}

void UtteranceQueue::enqueue(QString text, std::optional<QString> languageTag) {
    if (text.trimmed().isEmpty()) {
        return;
    }
    if (appendBounded(pending_, {std::move(text), std::move(languageTag)}, kMaxPending)) {
        if (dropped_ == 0) {
            qCWarning(lcSpeech) << "speech engine is not keeping up; dropping the oldest announcements";
        }
        ++dropped_;
    }
    pump();
}

void UtteranceQueue::engineStateChanged(EngineState state) {
    qCDebug(lcSpeech) << "engine state" << stateName(state);
    if (handedOver_.empty()) {
        return;
    }
    switch (phase_) {
    case Phase::HandedOver:
        // A Ready here is the engine's state from before it took the text, not the end of it.
        if (state != EngineState::Ready) {
            phase_ = Phase::Busy;
        }
        break;
    case Phase::Busy:
        if (state == EngineState::Ready) {
            utteranceEnded();
        }
        break;
    }
}

void UtteranceQueue::utteranceEnded() {
    if (handedOver_.empty()) {
        return;
    }
    reportedStuck_ = false;
    finishOldest();
}

void UtteranceQueue::watchdogExpired() {
    if (handedOver_.empty()) {
        return;
    }
    if (!reportedStuck_) {
        qCWarning(lcSpeech) << "an announcement did not finish within" << watchdog_.interval() / 1000
                            << "s; moving on (no more of these until one does)";
        reportedStuck_ = true;
    }
    engine_.skip();
    finishOldest();
}

void UtteranceQueue::finishOldest() {
    handedOver_.pop_front();
    phase_ = Phase::HandedOver;
    if (handedOver_.empty()) {
        watchdog_.stop();
    } else {
        watchdog_.start(handedOver_.front());
    }
    pump();
}

void UtteranceQueue::pump() {
    // An engine may report synchronously from inside speak(); the outer call keeps going, so a run
    // of such texts is a loop rather than a recursion as deep as the queue.
    if (pumping_) {
        return;
    }
    pumping_ = true;
    while (handedOver_.size() < engine_.capacity() && !pending_.empty()) {
        const PendingUtterance next = std::move(pending_.front());
        pending_.pop_front();
        handedOver_.push_back(timeoutFor(next.text));
        if (handedOver_.size() == 1) {
            phase_ = Phase::HandedOver;
            watchdog_.start(handedOver_.front());
        }
        qCDebug(lcSpeech) << "hand over" << next.text << next.languageTag.value_or(QStringLiteral("-"));
        engine_.speak(next.text, next.languageTag);
    }
    pumping_ = false;
}
