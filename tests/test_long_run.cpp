#include "alarms/settings_store.h"
#include "model_test.h"

#include <gtest/gtest.h>

#include <array>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <fstream>
#include <malloc.h>
#include <random>
#include <unistd.h>
#include <vector>

#ifdef __SANITIZE_ADDRESS__
// From the sanitizer runtime; GCC ships no header declaring them.
extern "C" std::size_t __sanitizer_get_current_allocated_bytes();
extern "C" void __sanitizer_purge_allocator();
#endif

namespace {

namespace keys = settings_keys;

// Valdrian seconds since the epoch, worked out here from the rate alone.
std::int64_t valdrianSecond(double real) {
    return static_cast<std::int64_t>(std::floor(real * ZuduzirEraz::kFactor));
}

QString signalText(int hour) {
    return QString::number(hour) + QStringLiteral(" V.T. o'clock.");
}

// Bytes the allocator has handed out and not yet got back.
long heapInUse() {
#ifdef __SANITIZE_ADDRESS__
    return long(__sanitizer_get_current_allocated_bytes());
#else
    const struct mallinfo2 info = mallinfo2();
    return long(info.uordblks + info.hblkhd); // blocks in the arena and those mapped on their own
#endif
}

long residentBytes() {
    long size = 0;
    long resident = 0;
    std::ifstream("/proc/self/statm") >> size >> resident;
    return resident * sysconf(_SC_PAGESIZE);
}

using LongRunTest = ModelTest;

TEST_F(LongRunTest, ThirtyDaysOfJitteredTicksAnnounceEachAlarmDailyAndTheSignalHourlyInFlatMemory) {
    struct Due {
        int hour, minute;
        const char* text;
    };
    // The enabled alarms in list order, with what each says.
    const Due due[] = {{6, 30, "first"},
                       {0, 0, "midnight"},
                       {6, 30, "second"},
                       {13, 59, "13 hours 59 minutes."},
                       {7, 5, "7 hours 5 minutes."}};
    temp.store->writeBool(keys::kEnableTimeSignal, true);
    temp.store->setAlarms({alarmAt("06", "30", "first"), alarmAt("06", "30", "disabled", false),
                           alarmAt("00", "00", "midnight"), alarmAt("06", "30", "second"),
                           alarmAt("13", "59"), alarmAt("7", "5")});
    // What may be said, each at most once a day: the 24 hourly signals, then the alarms.
    QStringList sayable;
    for (int hour = 0; hour < 24; ++hour) {
        sayable.append(signalText(hour));
    }
    for (const Due& d : due) {
        sayable.append(QString::fromUtf8(d.text));
    }
    constexpr int kDays = 30;
    std::vector<std::array<int, 24 + std::size(due)>> said(kDays); // per day, per entry of `sayable`

    std::mt19937_64 random(20240607);
    std::uniform_real_distribution<double> interval(0.9, 1.1);
    TimerModel& m = start(realAt(23, 58, 30, kDay - 1));
    const double firstDayEnd = realAt(0, 0, 0, kDay + 1);
    const double end = realAt(0, 0, 0, kDay + kDays);
    long warmHeap = 0;
    long warmRss = 0;
    int ticks = 0;
    int failures = 0;
    std::int64_t lastMinute = -1; // the Valdrian minute (since the epoch) of the previous tick
    for (clock.advance(interval(random)); now() < end; clock.advance(interval(random))) {
        if (warmRss == 0 && now() >= firstDayEnd) {
            warmHeap = heapInUse();
            warmRss = residentBytes();
        }
        m.tick();
        ++ticks;
#ifdef __SANITIZE_ADDRESS__
        if (ticks % 4096 == 0) {
            __sanitizer_purge_allocator(); // else freed blocks pile up in its quarantine, up to 256 MB
        }
#endif
        // Expected: at the first tick in each Valdrian minute, the signal on the hour, then what is due.
        const std::int64_t second = valdrianSecond(now());
        const int hour = int(second % 86400 / 3600);
        const int minute = int(second / 60 % 60);
        QStringList expected;
        if (second / 60 != lastMinute) {
            if (minute == 0) {
                expected.append(signalText(hour));
            }
            for (const Due& d : due) {
                if (d.hour == hour && d.minute == minute) {
                    expected.append(QString::fromUtf8(d.text));
                }
            }
        }
        lastMinute = second / 60;
        const QStringList texts = takeSpoken();
        if (texts != expected && ++failures <= 5) {
            ADD_FAILURE() << "at " << hour << ":" << minute << " said " << texts.join(u'|').toStdString()
                          << ", expected " << expected.join(u'|').toStdString();
        }
        const std::int64_t day = second / 86400 - kDay;
        for (const QString& text : texts) {
            const qsizetype index = sayable.indexOf(text);
            if (day >= 0 && day < kDays && index >= 0) {
                ++said[std::size_t(day)][std::size_t(index)];
            }
        }
    }
    const long endHeap = heapInUse();
    const long endRss = residentBytes();

    // Every hour once and every enabled alarm once, on each of the 30 days.
    for (int day = 0; day < kDays; ++day) {
        for (qsizetype i = 0; i < sayable.size(); ++i) {
            EXPECT_EQ(said[std::size_t(day)][std::size_t(i)], 1)
                << "day " << day << ": " << sayable[i].toStdString();
        }
    }
    EXPECT_GT(ticks, 125000); // 35 real hours of ticks about a second apart
    EXPECT_GT(warmHeap, 0);
    EXPECT_LE(endHeap - warmHeap, 256L << 10);
#ifndef __SANITIZE_ADDRESS__
    // Under ASan freed blocks wait in a quarantine of up to 256 MB whose shadow stays resident, so the
    // resident size grows there without any growth of the heap in use.
    EXPECT_LE(endRss - warmRss, 2L << 20);
#endif
    std::printf("%d ticks; after day 1 / day %d: heap in use %ld / %ld kB, RSS %ld / %ld kB\n", ticks, kDays,
                warmHeap >> 10, endHeap >> 10, warmRss >> 10, endRss >> 10);
}

// Clock steps. Only a change of the minute's value announces, whatever the hour or day:
// - a forward step announces at the landing tick what is due at the minute it lands in (the hour's
//   signal on minute 00), and catches up nothing it jumped over; landing on the same minute value (a whole
//   number of Valdrian hours on) announces nothing, not even an alarm due right there;
// - a backward step within the same minute announces nothing;
// - a backward step into another minute value announces what is due there, and every minute seen again
//   on the way back up is announced again: after stepping back an hour of real time the signals and
//   alarms of those 20 Valdrian hours are all said a second time;
// - a backward step of a whole Valdrian hour lands on the same minute value, so that minute's alarm is
//   not said, but the rest of the hour is said again.
TEST_F(LongRunTest, ClockStepsAnnounceOnlyMinutesSeenWithTheirValueChanged) {
    QStringList hourly;
    for (int hour = 14; hour < 34; ++hour) {
        hourly.append(signalText(hour % 24));
    }
    struct Step {
        const char* what;
        int hour, minute, second; // Valdrian time of the last tick before the step
        double step;              // real seconds
        int after;                // ticks a second apart after the landing tick
        const char* landing;
        QStringList said; // from the landing tick on
    };
    const Step steps[] = {
        {"NTP +3 s", 10, 29, 30, +3, 1, "10:30", {"half past ten"}},
        {"NTP +6 s skips 10:30", 10, 29, 50, +6, 1, "10:31", {"ten thirty-one"}},
        {"suspend 10 min", 10, 29, 50, +600, 3, "13:55", {"five to two"}},
        {"suspend one Valdrian hour", 10, 30, 10, +175, 3, "11:30", {}},
        {"suspend 2 h", 10, 29, 50, +7200, 3, "03:38", {}},
        {"suspend 5 min onto an hour", 10, 17, 30, +300, 1, "12:00", {signalText(12)}},
        {"back 1 s, same minute", 10, 30, 40, -1, 1, "10:30", {}},
        {"back 2 s, previous minute", 10, 30, 25, -2, 1, "10:29", {"half past ten"}},
        {"back 14 s onto the hour", 10, 5, 0, -14, 1, "10:00", {signalText(10)}},
        {"back one Valdrian hour", 10, 30, 20, -175, 175, "09:30", {signalText(10), "half past ten"}},
        {"back 1 h", 10, 30, 20, -3600, 3600, "13:56",
         hourly + QStringList{"half past nine", signalText(10), "half past ten"}},
    };
    temp.store->writeBool(keys::kEnableTimeSignal, true);
    temp.store->setAlarms({alarmAt("09", "30", "half past nine"), alarmAt("10", "30", "half past ten"),
                           alarmAt("10", "31", "ten thirty-one"), alarmAt("11", "30", "half past eleven"),
                           alarmAt("13", "55", "five to two")});
    for (const Step& s : steps) {
        const double before = realAt(s.hour, s.minute, s.second);
        TimerModel& m = start(before - 10);
        for (; now() <= before; clock.advance(1)) {
            m.tick();
        }
        clock.set(before + s.step);
        spoken->clear();
        m.tick();
        EXPECT_EQ(m.vt().formattedTime(), QString::fromUtf8(s.landing)) << s.what;
        for (int i = 0; i < s.after; ++i) {
            clock.advance(1);
            m.tick();
        }
        EXPECT_EQ(takeSpoken(), s.said) << s.what;
    }
}

TEST_F(LongRunTest, StoreChangesFromAnotherProcessTakeEffectAtTheNextMinuteChange) {
    temp.store->setAlarms({alarmAt("05", "00", "five")});
    const std::unique_ptr<SettingsStore> other = temp.open();
    struct Change {
        int hour, minute, second; // Valdrian time, inside a minute already seen
        const keys::BoolKey* key; // the switch to set, or none to store `list`
        bool on;
        AlarmList list;
    };
    const AlarmList later = {alarmAt("06", "00", "too late"), alarmAt("06", "01", "next minute"),
                             alarmAt("06", "02", "muted"), alarmAt("06", "03", "back on")};
    const Change changes[] = {
        {5, 59, 40, &keys::kEnableTimeSignal, true, {}},
        // 06:00 is already seen: "too late" is never said.
        {6, 0, 30, nullptr, false, later},
        {6, 1, 30, &keys::kEnableAlarm, false, {}},
        {6, 2, 30, &keys::kEnableAlarm, true, {}},
        {6, 3, 30, &keys::kEnableTimeSignal, false, {}},
    };
    TimerModel& m = start(realAt(4, 58, 0));
    QStringList log;
    std::size_t next = 0;
    for (; now() < realAt(7, 0, 30); clock.advance(1)) {
        if (next < std::size(changes) &&
            now() >= realAt(changes[next].hour, changes[next].minute, changes[next].second)) {
            const Change& c = changes[next++];
            EXPECT_TRUE(c.key ? other->writeBool(*c.key, c.on) : other->setAlarms(c.list));
        }
        m.tick();
        for (const QString& text : takeSpoken()) {
            log.append(m.vt().formattedTime() + u' ' + text);
        }
    }
    EXPECT_EQ(next, std::size(changes));
    EXPECT_EQ(log,
              (QStringList{"05:00 five", "06:00 6 V.T. o'clock.", "06:01 next minute", "06:03 back on"}));
}

} // namespace
