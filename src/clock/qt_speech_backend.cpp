#include "clock/qt_speech_output.h"

#include "clock/kana_reading.h"
#include "clock/utterance_queue.h"

#include <QDeadlineTimer>
#include <QHash>
#include <QMutex>
#include <QMutexLocker>
#include <QTextToSpeech>
#include <QThread>
#include <QVoice>

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
// engine's plugin.
QMutex abandonedMutex;
QList<QThread*>* abandoned = nullptr;

void reportUnavailable(const QString& reason) {
    static std::atomic_flag reported;
    if (reported.test_and_set()) {
        return;
    }
    std::fprintf(stderr, "variredu-divar: speech unavailable: %s; announcements will not be spoken\n",
                 qUtf8Printable(reason));
    std::fflush(stderr);
}

EngineState toEngineState(QTextToSpeech::State state) {
    switch (state) {
    case QTextToSpeech::Ready:
        return EngineState::Ready;
    case QTextToSpeech::Speaking:
    case QTextToSpeech::Paused: // never paused by us; counts as still busy
        return EngineState::Speaking;
    case QTextToSpeech::Error:
        return EngineState::Error;
    }
    return EngineState::Error;
}

// Null with `failure` set when no engine works.
std::unique_ptr<QTextToSpeech> createEngine(const QString& requested, QString& failure) {
    const QStringList installed = QTextToSpeech::availableEngines();
    QStringList candidates;
    if (!requested.isEmpty()) {
        if (!installed.contains(requested)) {
            failure = QStringLiteral("speech engine \"%1\" is not installed (installed: %2)")
                          .arg(requested, installed.isEmpty() ? QStringLiteral("none")
                                                              : enginePreference(installed).join(u", "));
            return nullptr;
        }
        candidates = {requested};
    } else {
        candidates = enginePreference(installed);
        if (candidates.isEmpty()) {
            failure = QStringLiteral("no speech engine is installed");
            return nullptr;
        }
    }

    QStringList failures;
    for (const QString& name : std::as_const(candidates)) {
        auto tts = std::make_unique<QTextToSpeech>(name);
        if (tts->state() != QTextToSpeech::Error) {
            qCDebug(lcSpeech) << "engine" << name << "locale" << tts->locale() << "voice" << tts->voice();
            return tts;
        }
        const QString why = tts->errorString();
        failures << QStringLiteral("engine \"%1\" failed (%2)")
                        .arg(name, why.isEmpty() ? QStringLiteral("no reason given") : why);
    }
    failure = failures.join(u", ");
    return nullptr;
}

// Drives one QTextToSpeech for the queue and chooses the voice for each text.
class QtEngine final : public SpeechEngine {
public:
    explicit QtEngine(QTextToSpeech& tts)
        : tts_(tts)
        , locales_(tts.availableLocales()) {
        // The voice for texts without a tag, and for tags without a voice: the user's locale, or
        // English when that is "C" (speechd then starts on an arbitrary voice). Failing both, the
        // voice the engine came up with.
        const QLocale initial = tts.locale();
        default_ = {locales_.contains(initial) ? std::optional(initial) : std::nullopt, tts.voice()};
        for (const QLocale& wanted : {QLocale::system(), QLocale(QLocale::English, QLocale::UnitedStates)}) {
            if (const auto locale = matchingLocale(wanted, locales_)) {
                tts_.setLocale(*locale);
                if (tts_.locale() == *locale) {
                    default_ = {*locale, tts_.voice()};
                    break;
                }
            }
        }
    }

    void speak(const QString& text, const std::optional<QString>& languageTag) override {
        const VoiceChoice choice = choiceFor(languageTag);
        if (choice.locale && tts_.locale() != *choice.locale) {
            tts_.setLocale(*choice.locale);
        }
        if (!choice.voice.name().isEmpty() && tts_.voice() != choice.voice) {
            tts_.setVoice(choice.voice);
        }
        tts_.say(text);
    }

private:
    struct VoiceChoice {
        std::optional<QLocale> locale;
        QVoice voice;
    };

    VoiceChoice choiceFor(const std::optional<QString>& tag) {
        if (!tag) {
            return default_;
        }
        if (const auto cached = cache_.constFind(*tag); cached != cache_.cend()) {
            return *cached;
        }
        VoiceChoice choice = default_;
        // Only locales the engine lists are ever set: speechd goes to Error on any other.
        if (const auto locale = matchingLocale(QLocale(*tag), locales_)) {
            tts_.setLocale(*locale);
            if (tts_.locale() == *locale) {
                choice = {*locale, tts_.voice()};
            }
        }
        qCDebug(lcSpeech) << "tag" << *tag << "-> locale" << choice.locale.value_or(QLocale::c()) << "voice"
                          << choice.voice.name();
        cache_.insert(*tag, choice);
        return choice;
    }

