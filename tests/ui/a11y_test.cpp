#include "support.h"
#include "ui/alarm_settings_window.h"
#include "ui/label_window.h"
#include "ui/translations.h"

#include <QAccessible>
#include <QLineEdit>
#include <QMenu>
#include <QTest>
#include <QTranslator>

#include <gtest/gtest.h>

#include <tuple>

namespace {

QString accessibleName(QWidget* widget) {
    return QAccessible::queryAccessibleInterface(widget)->text(QAccessible::Name);
}

// Screen readers said "button" and "text" for every control, and English ears got Japanese names:
// every control has a name, in the user's language, and the delete button's follows its alarm.
TEST(Accessibility, EveryControlIsNamedInTheUsersLanguage) {
    const std::tuple<const char*, const char*, const char*> rows[] = {
        {"enabledCheckBox", "アラーム有効", "Alarm Enabled"},
        {"hourField", "アラームの時", "Alarm hour"},
        {"minutesField", "アラームの分", "Alarm minute"},
        {"titleField", "アラーム内容", "Alarm text"},
        {"deleteButton", "アラーム 07:05 を削除", "Delete alarm 07:05"},
        {"addAlarmButton", "アラームを追加", "Add alarm"},
        {"alarmScrollArea", "アラーム一覧", "Alarm list"},
    };
    for (const bool english : {false, true}) {
        ASSERT_EQ(installTranslations(*qApp, {QString::fromLatin1(english ? "en-US" : "ja-JP")}), english);
        TempSettings settings;
        settings.store->setAlarms({alarmAt("07", "05", "起床")});
        AlarmSettingsWindow window(*settings.store);
        window.show();
        QMenu menu;
        LabelWindow label(menu);
        for (const auto& [object, ja, en] : rows) {
            QWidget* widget = window.findChild<QWidget*>(QLatin1String(object));
            ASSERT_NE(widget, nullptr) << object;
            EXPECT_EQ(accessibleName(widget), QString::fromUtf8(english ? en : ja)) << object;
        }
        auto* hour = window.findChild<QLineEdit*>(QStringLiteral("hourField"));
        hour->selectAll();
        QTest::keyClicks(hour, QStringLiteral("8"));
        EXPECT_EQ(accessibleName(window.findChild<QWidget*>(QStringLiteral("deleteButton"))),
                  english ? u"Delete alarm 08:05" : u"アラーム 08:05 を削除");
        EXPECT_EQ(accessibleName(&label), english ? u"Valdrian time clock" : u"ヴァルドリア時間の時計");
    }
    qDeleteAll(qApp->findChildren<QTranslator*>()); // each takes itself out of the application
}

// QLineEdit cut a stored title at 32,767 characters, and an edit of the row then stored the cut one.
TEST(AlarmWindow, LongTitleSurvivesEdits) {
    TempSettings settings;
    AlarmModel longOne = alarmAt("07", "05");
    longOne.title = QString(40'000, u'あ');
    settings.store->setAlarms({longOne, alarmAt("08", "00")});
    AlarmSettingsWindow window(*settings.store);
    window.show();
    const QList<QLineEdit*> titles = window.findChildren<QLineEdit*>(QStringLiteral("titleField"));
    ASSERT_EQ(titles.size(), 2);
    QTest::keyClicks(titles[1], QStringLiteral("x"));
    titles[0]->end(false);
    QTest::keyClick(titles[0], Qt::Key_Backspace);
    EXPECT_EQ(settings.store->alarms()[0].title, longOne.title.chopped(1));
    EXPECT_EQ(settings.store->alarms()[1].title, u"x");
}

// Opening the open window from the menu or a second launch un-maximised it.
TEST(AlarmWindow, ReopeningKeepsItsStateAndRestoresAMinimisedOne) {
    const std::pair<void (QWidget::*)(), Qt::WindowStates> rows[] = {
        {&QWidget::showMaximized, Qt::WindowMaximized},
        {&QWidget::showNormal, Qt::WindowNoState},
        {&QWidget::showMinimized, Qt::WindowNoState},
        {&QWidget::hide, Qt::WindowNoState},
    };
    for (const auto& [before, after] : rows) {
        TempSettings settings;
        AlarmSettingsWindow window(*settings.store);
        (window.*before)();
        window.showAndActivate();
        EXPECT_TRUE(window.isVisible());
        EXPECT_EQ(window.windowState() & ~Qt::WindowActive, after) << int(window.windowState());
    }
}

} // namespace
