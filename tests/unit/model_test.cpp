#include "app/preferred_languages.h"
#include "support.h"

#include <QRegularExpression>

#include <gtest/gtest.h>

#include <cmath>
#include <functional>
#include <vector>

using namespace settings_keys;
using namespace Qt::StringLiterals;

// One move of the clock: an edit by another process (if any), a jump of `by` real seconds and a
// tick, then `more` ticks a second apart.
struct Move {
    double by;
    int more = 0;
    std::function<void(SettingsStore&)> edit = [](SettingsStore&) { /* no edit */ };
};

// Scripts of moves, the first from the epoch to the first tick, with the time signal on: what is
// said, as "HH:MM text". Alarms whose texts read as another hour or minute, or as none, never are.
TEST(ClockModel, SaysWhatIsDueAtEachChangeOfTheMinute) {
    const QString ten = QStringLiteral("10:30 half past ten");
    // clang-format off
    const std::tuple<const char*, std::vector<Move>, QStringList> scenarios[] = {
        {"first tick in minute 00", {{realAt(7, 0)}}, {}},
        {"first tick in another minute", {{realAt(10, 30)}}, {ten}},
        {"signal, then due alarms in list order", {{realAt(6, 59), 3}},
         {"07:00 7 V.T. o'clock.", "07:00 first", "07:00 second", "07:00 third"}},
        {"step over a minute", {{realAt(10, 29, 50)}, {6, 1}}, {"10:31 ten thirty-one"}},
        {"suspend onto an hour", {{realAt(10, 17)}, {300, 1}}, {"12:00 12 V.T. o'clock."}},
        // Only the minute's value counts: an hour later is no change.
        {"suspend a Valdrian hour", {{realAt(10, 30, 10)}, {175, 3}}, {ten}},
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
             alarmAt(" 7", "00", "never"), alarmAt("７", "00", "never"), alarmAt("31", "00", "never"),
             alarmAt("007", "000", "third"), alarmAt("09", "30", "half past nine"),
             alarmAt("10", "30", "half past ten"), alarmAt("10", "31", "ten thirty-one"),
             alarmAt("11", "30", "half past eleven")});
        // Another process: QSettings shares one cache per path within a process, so go another way.
        ASSERT_TRUE(QFile::link(rig.settings.dir.path(), rig.settings.dir.filePath("other")));
        SettingsStore other(std::make_unique<QSettings>(
            rig.settings.dir.filePath("other/variredu-divar.conf"), QSettings::IniFormat));
        TimerModel& m = rig.start(0);
        QStringList said;
        for (const Move& move : moves) {
            move.edit(other);
            for (int i = 0; i <= move.more; ++i) {
                rig.now += i == 0 ? move.by : 1;
                m.tick();
                for (const QString& line : rig.takeSpoken()) {
                    said << m.vt().formattedTime() + u' ' + line.section(u'\t', 1);
                }
            }
        }
        EXPECT_EQ(said, expected) << name;
    }
}