    QTextToSpeech& tts_;
    const QList<QLocale> locales_;
    VoiceChoice default_;
    QHash<QString, VoiceChoice> cache_;
};

} // namespace

// Owns everything that must live and die on the speech thread. post() is the only member called
// from other threads.
class QtSpeechOutput::Worker final : public QObject {
public:
    Worker(QString engineName, bool kanaReading)
        : engineName_(std::move(engineName))
        , reading_(kanaReading) {}

    // Texts gather in a bounded inbox rather than one posted event each: while the engine is being
    // constructed (or hangs doing so) the thread handles no events, and memory must stay bounded.
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

    // The engine is made on the first text: starting speechd costs about a second of CPU reading
    // its voice list, which a session that never announces should not pay.
    void startEngine() {
        engineTried_ = true;
        QString failure;
        tts_ = createEngine(engineName_, failure);
        if (!tts_) {
            reportUnavailable(failure);
            return;
        }
        engine_ = std::make_unique<QtEngine>(*tts_);
        queue_ = std::make_unique<UtteranceQueue>(*engine_);
        connect(tts_.get(), &QTextToSpeech::stateChanged, queue_.get(),
                [queue = queue_.get()](QTextToSpeech::State state) {
                    queue->engineStateChanged(toEngineState(state));
                });
    }

    void stop() {
        queue_.reset();
        engine_.reset();
        tts_.reset();
    }

private:
    void drain() {
        std::deque<PendingUtterance> batch;
        {
            const QMutexLocker lock(&mutex_);
            batch.swap(inbox_);
        }
        if (!engineTried_) {
            startEngine();
        }
        if (!queue_) {
            return; // no engine: the texts are dropped, as promised by the stderr line
        }
        // Read here, on this thread: loading the dictionary must not hold up the clock's tick.
        for (PendingUtterance& utterance : batch) {
            QString spoken = reading_.forVoice(utterance.text, utterance.languageTag);
            queue_->enqueue(std::move(spoken), std::move(utterance.languageTag));
        }
        reading_.unload();
    }

    const QString engineName_;
    bool engineTried_ = false;
    SpeechReading reading_;
    QMutex mutex_;
    std::deque<PendingUtterance> inbox_;
    std::unique_ptr<QTextToSpeech> tts_;
    std::unique_ptr<QtEngine> engine_;
    std::unique_ptr<UtteranceQueue> queue_;
};

QtSpeechOutput::QtSpeechOutput(QString engineName, bool kanaReading)
    : thread_(std::make_unique<QThread>())
    , worker_(std::make_unique<Worker>(std::move(engineName), kanaReading)) {
    thread_->setObjectName(QStringLiteral("speech"));
    worker_->moveToThread(thread_.get());
    // finished is sent from the thread itself, so the engine is destroyed there.
    QObject::connect(thread_.get(), &QThread::finished, worker_.get(), &Worker::stop, Qt::DirectConnection);
    thread_->start();
}

QtSpeechOutput::~QtSpeechOutput() {
    thread_->quit();
    if (!thread_->wait(QDeadlineTimer(kJoinTimeout))) {
        // Stuck inside speech-dispatcher. Destroying a running QThread aborts the program, so the
        // thread and its objects are abandoned to process exit instead. If it comes back, it
        // destroys the engine on its way out (stop); the two objects stay, small and reachable.
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

bool QtSpeechOutput::threadsLeftRunning() {
    const QMutexLocker lock(&abandonedMutex);
    return abandoned != nullptr &&
           std::any_of(abandoned->cbegin(), abandoned->cend(), [](QThread* t) { return t->isRunning(); });
}

void QtSpeechOutput::say(const QString& text, const std::optional<QString>& languageTag) {
    worker_->post({text, languageTag});
}

QStringList enginePreference(QStringList available) {
    available.removeDuplicates();
    std::sort(available.begin(), available.end());
    const auto speechd = std::find(available.begin(), available.end(), QStringLiteral("speechd"));
    if (speechd != available.end()) {
        std::rotate(available.begin(), speechd, speechd + 1);
    }
    return available;
}

std::optional<QLocale> matchingLocale(const QLocale& wanted, const QList<QLocale>& available) {
    if (wanted.language() == QLocale::C || wanted.language() == QLocale::AnyLanguage) {
        return std::nullopt;
    }
    const auto sameLanguage = [&wanted](const QLocale& l) {
        return l.language() == wanted.language();
    };
    const auto exact = std::find_if(available.begin(), available.end(), [&](const QLocale& l) {
        return sameLanguage(l) && l.territory() == wanted.territory();
    });
    if (exact != available.end()) {
        return *exact;
    }
    const auto close = std::find_if(available.begin(), available.end(), sameLanguage);
    if (close != available.end()) {
        return *close;
    }
    return std::nullopt;
}
