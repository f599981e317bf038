#include "clock/timer_model.h"

#include "alarms/base10.h"
#include "alarms/settings_store.h"
#include "clock/announcements.h"

namespace keys = settings_keys;

bool isAlarmDue(const AlarmModel& alarm, std::int64_t hour, std::int64_t minute) {
    return alarm.enabled && parseBase10(alarm.hour) == hour && parseBase10(alarm.minutes) == minute;
}

TimerModel::TimerModel(Clock clock, std::unique_ptr<SpeechOutput> speech,
                       PreferredLanguages preferredLanguages, SettingsStore& store, QObject* parent)
    : QObject(parent)
    , store_(store)
    , clock_(std::move(clock))
    , preferredLanguages_(std::move(preferredLanguages))
    , vt_(clock_())
    , speechSynthesizer_(std::move(speech)) {
    // The timer is a member: it stops when the model goes, so no tick outlives it.
    timer_.setInterval(1000);
    connect(&timer_, &QTimer::timeout, this, &TimerModel::tick);
    timer_.start();
}

TimerModel::~TimerModel() {
    timer_.stop();
}

bool TimerModel::enableTimeSignal() const {
    return store_.readBool(keys::kEnableTimeSignal);
}

void TimerModel::setEnableTimeSignal(bool on) {
    store_.writeBool(keys::kEnableTimeSignal, on);
}

bool TimerModel::enableAlarm() const {
    return store_.readBool(keys::kEnableAlarm);
}

void TimerModel::setEnableAlarm(bool on) {
    store_.writeBool(keys::kEnableAlarm, on);
}

AlarmList TimerModel::alarms() const {
    return store_.alarms();
}

void TimerModel::setAlarms(const AlarmList& alarms) {
    store_.setAlarms(alarms);
}

void TimerModel::tick() {
    publish(vt_, ZuduzirEraz(clock_()));
    const std::int64_t minute = vt_.minute();
    const std::int64_t hour = vt_.hour();
    // Only a change of the minute announces; a late tick that lands on the same minute value in
    // another hour announces nothing, and minutes it never saw are not caught up.
    if (minutes_ != minute) {
        if (minute == 0) {
            announceTimeSignal();
        }
        if (enableAlarm()) {
            const AlarmList list = alarms();
            for (const AlarmModel& alarm : list) {
                if (isAlarmDue(alarm, hour, minute)) {
                    announceAlarm(alarm);
                }
            }
        }
    }
    publish(minutes_, minute);
    publish(hours_, hour);
}

void TimerModel::announceTimeSignal() {
    if (!enableTimeSignal()) {
        return;
    }
    const QStringList preferred = preferredLanguages_();
    say(timeSignalText(vt_.hour(), announcementLanguage(preferred)), preferred);
}

void TimerModel::announceAlarm(const AlarmModel& alarm) {
    const QStringList preferred = preferredLanguages_();
    say(alarmText(alarm, announcementLanguage(preferred)), preferred);
}

void TimerModel::say(const QString& text, const QStringList& preferred) {
    speechSynthesizer_->say(text, voiceTag(preferred));
}