// What comes next, as the tray shows it: "title HH:MM +others" for the alarm, "HH:MM" for the time
// signal, each at the first real start of that minute after the tick. An alarm in the
// current minute has been said and comes round last; one off, or whose texts read as no time of
// day, never comes; alarms off or the time signal off leave out their part.
TEST(ClockModel, KnowsWhatComesNext) {
    struct Row {
        const char* name;
        AlarmList alarms;
        bool alarmsOn, timeSignalOn;
        double at; // the last tick
        QString alarm, timeSignal;
    };
    const AlarmList fishing{alarmAt("04", "00", "fishing"), alarmAt("4", "0"), alarmAt("23", "58", "now")};
    // clang-format off
    const Row rows[] = {
        {"across midnight, one more at the minute", fishing, true, true, realAt(23, 58), "fishing 04:00 +1", "00:00"},
        {"the current minute comes round last", {alarmAt("23", "58", "now")}, true, false, realAt(23, 58), "now 23:58", ""},
        {"off, or no time of day, never", {alarmAt("23", "59", "off", false), alarmAt("99", "00"), alarmAt("0", "60"),
            alarmAt("-1", "00"), alarmAt("00", "x"), alarmAt("+0", "01", "sign")}, true, false, realAt(23, 58), "sign 00:01", ""},
        {"nothing can come", {alarmAt("24", "00"), alarmAt("1", "0", "off", false)}, true, true, realAt(5, 0, 1), "", "06:00"},
        {"alarms off", fishing, false, true, realAt(12, 59, 59), "", "13:00"},
        {"an hour's first minute", {alarmAt("13", "00", "x")}, true, true, realAt(13, 0, 0), "x 13:00", "14:00"},
    };
    // clang-format on
    for (const Row& row : rows) {
        ModelRig rig;
        rig.settings.store->writeBool(kEnableAlarm, row.alarmsOn);
        rig.settings.store->writeBool(kEnableTimeSignal, row.timeSignalOn);
        rig.settings.store->setAlarms(row.alarms);
        TimerModel& m = rig.start(row.at);
        m.tick(); // a change of the minute, but in minute 00
        const Upcoming& next = m.upcoming();
        const auto startOf = [&row](const ValdrianMinute& at) {
            const double today = realAt(at.hour, at.minute, 0);
            return today > row.at ? today : realAt(at.hour, at.minute, 0, 400001);
        };
        QString alarm, timeSignal;
        if (next.alarm) {
            const auto& [a, at, atMs, others] = *next.alarm;
            alarm = (a.title + u' ' + ZuduzirEraz(startOf(at)).formattedTime() +
                     (others ? u" +%1"_s.arg(others) : ""))
                        .trimmed();
            EXPECT_NEAR(double(atMs) / 1000, startOf(at), 0.001) << row.name;
        }
        if (next.timeSignal) {
            const ValdrianMinute at{next.timeSignal->hour, 0};
            timeSignal = ZuduzirEraz(startOf(at)).formattedTime();
            EXPECT_NEAR(double(next.timeSignal->atMs) / 1000, startOf(at), 0.001) << row.name;
        }
        EXPECT_EQ((std::tuple{alarm, timeSignal, next.fromMs}),
                  (std::tuple{row.alarm, row.timeSignal, std::int64_t(std::ceil(row.at * 1000))}))
            << row.name;
    }
}

// The voice asked for is the first preferred language ("-": none); Japanese words only when that is
// exactly ja-JP, which a bare LANGUAGE entry of the locale's language becomes (the locale is the first
// of LC_ALL, LC_MESSAGES and LANG set). Titles are said exactly (one line each: line breaks as \n); no
// number is said as 0.
TEST(Announcements, FollowTheFirstPreferredLanguage) {
    const QStringList ja{"13 ヴァルドリア時間", "7 時 5 分", "0 時 0 分", "a\\nb\\n ", " "};
    const QStringList en{"13 V.T. o'clock.", "7 hours 5 minutes.", "0 hours 0 minutes.", "a\\nb\\n ", " "};
    // clang-format off
    const std::tuple<LanguageEnvironment, QStringList, QString, QStringList> rows[] = {
        // LANGUAGE, LC_ALL, LC_MESSAGES, LANG; the list Qt makes of them
        {{}, {"ja-JP", "en-US"}, "ja-JP", ja}, {{}, {"ja-jp"}, "ja-jp", en}, {{}, {}, "-", en},
        {{"", "", "", "ja_JP.UTF-8"}, {"ja", "ja-JP"}, "ja", en}, {{"ja", "", "", "C"}, {"ja"}, "ja", en},
        {{"ja:en", "", "", "ja_JP.UTF-8"}, {"ja", "ja-Jpan-JP", "ja-JP", "en"}, "ja-JP", ja},
        {{"ja", "en_US.UTF-8", "", "ja_JP.UTF-8"}, {"ja", "ja-JP"}, "ja", en},
        {{"ja", "", "ja_JP.UTF-8", "C"}, {"ja", "ja-JP"}, "ja-JP", ja}};
    // clang-format on
    for (const auto& [environment, qt, tag, words] : rows) {
        ModelRig rig;
        rig.languages = preferredLanguages(environment, qt);
        rig.settings.store->writeBool(kEnableTimeSignal, true);
        rig.start(realAt(13, 0)).announceTimeSignal();
        for (const AlarmModel& alarm : {alarmAt("07", "05"), alarmAt("x7", ""),
                                        alarmAt("07", "05", "a\r\nb\r "), alarmAt("07", "05", " ")}) {
            rig.model->announceAlarm(alarm);
        }
        SCOPED_TRACE(qt.join(u',').toStdString());
        EXPECT_EQ(rig.takeSpoken(),
                  QStringList(words).replaceInStrings(QRegularExpression(u"^"_s), tag + u'\t'));
    }
}
