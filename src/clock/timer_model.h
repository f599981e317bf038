#pragma once

#include "alarms/alarm_model.h"
#include "clock/speech_output.h"
#include "clock/upcoming.h"
#include "clock/valdrian_time.h"

#include <QObject>
#include <QStringList>
#include <QTimer>

#include <cstdint>
#include <functional>
#include <memory>

class SettingsStore;

// The clock: ticks once a second, publishes the current Valdrian time, and decides when the time
// signal and the alarms are due. objectWillChange is sent before every assignment of hours, minutes
// and vt, also when the value stays the same, so a slot connected to it runs before the new value is
// stored; displays connect to changed, sent once a tick or a setter has stored everything.
class TimerModel : public QObject {
    Q_OBJECT

public:
    using Clock = std::function<double()>;                   // real seconds since the epoch
    using PreferredLanguages = std::function<QStringList()>; // most preferred first

    // Starts ticking: the first tick comes one second after construction.
    TimerModel(Clock clock, std::unique_ptr<SpeechOutput> speech, PreferredLanguages preferredLanguages,
               SettingsStore& store, QObject* parent = nullptr);
    ~TimerModel() override;

    [[nodiscard]] std::int64_t hours() const { return hours_; }
    [[nodiscard]] std::int64_t minutes() const { return minutes_; }
    [[nodiscard]] const ZuduzirEraz& vt() const { return vt_; }
    // What will be said next, as of the last change of the minute or of the settings made here.
    [[nodiscard]] const Upcoming& upcoming() const { return upcoming_; }

    // Read from and written to the store at each use, never cached here.
    [[nodiscard]] bool enableTimeSignal() const;
    void setEnableTimeSignal(bool on);
    [[nodiscard]] bool enableAlarm() const;
    void setEnableAlarm(bool on);
    [[nodiscard]] AlarmList alarms() const;
    void setAlarms(const AlarmList& alarms);

    [[nodiscard]] SpeechOutput& speechSynthesizer() { return *speechSynthesizer_; }
    [[nodiscard]] const QTimer& timer() const { return timer_; }

    // Speaks the hour of vt when the time signal is on.
    void announceTimeSignal();
    // Speaks the alarm unconditionally.
    void announceAlarm(const AlarmModel& alarm);

public slots:
    void tick();

signals:
    void objectWillChange();
    // Once per tick and per setter, after the new values are stored. Sent from within: a posted
    // event instead would cost the tick a second pass of the event loop every second.
    void changed();

private:
    template <typename T> void publish(T& member, T value) {
        emit objectWillChange();
        member = std::move(value);
    }
    void say(const QString& text, const QStringList& preferred);
    // alarms: the list as just read when alarms are on, else none.
    void updateUpcoming(const std::optional<AlarmList>& alarms);
    [[nodiscard]] std::optional<AlarmList> alarmsIfOn() const;

    std::int64_t hours_ = 0;
    std::int64_t minutes_ = 0;
    SettingsStore& store_;
    QTimer timer_;
    Clock clock_;
    PreferredLanguages preferredLanguages_;
    double now_; // real seconds of the last reading
    ZuduzirEraz vt_;
    Upcoming upcoming_;
    std::unique_ptr<SpeechOutput> speechSynthesizer_;
};

// An alarm is due at hour:minute when it is on and its texts read as those numbers.
[[nodiscard]] bool isAlarmDue(const AlarmModel& alarm, std::int64_t hour, std::int64_t minute);
