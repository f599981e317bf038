#pragma once

#include "alarms/alarm_model.h"
#include "clock/timer_model.h"
#include "clock/valdrian_time.h"
#include "fake_clock.h"
#include "recording_speech.h"
#include "temp_settings.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <memory>

inline constexpr std::int64_t kDay = 400000; // a Valdrian day of this era

// The real instant of Valdrian hour:minute:second on `day`; by default the middle of the minute,
// clear of any boundary.
inline double realAt(int hour, int minute, int second = 30, std::int64_t day = kDay) {
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

// A timer model on a fake clock and a settings file of its own, by default speaking to `spoken`.
// Only the test ticks it: no event loop runs, so its own timer never fires.
class ModelTest : public ::testing::Test {
protected:
    TimerModel& start(double at) { return start(at, std::make_unique<RecordingSpeech>(spoken)); }
    TimerModel& start(double at, std::unique_ptr<SpeechOutput> speech) {
        clock.set(at);
        model = std::make_unique<TimerModel>(
            clock.function(), std::move(speech), [this] { return languages; }, *temp.store);
        return *model;
    }
    [[nodiscard]] double now() const { return *clock.now; }
    [[nodiscard]] QStringList texts() const {
        QStringList result;
        for (const Utterance& u : *spoken) {
            result.append(u.text);
        }
        return result;
    }
    // What was said since the last call.
    QStringList takeSpoken() {
        QStringList result = texts();
        spoken->clear();
        return result;
    }

    TempSettings temp;
    FakeClock clock;
    QStringList languages{QStringLiteral("en-US")};
    std::shared_ptr<QList<Utterance>> spoken = std::make_shared<QList<Utterance>>();
    std::unique_ptr<TimerModel> model;
};
