#pragma once

// What the unit tests stand the program on: recording speech, a settings file of the test's own,
// and a clock model on a clock that moves only when the test says so.

#include "alarms/settings_store.h"
#include "clock/timer_model.h"
#include "clock/valdrian_time.h"

#include <QSettings>
#include <QTemporaryDir>

#include <cstdint>
#include <memory>

struct Utterance {
    QString text;
    std::optional<QString> tag;
    bool operator==(const Utterance&) const = default;
};

// Records what it is handed; the list belongs to the test and outlives the output.
class RecordingSpeech final : public SpeechOutput {
public:
    explicit RecordingSpeech(QList<Utterance>& log)
        : log_(log) {}
    void say(const QString& text, const std::optional<QString>& tag) override { log_.append({text, tag}); }

private:
    QList<Utterance>& log_;
};

// The real instant of Valdrian hour:minute:second on `day`; by default the middle of the minute.
inline double realAt(int hour, int minute, double second = 30, std::int64_t day = 400000) {
    return (double(day) * 86400 + hour * 3600 + minute * 60 + second) / ZuduzirEraz::kFactor;
}

inline AlarmModel alarmAt(const char* hour, const char* minute, const char* title = "", bool enabled = true) {
    AlarmModel alarm = AlarmModel::makeNew();
    alarm.hour = QString::fromUtf8(hour);
    alarm.minutes = QString::fromUtf8(minute);
    alarm.title = QString::fromUtf8(title);
    alarm.enabled = enabled;
    return alarm;
}

// A settings store on a file in a fresh temporary directory.
struct TempSettings {
    QTemporaryDir dir;
    QString path = dir.filePath(QStringLiteral("variredu-divar.conf"));
    std::unique_ptr<SettingsStore> store = open();

    [[nodiscard]] std::unique_ptr<SettingsStore> open() const {
        return std::make_unique<SettingsStore>(std::make_unique<QSettings>(path, QSettings::IniFormat));
    }
};

// A clock model on `now`, speaking into `spoken`, with settings of its own. No event loop runs
// unless the test runs one, so only the test ticks it.
struct ModelRig {
    TempSettings settings;
    double now = 0;
    QStringList languages{QStringLiteral("en-US")};
    QList<Utterance> spoken;
    std::unique_ptr<TimerModel> model;

    TimerModel& start(double at, std::unique_ptr<SpeechOutput> speech = nullptr) {
        now = at;
        if (!speech) {
            speech = std::make_unique<RecordingSpeech>(spoken);
        }
        model = std::make_unique<TimerModel>([this] { return now; }, std::move(speech),
                                             [this] { return languages; }, *settings.store);
        return *model;
    }
    // The texts said since the last call.
    QStringList takeSpoken() {
        QStringList texts;
        for (const Utterance& u : std::as_const(spoken)) {
            texts.append(u.text);
        }
        spoken.clear();
        return texts;
    }
};
