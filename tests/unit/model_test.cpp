#include "support.h"

#include <QFile>

#include <gtest/gtest.h>

#include <functional>
#include <random>
#include <vector>

using namespace settings_keys;

// One move of the clock: an edit by another process (if any), a jump of `by` real seconds and a
// tick, then `more` ticks a second apart.
struct Move {
    double by;
    int more = 0;
    std::function<void(SettingsStore&)> edit = {};
};

// Scripts of moves, the first from the epoch to the first tick, with the time signal on: what is
// said, as "HH:MM text".
TEST(ClockModel, SaysWhatIsDueAtEachChangeOfTheMinute) {
    const QString ten = QStringLiteral("10:30 half past ten");
    // clang-format off
    const std::tuple<const char*, std::vector<Move>, QStringList> scenarios[] = {
        {"first tick in minute 00", {{realAt(7, 0)}}, {}},
        {"first tick in another minute", {{realAt(10, 30)}}, {ten}},
        {"signal, then due alarms in list order", {{realAt(6, 59), 3}},
         {"07:00 7 V.T. o'clock.", "07:00 first", "07:00 second", "07:00 third"}},
        {"step over a minute", {{realAt(10, 29, 50)}, {6, 1}}, {"10:31 ten thirty-one"}},
        {"suspend 10 min", {{realAt(10, 29, 50)}, {600, 3}}, {"13:55 five to two"}},
        {"suspend 2 h", {{realAt(10, 29, 50)}, {7200, 3}}, {}},
        {"suspend onto an hour", {{realAt(10, 17)}, {300, 1}}, {"12:00 12 V.T. o'clock."}},
        // Only the minute's value counts: an hour later is no change.
        {"suspend a Valdrian hour", {{realAt(10, 30, 10)}, {175, 3}}, {ten}},
        {"back within the minute", {{realAt(10, 30, 40)}, {-1, 1}}, {ten}},
        {"back a minute", {{realAt(10, 30, 25)}, {-2, 1}}, {ten, ten}},
        {"back a Valdrian hour", {{realAt(10, 30, 20)}, {-175, 175}}, {ten, "10:00 10 V.T. o'clock.", ten}},
        {"edits by another process count from the next minute change", {{realAt(6, 58, 10)},
            {1, 2, [](SettingsStore& s) { s.writeBool(kEnableAlarm, false); }},
            {1, 2},
            {1, 2, [](SettingsStore& s) { s.writeBool(kEnableAlarm, true);
                s.setAlarms({alarmAt("7", "0", "too late"), alarmAt("7", "1", "next")}); }},
            {1, 175, [](SettingsStore& s) { s.writeBool(kEnableTimeSignal, false); }}},
         {"07:00 7 V.T. o'clock.", "07:01 next"}}};
    // clang-format on
    for (const auto& [name, moves, expected] : scenarios) {
        ModelRig rig;
        rig.settings.store->writeBool(kEnableTimeSignal, true);
        rig.settings.store->setAlarms(
            {alarmAt("07", "00", "first"), alarmAt("7", "0", "off", false), alarmAt("+7", "00", "second"),
             alarmAt("07", "00", "third"), alarmAt("09", "30", "half past nine"),
             alarmAt("10", "30", "half past ten"), alarmAt("10", "31", "ten thirty-one"),
             alarmAt("11", "30", "half past eleven"), alarmAt("13", "55", "five to two")});
        // Another process: QSettings shares one cache per path within a process, so go another way.
        ASSERT_TRUE(QFile::link(rig.settings.dir.path(), rig.settings.dir.filePath("other")));
        SettingsStore other(std::make_unique<QSettings>(
            rig.settings.dir.filePath("other/variredu-divar.conf"), QSettings::IniFormat));
        TimerModel& m = rig.start(0);
        QStringList said;
        for (const Move& move : moves) {
            if (move.edit) {
                move.edit(other);
            }
            for (int i = 0; i <= move.more; ++i) {
                rig.now += i == 0 ? move.by : 1;
                m.tick();
                for (const QString& text : rig.takeSpoken()) {
                    said << m.vt().formattedTime() + u' ' + text;
                }
            }
        }
        EXPECT_EQ(said, expected) << name;
    }
}

