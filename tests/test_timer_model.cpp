#include "alarms/settings_store.h"
#include "clock/change_notifier.h"
#include "model_test.h"

#include <QCoreApplication>
#include <QPointer>
#include <QSignalSpy>

#include <gtest/gtest.h>

namespace {

namespace keys = settings_keys;

using TimerModelTest = ModelTest;

TEST_F(TimerModelTest, ConstructionShowsTheTimeAndTicksEverySecond) {
    const TimerModel& m = start(realAt(13, 45));
    EXPECT_EQ(m.vt().formattedTime(), u"13:45");
    EXPECT_EQ(m.hours(), 0);
    EXPECT_EQ(m.minutes(), 0);
    EXPECT_TRUE(m.timer().isActive());
    EXPECT_EQ(m.timer().interval(), 1000);
    EXPECT_FALSE(m.timer().isSingleShot());
    EXPECT_TRUE(spoken->isEmpty());
    // Nothing was written to the store by starting.
    EXPECT_TRUE(temp.raw()->allKeys().isEmpty());
}

TEST_F(TimerModelTest, FirstTickInMinuteZeroAnnouncesNothing) {
    temp.store->writeBool(keys::kEnableTimeSignal, true);
    temp.store->setAlarms({alarmAt("13", "00")});
    TimerModel& m = start(realAt(13, 0));
    m.tick();
    EXPECT_TRUE(spoken->isEmpty());
    EXPECT_EQ(m.hours(), 13);
    EXPECT_EQ(m.minutes(), 0);
}

TEST_F(TimerModelTest, FirstTickInAnotherMinuteAnnouncesWhatIsDue) {
    temp.store->setAlarms({alarmAt("13", "45", "raid")});
    TimerModel& m = start(realAt(13, 45));
    m.tick();
    EXPECT_EQ(texts(), QStringList{QStringLiteral("raid")});
}

TEST_F(TimerModelTest, TimeSignalThenDueAlarmsInListOrder) {
    temp.store->writeBool(keys::kEnableTimeSignal, true);
    temp.store->setAlarms({alarmAt("07", "00", "first"), alarmAt("7", "0", "off", false),
                           alarmAt("08", "00", "other"), alarmAt("+7", "00", "second"),
                           alarmAt("07", "00", "third")});
    TimerModel& m = start(realAt(6, 59));
    m.tick();
    clock.set(realAt(7, 0));
    m.tick();
    EXPECT_EQ(texts(), (QStringList{QStringLiteral("7 V.T. o'clock."), QStringLiteral("first"),
                                    QStringLiteral("second"), QStringLiteral("third")}));
}

TEST_F(TimerModelTest, AnnouncesOncePerMinuteChange) {
    temp.store->setAlarms({alarmAt("10", "20", "once")});
    TimerModel& m = start(realAt(10, 19));
    // Ticks one second apart: about three per Valdrian minute.
    const double begin = realAt(10, 19) - 1.5;
    for (int s = 0; s < 12; ++s) {
        clock.set(begin + s);
        m.tick();
    }
    EXPECT_EQ(texts(), QStringList{QStringLiteral("once")});
}

TEST_F(TimerModelTest, StalledTimerLandingOnTheSameMinuteValueAnnouncesNothing) {
    temp.store->writeBool(keys::kEnableTimeSignal, true);
    temp.store->setAlarms({alarmAt("11", "30", "missed")});
    TimerModel& m = start(realAt(10, 30));
    m.tick();
    spoken->clear();
    clock.set(realAt(11, 30)); // an hour later, minute 30 again
    m.tick();
    EXPECT_TRUE(spoken->isEmpty());
    EXPECT_EQ(m.hours(), 11);
}

TEST_F(TimerModelTest, SwitchesAndListAreReadAtEachMinuteChange) {
    TimerModel& m = start(realAt(3, 58));
    m.tick();
    // Changed by another process, between two ticks.
    {
        const auto other = temp.open();
        other->writeBool(keys::kEnableTimeSignal, true);
        other->setAlarms({alarmAt("04", "00", "new alarm")});
    }
    clock.set(realAt(4, 0));
    m.tick();
    EXPECT_EQ(texts(), (QStringList{QStringLiteral("4 V.T. o'clock."), QStringLiteral("new alarm")}));

    spoken->clear();
    m.setEnableAlarm(false);
    temp.store->setAlarms({alarmAt("04", "01", "silenced")});
    clock.set(realAt(4, 1));
    m.tick();
    EXPECT_TRUE(spoken->isEmpty());

    m.setEnableTimeSignal(false);
    clock.set(realAt(5, 0));
    m.tick();
    EXPECT_TRUE(spoken->isEmpty());
    EXPECT_FALSE(m.enableTimeSignal());
    EXPECT_FALSE(m.enableAlarm());
}

TEST_F(TimerModelTest, DueRule) {
    struct Case {
        const char* hour;
        const char* minute;
        bool enabled;
        bool due; // at 07:05
    };
    const Case cases[] = {
        {"07", "05", true, true},   {"7", "5", true, true},    {"+7", "+05", true, true},
        {"07", "05", false, false}, {" 7", "05", true, false}, {"07", "5 ", true, false},
        {"", "05", true, false},    {"31", "05", true, false}, {"07", "65", true, false},
        {"-7", "05", true, false},  {"７", "05", true, false}, {"007", "0005", true, true},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(isAlarmDue(alarmAt(c.hour, c.minute, "", c.enabled), 7, 5), c.due)
            << c.hour << ":" << c.minute;
    }
    EXPECT_FALSE(isAlarmDue(alarmAt("24", "00"), 0, 0));
    EXPECT_FALSE(isAlarmDue(alarmAt("00", "60"), 1, 0));
}

TEST_F(TimerModelTest, EveryTickSendsThreeAnnouncementsBeforeAssigning) {
    TimerModel& m = start(realAt(9, 10));
    QSignalSpy spy(&m, &TimerModel::objectWillChange);
    m.tick();
    EXPECT_EQ(spy.count(), 3);
    m.tick(); // nothing changed: still three
    EXPECT_EQ(spy.count(), 6);

    // A direct observer runs before the value is stored.
    QStringList seenDirectly;
    QObject::connect(&m, &TimerModel::objectWillChange, &m,
                     [&] { seenDirectly.append(m.vt().formattedTime()); });
    clock.set(realAt(9, 11));
    m.tick();
    EXPECT_EQ(seenDirectly.first(), u"09:10");
}

TEST_F(TimerModelTest, DisplaysSeeTheNewValuesOncePerTick) {
    TimerModel& m = start(realAt(9, 10));
    ChangeNotifier notifier(m);
    QStringList seen;
    QObject::connect(&notifier, &ChangeNotifier::changed, &notifier,
                     [&] { seen.append(m.vt().formattedTime() + u' ' + QString::number(m.minutes())); });
    m.tick();
    clock.set(realAt(9, 11));
    EXPECT_TRUE(seen.isEmpty()); // nothing before the event loop runs
    QCoreApplication::processEvents();
    m.tick();
    QCoreApplication::processEvents();
    EXPECT_EQ(seen, (QStringList{QStringLiteral("09:10 10"), QStringLiteral("09:11 11")}));
}

TEST_F(TimerModelTest, TimerAndSpeechGoWithTheModel) {
    struct Tracked final : SpeechOutput {
        explicit Tracked(bool& gone)
            : gone(gone) {}
        ~Tracked() override { gone = true; }
        void say(const QString&, const std::optional<QString>&) override {}
        bool& gone;
    };
    bool speechGone = false;
    auto owned = std::make_unique<TimerModel>(
        clock.function(), std::make_unique<Tracked>(speechGone), [] { return QStringList(); }, *temp.store);
    const QPointer<const QTimer> timer(&owned->timer());
    owned.reset();
    EXPECT_TRUE(timer.isNull()); // a destroyed timer can't fire a tick
    EXPECT_TRUE(speechGone);
}

} // namespace
