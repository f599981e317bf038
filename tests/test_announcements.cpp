#include "clock/announcements.h"
#include "model_test.h"

#include <gtest/gtest.h>

namespace {

// What each announcement says, and with which voice tag, under a list of preferred languages.
TEST(Announcements, TextsAndVoices) {
    struct Words {
        QString signal13, signal0, alarm0705, alarm0000, alarmGarbage;
    };
    const Words japanese{QStringLiteral("13 ヴァルドリア時間"), QStringLiteral("0 ヴァルドリア時間"),
                         QStringLiteral("7 時 5 分"), QStringLiteral("0 時 0 分"),
                         QStringLiteral("0 時 -3 分")};
    const Words english{QStringLiteral("13 V.T. o'clock."), QStringLiteral("0 V.T. o'clock."),
                        QStringLiteral("7 hours 5 minutes."), QStringLiteral("0 hours 0 minutes."),
                        QStringLiteral("0 hours -3 minutes.")};
    struct Case {
        QStringList languages;
        std::optional<QString> tag;
        const Words& words;
    };
    const QString ja = QStringLiteral("ja-JP");
    const QString en = QStringLiteral("en-US");
    const Case cases[] = {
        {{ja, en}, ja, japanese},
        {{en}, en, english},
        // "ja" without a region: English words, Japanese voice.
        {{QStringLiteral("ja"), ja}, QStringLiteral("ja"), english},
        {{QStringLiteral("ja-jp")}, QStringLiteral("ja-jp"), english},
        {{}, std::nullopt, english},
    };
    for (const Case& c : cases) {
        const AnnouncementLanguage language = announcementLanguage(c.languages);
        EXPECT_EQ(voiceTag(c.languages), c.tag);
        EXPECT_EQ(timeSignalText(13, language), c.words.signal13);
        EXPECT_EQ(timeSignalText(0, language), c.words.signal0);
        EXPECT_EQ(alarmText(alarmAt("07", "05"), language), c.words.alarm0705);
        EXPECT_EQ(alarmText(alarmAt("00", "00"), language), c.words.alarm0000);
        EXPECT_EQ(alarmText(alarmAt("x7", "-03"), language), c.words.alarmGarbage);
        // A title is spoken exactly, whatever the language.
        for (const char* title : {"釣りの時間", " ", "Raid!"}) {
            EXPECT_EQ(alarmText(alarmAt("07", "05", title), language), QString::fromUtf8(title));
        }
    }
}

using AnnouncingModel = ModelTest;

TEST_F(AnnouncingModel, HandsTextAndTagToItsSpeechOutput) {
    languages = QStringList{QStringLiteral("ja-JP")};
    TimerModel& m = start(realAt(13, 0, 30, 0));

    m.announceTimeSignal(); // off by default
    EXPECT_TRUE(spoken->isEmpty());
    m.setEnableTimeSignal(true);
    m.announceTimeSignal();
    // announceAlarm speaks whatever it is given, even a disabled alarm with the alarms switched off.
    m.setEnableAlarm(false);
    m.announceAlarm(alarmAt("01", "02", "", false));
    languages = QStringList{QStringLiteral("de-DE")};
    m.announceAlarm(alarmAt("01", "02", "釣り"));

    const QString ja = QStringLiteral("ja-JP");
    const QList<Utterance> expected{{QStringLiteral("13 ヴァルドリア時間"), ja},
                                    {QStringLiteral("1 時 2 分"), ja},
                                    {QStringLiteral("釣り"), QStringLiteral("de-DE")}};
    EXPECT_EQ(*spoken, expected);
}

} // namespace
