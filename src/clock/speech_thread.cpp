#include "clock/speech_thread.h"

#include "clock/kana_reading.h"
#include "clock/utterance_queue.h"

#include <QDeadlineTimer>
#include <QList>
#include <QMutex>
#include <QMutexLocker>
#include <QThread>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <deque>
#include <utility>

namespace {

// A working engine closes in milliseconds; one stuck inside speech-dispatcher may never return,
// and quitting must stay within a second.
constexpr std::chrono::milliseconds kJoinTimeout{300};

// Speech threads left behind by their outputs, never freed: they may still be running code of the
// engine's library.
QMutex abandonedMutex;
QList<QThread*>* abandoned = nullptr;

} // namespace

void reportSpeechUnavailable(const QString& reason) {
    static std::atomic_flag reported;
    if (reported.test_and_set()) {
        return;
    }
    std::fprintf(stderr, "variredu-divar: speech unavailable: %s; announcements will not be spoken\n",
                 qUtf8Printable(reason));
    std::fflush(stderr);
}

// Owns everything that must live and die on the speech thread. post() is the only member called
// from other threads.
class SpeechThreadOutput::Worker final : public QObject {
public:
    Worker(SpeechBackendFactory makeBackend, bool kanaReading)
        : makeBackend_(std::move(makeBackend))
        , reading_(kanaReading) {}

    // Texts gather in a bounded inbox rather than one posted event each: while the backend is being
    // made (or hangs in the engine) the thread handles no events, and memory must stay bounded.
    void post(PendingUtterance utterance) {
        bool wasEmpty = false;
        {
            const QMutexLocker lock(&mutex_);
            wasEmpty = inbox_.empty();
            appendBounded(inbox_, std::move(utterance), UtteranceQueue::kMaxPending);
        }
        if (wasEmpty) {
            QMetaObject::invokeMethod(this, &Worker::drain, Qt::QueuedConnection);
        }
    }

    void start() { backend_ = makeBackend_(); }

    void stop() { backend_.reset(); }

private:
    void drain() {
        std::deque<PendingUtterance> batch;
        {
            const QMutexLocker lock(&mutex_);
            batch.swap(inbox_);
        }
        if (!backend_) {
            return; // no engine: the texts are dropped, as promised by the stderr line
        }
        // Read here, on this thread: loading the dictionary must not hold up the clock's tick.
        for (PendingUtterance& utterance : batch) {
            QString spoken = reading_.forVoice(utterance.text, utterance.languageTag);
            backend_->enqueue(std::move(spoken), std::move(utterance.languageTag));
        }
        reading_.unload();
    }

    const SpeechBackendFactory makeBackend_;
    SpeechReading reading_;
    QMutex mutex_;
    std::deque<PendingUtterance> inbox_;
    std::unique_ptr<SpeechBackend> backend_;
};

SpeechThreadOutput::SpeechThreadOutput(SpeechBackendFactory makeBackend, bool kanaReading)
    : thread_(std::make_unique<QThread>())
    , worker_(std::make_unique<Worker>(std::move(makeBackend), kanaReading)) {
    thread_->setObjectName(QStringLiteral("speech"));
    worker_->moveToThread(thread_.get());
    // Both are sent from the thread itself, so the backend is made and destroyed there; started
    // comes before any text posted now is drained.
    QObject::connect(thread_.get(), &QThread::started, worker_.get(), &Worker::start, Qt::DirectConnection);
    QObject::connect(thread_.get(), &QThread::finished, worker_.get(), &Worker::stop, Qt::DirectConnection);
    thread_->start();
}

SpeechThreadOutput::~SpeechThreadOutput() {
    thread_->quit();
    if (!thread_->wait(QDeadlineTimer(kJoinTimeout))) {
        // Stuck inside the engine. Destroying a running QThread aborts the program, so the thread
        // and its objects are abandoned to process exit instead. If it comes back, it destroys the
        // backend on its way out (stop); the two objects stay, small and reachable.
        qCWarning(lcSpeech) << "speech engine does not respond; not waiting for it";
        const QMutexLocker lock(&abandonedMutex);
        if (abandoned == nullptr) {
            abandoned = new QList<QThread*>;
        }
        abandoned->append(thread_.release());
        (void)worker_.release();
        return;
    }
    worker_.reset();
}

bool SpeechThreadOutput::threadsLeftRunning() {
    const QMutexLocker lock(&abandonedMutex);
    return abandoned != nullptr &&
           std::any_of(abandoned->cbegin(), abandoned->cend(), [](QThread* t) { return t->isRunning(); });
}

void SpeechThreadOutput::say(const QString& text, const std::optional<QString>& languageTag) {
    worker_->post({text, languageTag});
}
