#include "clock/speechd_backend.h"

#include "clock/utterance_queue.h"

#include <QElapsedTimer>
#include <QHash>
#include <QMutex>
#include <QMutexLocker>
#include <QObject>

#include <libspeechd.h>
#include <pthread.h>

#include <algorithm>
#include <cstdlib>
#include <deque>
#include <utility>

namespace {

// A text speech-dispatcher refused: it ends as soon as those before it have.
constexpr int kRefused = -1;

SPDConnection* openConnection(QString& failure) {
    char* error = nullptr;
    SPDConnection* connection =
        spd_open2("variredu-divar", "announcements", nullptr, SPD_MODE_THREADED, nullptr, 1, &error);
    if (connection == nullptr) {
        failure =
            QStringLiteral("speech-dispatcher: %1")
                .arg(error != nullptr ? QString::fromLocal8Bit(error) : QStringLiteral("no connection"));
    }
    std::free(error);
    return connection;
}

class SpeechdBackend;

// libspeechd calls back on a thread of its own with no context but the client's id: the live
// backends are found here by theirs. Never freed, so a late call at exit finds it still there.
QMutex registryMutex;
QHash<std::size_t, SpeechdBackend*>* registry = nullptr;

class SpeechdBackend final : public QObject, public SpeechBackend, private SpeechEngine {
public:
    explicit SpeechdBackend(SPDConnection* connection)
        : queue_(*this) {
        attach(connection);
    }

    ~SpeechdBackend() override { detach(); }

    SpeechdBackend(const SpeechdBackend&) = delete;
    SpeechdBackend& operator=(const SpeechdBackend&) = delete;

    void enqueue(QString text, std::optional<QString> languageTag) override {
        queue_.enqueue(std::move(text), std::move(languageTag));
    }

private:
    // speech-dispatcher holds and orders them; the bound keeps a stuck one from holding them all.
    [[nodiscard]] std::size_t capacity() const override { return UtteranceQueue::kMaxPending; }

    void speak(const QString& text, const std::optional<QString>& languageTag) override {
        const QByteArray utf8 = text.toUtf8();
        const QByteArray language = speechdLanguage(languageTag, QLocale::system());
        int id = say(utf8, language);
        if (id < 0 && reconnect()) {
            id = say(utf8, language);
        }
        messages_.push_back(id < 0 ? kRefused : id);
        endRefused();
    }

    void skip() override {
        // The oldest is the one speaking, or the next to; it is dropped, and whatever notice comes
        // for it later is ignored.
        if (!messages_.empty()) {
            messages_.pop_front();
        }
        if (connection_ != nullptr) {
            spd_stop(connection_);
        }
    }

    int say(const QByteArray& text, const QByteArray& language) {
        if (connection_ == nullptr) {
            return -1;
        }
        if (language != language_) {
            language_ = spd_set_language(connection_, language.constData()) == 0 ? language : QByteArray();
        }
        return spd_say(connection_, SPD_MESSAGE, text.constData());
    }

    // speech-dispatcher went away (it was stopped or died): what it held is lost, and a new one is
    // started for the text in hand.
    bool reconnect() {
        qCWarning(lcSpeech) << "speech-dispatcher does not take texts; connecting again";
        detach();
        const auto lost = messages_.size();
        messages_.clear();
        for (std::size_t i = 0; i < lost; ++i) {
            queue_.utteranceEnded();
        }
        QString failure;
        SPDConnection* connection = openConnection(failure);
        if (connection == nullptr) {
            qCWarning(lcSpeech).noquote() << failure;
            return false;
        }
        attach(connection);
        return true;
    }

    void attach(SPDConnection* connection) {
        connection_ = connection;
        language_.clear();
        connection_->callback_end = &SpeechdBackend::notified;
        connection_->callback_cancel = &SpeechdBackend::notified;
        spd_set_notification_on(connection_, SPD_END);
        spd_set_notification_on(connection_, SPD_CANCEL);
        clientId_ = std::size_t(spd_get_client_id(connection_));
        const QMutexLocker lock(&registryMutex);
        if (registry == nullptr) {
            registry = new QHash<std::size_t, SpeechdBackend*>;
        }
        registry->insert(clientId_, this);
    }

    void detach() {
        if (connection_ == nullptr) {
            return;
        }
        {
            const QMutexLocker lock(&registryMutex);
            registry->remove(clientId_);
        }
        spd_close(connection_);
        connection_ = nullptr;
    }

    // On libspeechd's thread: the rest is done on this backend's. spd_close() stops that thread
    // with pthread_cancel, which must not catch it holding a lock here (waking the other thread
    // writes to a file descriptor, a cancellation point).
    static void notified(std::size_t messageId, std::size_t clientId, SPDNotificationType) {
        int cancelState = 0;
        pthread_setcancelstate(PTHREAD_CANCEL_DISABLE, &cancelState);
        {
            const QMutexLocker lock(&registryMutex);
            if (SpeechdBackend* backend = registry != nullptr ? registry->value(clientId) : nullptr) {
                QMetaObject::invokeMethod(
                    backend, [backend, messageId] { backend->ended(int(messageId)); }, Qt::QueuedConnection);
            }
        }
        pthread_setcancelstate(cancelState, nullptr);
    }

    // Spoken or cancelled: it, and any before it that ended without a notice, are done.
    void ended(int messageId) {
        const auto found = std::find(messages_.begin(), messages_.end(), messageId);
        if (found == messages_.end()) {
            return; // one the watchdog gave up on, or of a connection gone
        }
        // Ending one may hand over more, and a connection lost meanwhile empties the list.
        for (auto done = found - messages_.begin() + 1; done > 0 && !messages_.empty(); --done) {
            messages_.pop_front();
            queue_.utteranceEnded();
        }
        endRefused();
    }

    void endRefused() {
        while (!messages_.empty() && messages_.front() == kRefused) {
            messages_.pop_front();
            queue_.utteranceEnded();
        }
    }

    SPDConnection* connection_ = nullptr;
    std::size_t clientId_ = 0;
    QByteArray language_;      // the connection's, once set
    std::deque<int> messages_; // the ids of the texts speech-dispatcher holds, oldest first
    UtteranceQueue queue_;
};

} // namespace

std::unique_ptr<SpeechBackend> connectSpeechd(QString& failure) {
    QElapsedTimer timer;
    timer.start();
    SPDConnection* connection = openConnection(failure);
    if (connection == nullptr) {
        return nullptr;
    }
    auto backend = std::make_unique<SpeechdBackend>(connection);
    qCDebug(lcSpeech) << "engine \"speech-dispatcher\" connected in" << timer.nsecsElapsed() / 1000 << "us";
    return backend;
}

QByteArray speechdLanguage(const std::optional<QString>& languageTag, const QLocale& system) {
    QLocale locale = languageTag ? QLocale(*languageTag) : QLocale::c();
    if (locale.language() == QLocale::C) {
        locale = system.language() == QLocale::C ? QLocale(QLocale::English, QLocale::UnitedStates) : system;
    }
    QString tag = QLocale::languageToCode(locale.language());
    if (locale.territory() != QLocale::AnyTerritory) {
        tag += u'-' + QLocale::territoryToCode(locale.territory());
    }
    return tag.toLatin1();
}