// Three Valdrian days of ticks about a second apart: each enabled alarm due once a day, and the
// time signal once an hour; nothing else, though texts that read as no hour or minute are there.
TEST(ClockModel, JitteredTicksSayEachAlarmOnceADayAndTheSignalOnceAnHour) {
    ModelRig rig;
    rig.settings.store->writeBool(kEnableTimeSignal, true);
    rig.settings.store->setAlarms(
        {alarmAt("06", "30", "first"), alarmAt("06", "30", "off", false), alarmAt("00", "00", "midnight"),
         alarmAt("06", "30", "second"), alarmAt("13", "59"), alarmAt("7", "5"), alarmAt("+7", "+05", "plus"),
         alarmAt("007", "0005", "zeros"), alarmAt(" 7", "05", "never"), alarmAt("07", "5 ", "never"),
         alarmAt("", "30", "never"), alarmAt("７", "05", "never"), alarmAt("24", "00", "never"),
         alarmAt("-7", "05", "never"), alarmAt("31", "05", "never"), alarmAt("07", "65", "never")});
    QStringList daily{"first", "midnight", "second", "13 hours 59 minutes.", "7 hours 5 minutes.",
                      "plus",  "zeros"};
    for (int hour = 0; hour < 24; ++hour) {
        daily << QString::number(hour) + QStringLiteral(" V.T. o'clock.");
    }
    constexpr int kDays = 3;
    QStringList said;
    std::mt19937 random(20240607);
    std::uniform_real_distribution<double> interval(0.5, 1.5);
    TimerModel& m = rig.start(realAt(23, 58, 30, 399999));
    for (const double end = realAt(0, 0, 0, 400000 + kDays); rig.now < end; rig.now += interval(random)) {
        m.tick();
        said << rig.takeSpoken();
    }
    for (const QString& text : std::as_const(daily)) {
        EXPECT_EQ(said.count(text), kDays) << text.toStdString();
    }
    EXPECT_EQ(said.size(), kDays * daily.size());
}

// Japanese words only for a first preferred language of exactly ja-JP; the voice asked for is the
// first preferred language, none for none; a title is said exactly; no number is said as 0.
TEST(Announcements, FollowTheFirstPreferredLanguage) {
    const QStringList ja{"13 ヴァルドリア時間", "7 時 5 分", "0 時 0 分", "釣り ", " "};
    const QStringList en{"13 V.T. o'clock.", "7 hours 5 minutes.", "0 hours 0 minutes.", "釣り ", " "};
    // clang-format off
    const std::tuple<QStringList, std::optional<QString>, QStringList> rows[] = {
        {{"ja-JP", "en-US"}, "ja-JP", ja}, {{"en-US"}, "en-US", en}, {{"ja", "ja-JP"}, "ja", en},
        {{"en-JP"}, "en-JP", en}, {{"ja-jp"}, "ja-jp", en}, {{}, std::nullopt, en}};
    // clang-format on
    for (const auto& [languages, tag, words] : rows) {
        ModelRig rig;
        rig.languages = languages;
        rig.settings.store->writeBool(kEnableTimeSignal, true);
        rig.start(realAt(13, 0)).announceTimeSignal();
        for (const AlarmModel& alarm : {alarmAt("07", "05"), alarmAt("x7", ""), alarmAt("07", "05", "釣り "),
                                        alarmAt("07", "05", " ")}) {
            rig.model->announceAlarm(alarm);
        }
        EXPECT_TRUE(!rig.spoken.isEmpty() && rig.spoken.first().tag == tag && rig.spoken.last().tag == tag);
        EXPECT_EQ(rig.takeSpoken(), words) << languages.join(u',').toStdString();
    }
}
