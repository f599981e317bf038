#include "clock/announcements.h"
#include "clock/timer_model.h"
#include "fake_clock.h"
#include "recording_speech.h"
#include "temp_settings.h"

#include <gtest/gtest.h>

namespace {

namespace keys = settings_keys;

AlarmModel alarm(const QString& hour, const QString& minutes, const QString& title) {
    return AlarmModel{QUuid::createUuid(), hour, minutes, title, true};
}

// What each announcement says, and with which voice tag, under a list of preferred languages.
TEST(Announcements, TextsAndVoices) {
    struct Case {
        QStringList languages;
        std::optional<QString> tag;
        QString signal13, signal0, alarm0705, alarm0000, alarmGarbage;
    };
    const QString ja = QStringLiteral("ja-JP");
    const Case cases[] = {
        {{ja, QStringLiteral("en-US")},
         ja,
         QStringLiteral("13 ヴァルドリア時間"),
         QStringLiteral("0 ヴァルドリア時間"),
         QStringLiteral("7 時 5 分"),
         QStringLiteral("0 時 0 分"),
         QStringLiteral("0 時 -3 分")},
        {{QStringLiteral("en-US")},
         QStringLiteral("en-US"),
         QStringLiteral("13 V.T. o'clock."),
         QStringLiteral("0 V.T. o'clock."),
         QStringLiteral("7 hours 5 minutes."),
         QStringLiteral("0 hours 0 minutes."),
         QStringLiteral("0 hours -3 minutes.")},
        // "ja" without a region: English words, Japanese voice.
        {{QStringLiteral("ja"), ja},
         QStringLiteral("ja"),
         QStringLiteral("13 V.T. o'clock."),
         QStringLiteral("0 V.T. o'clock."),
         QStringLiteral("7 hours 5 minutes."),
         QStringLiteral("0 hours 0 minutes."),
         QStringLiteral("0 hours -3 minutes.")},
        {{QStringLiteral("ja-jp")},
         QStringLiteral("ja-jp"),
         QStringLiteral("13 V.T. o'clock."),
         QStringLiteral("0 V.T. o'clock."),
         QStringLiteral("7 hours 5 minutes."),
         QStringLiteral("0 hours 0 minutes."),
         QStringLiteral("0 hours -3 minutes.")},
        {{},
         std::nullopt,
         QStringLiteral("13 V.T. o'clock."),
         QStringLiteral("0 V.T. o'clock."),
         QStringLiteral("7 hours 5 minutes."),
         QStringLiteral("0 hours 0 minutes."),
         QStringLiteral("0 hours -3 minutes.")},
    };
    for (const Case& c : cases) {
        const AnnouncementLanguage language = announcementLanguage(c.languages);
        EXPECT_EQ(voiceTag(c.languages), c.tag);
        EXPECT_EQ(timeSignalText(13, language), c.signal13);
        EXPECT_EQ(timeSignalText(0, language), c.signal0);
        EXPECT_EQ(alarmText(alarm(QStringLiteral("07"), QStringLiteral("05"), {}), language), c.alarm0705);
        EXPECT_EQ(alarmText(alarm(QStringLiteral("00"), QStringLiteral("00"), {}), language), c.alarm0000);
        EXPECT_EQ(alarmText(alarm(QStringLiteral("x7"), QStringLiteral("-03"), {}), language),
                  c.alarmGarbage);
        // A title is spoken exactly, whatever the language.
        for (const QString& title :
             {QStringLiteral("釣りの時間"), QStringLiteral(" "), QStringLiteral("Raid!")}) {
            EXPECT_EQ(alarmText(alarm(QStringLiteral("07"), QStringLiteral("05"), title), language), title);
        }
    }
}

TEST(Announcements, ModelHandsTextAndTagToItsSpeechOutput) {
    TempSettings temp;
    FakeClock clock;
    clock.set((13 * 3600 + 30) / ZuduzirEraz::kFactor); // Valdrian 13:00:30
    auto spoken = std::make_shared<QList<Utterance>>();
    QStringList languages{QStringLiteral("ja-JP")};
    TimerModel model(
        clock.function(), std::make_unique<RecordingSpeech>(spoken), [&] { return languages; }, *temp.store);

    model.announceTimeSignal(); // off by default
    EXPECT_TRUE(spoken->isEmpty());
    model.setEnableTimeSignal(true);
    model.announceTimeSignal();
    // announceAlarm speaks whatever it is given, even a disabled alarm with the alarms switched off.
    model.setEnableAlarm(false);
    AlarmModel off = alarm(QStringLiteral("01"), QStringLiteral("02"), {});
    off.enabled = false;
    model.announceAlarm(off);
    languages = QStringList{QStringLiteral("de-DE")};
    model.announceAlarm(alarm(QStringLiteral("01"), QStringLiteral("02"), QStringLiteral("釣り")));

    const QString ja = QStringLiteral("ja-JP");
    const QList<Utterance> expected{{QStringLiteral("13 ヴァルドリア時間"), ja},
                                    {QStringLiteral("1 時 2 分"), ja},
                                    {QStringLiteral("釣り"), QStringLiteral("de-DE")}};
    EXPECT_EQ(*spoken, expected);
}

} // namespace
