#include "clock/timer_model.h"

#include "alarms/base10.h"
#include "alarms/settings_store.h"
#include "clock/announcements.h"

#include <cmath>

namespace keys = settings_keys;

namespace {

// Rounded up: the millisecond that holds the instant may still read the minute before, which would
// then count as still to come.
std::int64_t toMilliseconds(double seconds) {
    return static_cast<std::int64_t>(std::ceil(seconds * 1000.0));
}

} // namespace

bool isAlarmDue(const AlarmModel& alarm, std::int64_t hour, std::int64_t minute) {
    return alarm.enabled && parseBase10(alarm.hour) == hour && parseBase10(alarm.minutes) == minute;
}

TimerModel::TimerModel(Clock clock, std::unique_ptr<SpeechOutput> speech,
                       PreferredLanguages preferredLanguages, SettingsStore& store, QObject* parent)
    : QObject(parent)
    , store_(store)
    , clock_(std::move(clock))
    , preferredLanguages_(std::move(preferredLanguages))
    , now_(clock_())
    , vt_(now_)
    , speechSynthesizer_(std::move(speech)) {
    // The timer is a member: it stops when the model goes, so no tick outlives it.
    timer_.setInterval(1000);
    connect(&timer_, &QTimer::timeout, this, &TimerModel::tick);
    timer_.start();
    // After the timer started: a long list read here must not push the first tick back.
    updateUpcoming(alarmsIfOn());
}

TimerModel::~TimerModel() {
    timer_.stop();
}

bool TimerModel::enableTimeSignal() const {
    return store_.readBool(keys::kEnableTimeSignal);
}

void TimerModel::setEnableTimeSignal(bool on) {
    store_.writeBool(keys::kEnableTimeSignal, on);
    updateUpcoming(alarmsIfOn());
    emit changed();
}

bool TimerModel::enableAlarm() const {
    return store_.readBool(keys::kEnableAlarm);
}

void TimerModel::setEnableAlarm(bool on) {
    store_.writeBool(keys::kEnableAlarm, on);
    updateUpcoming(alarmsIfOn());
    emit changed();
}

AlarmList TimerModel::alarms() const {
    return store_.alarms();
}

void TimerModel::setAlarms(const AlarmList& alarms) {
    store_.setAlarms(alarms);
    updateUpcoming(alarmsIfOn());
    emit changed();
}

std::optional<AlarmList> TimerModel::alarmsIfOn() const {
    return enableAlarm() ? std::optional(alarms()) : std::nullopt;
}

void TimerModel::updateUpcoming(const std::optional<AlarmList>& alarms) {
    const std::int64_t nowMs = toMilliseconds(now_);
    Upcoming next{nowMs, alarms ? nextAlarm(*alarms, nowMs) : std::nullopt, std::nullopt};
    if (enableTimeSignal()) {
        next.timeSignal = nextTimeSignal(nowMs);
    }
    if (next != upcoming_) {
        publish(upcoming_, std::move(next));
    }
}

void TimerModel::tick() {
    now_ = clock_();
    publish(vt_, ZuduzirEraz(now_));
    const std::int64_t minute = vt_.minute();
    const std::int64_t hour = vt_.hour();
    // Only a change of the minute announces; a late tick that lands on the same minute value in
    // another hour announces nothing, and minutes it never saw are not caught up.
    if (minutes_ != minute) {
        if (minute == 0) {
            announceTimeSignal();
        }
        const std::optional<AlarmList> list = alarmsIfOn();
        for (const AlarmModel& alarm : list.value_or(AlarmList())) {
            if (isAlarmDue(alarm, hour, minute)) {
                announceAlarm(alarm);
            }
        }
        updateUpcoming(list);
    }
    publish(minutes_, minute);
    publish(hours_, hour);
    emit changed();
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
