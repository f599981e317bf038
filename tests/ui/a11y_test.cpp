#include "support.h"
#include "ui/alarm_settings_window.h"
#include "ui/label_window.h"
#include "ui/translations.h"

#include <QAccessible>
#include <QApplication>
#include <QLineEdit>
#include <QMenu>
#include <QTest>
#include <QTranslator>

#include <gtest/gtest.h>

namespace {

QString accessibleName(QWidget* widget) {
    return QAccessible::queryAccessibleInterface(widget)->text(QAccessible::Name);
}

// Screen readers said "button" and "text" for every control, and English ears got Japanese names:
// every control has a name, in the user's language, and the delete button's follows its alarm.
TEST(Accessibility, EveryControlIsNamedInTheUsersLanguage) {
    const struct {
        const char* object;
        const char* ja;
        const char* en;
    } rows[] = {
        {"enabledCheckBox", "アラーム有効", "Alarm Enabled"},
        {"hourField", "アラームの時", "Alarm hour"},
        {"minutesField", "アラームの分", "Alarm minute"},
        {"titleField", "アラーム内容", "Alarm text"},
        {"deleteButton", "アラーム 07:05 を削除", "Delete alarm 07:05"},
        {"addAlarmButton", "アラームを追加", "Add alarm"},
        {"alarmScrollArea", "アラーム一覧", "Alarm list"},
        {"clockLabelWindow", "ヴァルドリア時間の時計", "Valdrian time clock"},
    };
    for (const bool english : {false, true}) {
        ASSERT_EQ(installTranslations(*qApp, {QString::fromLatin1(english ? "en-US" : "ja-JP")}), english);
        TempSettings settings;
        settings.store->setAlarms({alarmAt("07", "05", "起床")});
        AlarmSettingsWindow window(*settings.store);
        window.show();
        QMenu menu;
        LabelWindow label(menu);
        for (const auto& row : rows) {
            QWidget* widget = label.objectName() == QLatin1String(row.object)
                                  ? &label
                                  : window.findChild<QWidget*>(QLatin1String(row.object));
            ASSERT_NE(widget, nullptr) << row.object;
            EXPECT_EQ(accessibleName(widget), QString::fromUtf8(english ? row.en : row.ja)) << row.object;
        }
        auto* hour = window.findChild<QLineEdit*>(QStringLiteral("hourField"));
        hour->selectAll();
        QTest::keyClicks(hour, QStringLiteral("8"));
        EXPECT_EQ(accessibleName(window.findChild<QWidget*>(QStringLiteral("deleteButton"))),
                  english ? u"Delete alarm 08:05" : u"アラーム 08:05 を削除");
    }
    for (QTranslator* translator : qApp->findChildren<QTranslator*>()) {
        QCoreApplication::removeTranslator(translator);
        delete translator;
    }
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
    const AlarmList stored = settings.store->alarms();
    EXPECT_EQ(stored[0].title.size(), 39'999);
    EXPECT_EQ(stored[1].title, u"x");
}

// Opening the open window from the menu or a second launch un-maximised it.
TEST(AlarmWindow, ReopeningKeepsItsStateAndRestoresAMinimisedOne) {
    const struct {
        void (QWidget::*before)();
        Qt::WindowStates after;
    } rows[] = {
        {&QWidget::showMaximized, Qt::WindowMaximized},
        {&QWidget::showNormal, Qt::WindowNoState},
        {&QWidget::showMinimized, Qt::WindowNoState},
        {&QWidget::hide, Qt::WindowNoState},
    };
    for (const auto& row : rows) {
        TempSettings settings;
        AlarmSettingsWindow window(*settings.store);
        (window.*row.before)();
        window.showAndActivate();
        EXPECT_TRUE(window.isVisible());
        EXPECT_EQ(window.windowState() & ~Qt::WindowActive, row.after) << int(window.windowState());
    }
}

} // namespace
