#include "clock/qt_speech_backend.h"

#include "clock/utterance_queue.h"

#include <QHash>
#include <QTextToSpeech>
#include <QVoice>

#include <algorithm>
#include <utility>

namespace {

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

// Makes its engine when the first text arrives: starting speechd costs about a second of CPU
// reading its voice list, which a session that never announces should not pay.
class QtSpeechBackend final : public SpeechBackend {
public:
    explicit QtSpeechBackend(QString engineName)
        : engineName_(std::move(engineName)) {}

    void enqueue(QString text, std::optional<QString> languageTag) override {
        if (!engineTried_) {
            start();
        }
        if (queue_) {
            queue_->enqueue(std::move(text), std::move(languageTag));
        }
    }

private:
    void start() {
        engineTried_ = true;
        QString failure;
        tts_ = createEngine(engineName_, failure);
        if (!tts_) {
            reportSpeechUnavailable(failure);
            return;
        }
        engine_ = std::make_unique<QtEngine>(*tts_);
        queue_ = std::make_unique<UtteranceQueue>(*engine_);
        QObject::connect(tts_.get(), &QTextToSpeech::stateChanged, queue_.get(),
                         [queue = queue_.get()](QTextToSpeech::State state) {
                             queue->engineStateChanged(toEngineState(state));
                         });
    }

    const QString engineName_;
    bool engineTried_ = false;
    // Destroyed queue first, engine last.
    std::unique_ptr<QTextToSpeech> tts_;
    std::unique_ptr<QtEngine> engine_;
    std::unique_ptr<UtteranceQueue> queue_;
};

} // namespace

std::unique_ptr<SpeechBackend> makeQtSpeechBackend(QString engineName) {
    return std::make_unique<QtSpeechBackend>(std::move(engineName));
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
