// The alarm settings window driven as a user would: keys and clicks on its rows, the store read
// back through a second reader of the same file.

#include "support.h"
#include "ui/alarm_row_key.h"
#include "ui/alarm_settings_view.h"

#include <QApplication>
#include <QCheckBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QScrollArea>
#include <QScrollBar>
#include <QTest>
#include <QToolButton>

#include <gtest/gtest.h>

#include <algorithm>
#include <set>
#include <vector>

namespace {

using namespace Qt::StringLiterals;

// A control of a row, by its objectName.
template <typename T = QLineEdit> T* in(QWidget* row, const char* name) {
    return row->findChild<T*>(QLatin1String(name));
}

// The view in an active window on a store of its own holding `alarms`. A list reads as
// "hh:mm title" per alarm, with "*" when it is on, joined by "|".
struct Window {
    explicit Window(const AlarmList& alarms = {}) {
        EXPECT_TRUE(alarms.isEmpty() || settings.store->setAlarms(alarms));
        view.reload();
        view.resize(480, 360);
        view.show();
        QApplication::setActiveWindow(&view);
    }
    [[nodiscard]] QString stored() const {
        QStringList texts;
        for (const AlarmModel& a : settings.open()->alarms()) {
            texts.append(a.hour + u':' + a.minutes + u' ' + a.title + (a.enabled ? "*" : ""));
        }
        return texts.join(u'|');
    }
    // The rows that show, top to bottom.
    [[nodiscard]] std::vector<QWidget*> rows() const {
        std::vector<QWidget*> rows;
        std::ranges::copy_if(view.findChildren<QWidget*>(u"alarmRow"_s), std::back_inserter(rows),
                             [](QWidget* row) { return !row->isHidden(); });
        std::ranges::sort(rows, {}, &QWidget::y);
        return rows;
    }
    [[nodiscard]] qsizetype rowsMade() const {
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        return view.findChildren<QWidget*>(u"alarmRow"_s).size();
    }
    void add() { QTest::mouseClick(view.findChild<QPushButton*>(u"addAlarmButton"_s), Qt::LeftButton); }
    [[nodiscard]] bool saysEmpty() const {
        return view.findChild<QLabel*>(u"emptyListMessage"_s)->isVisible();
    }
    // Written behind the window, as by hand or by another process, then shown.
    void storeText(const QString& json) {
        QSettings(settings.path, QSettings::IniFormat).setValue(settings_keys::kAlarms, json);
        view.reload();
    }

    TempSettings settings;
    AlarmSettingsView view{*settings.store};
};

// One key event per character: keyClicks takes ASCII only.
void type(QWidget* field, const QString& text) {
    for (qsizetype i = 0; i < text.size();) {
        const QString character = text.mid(i, text[i].isHighSurrogate() ? 2 : 1);
        QTest::sendKeyEvent(QTest::Press, field, Qt::Key_unknown, character, Qt::NoModifier);
        QTest::sendKeyEvent(QTest::Release, field, Qt::Key_unknown, character, Qt::NoModifier);
        i += character.size();
    }
}

TEST(AlarmWindow, NewAlarmsGoOnTop) {
    Window w({alarmAt("07", "30")});
    w.storeText(u"[{\"id\":\"nope\""_s); // unreadable: no alarms
    EXPECT_TRUE(w.saysEmpty() && w.rows().empty());
    w.add();
    type(in(w.rows()[0], "titleField"), u"first"_s);
    w.add();
    EXPECT_EQ(w.stored(), u"00:00 |00:00 first");
    EXPECT_EQ(in(w.rows()[1], "titleField")->text(), u"first");
    EXPECT_FALSE(w.saysEmpty());
    w.view.findChild<QPushButton*>(u"addAlarmButton"_s)->setFocus();
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab); // reading order: the new row first
    EXPECT_EQ(QApplication::focusWidget(), in<QCheckBox>(w.rows()[0], "enabledCheckBox"));
}

TEST(AlarmWindow, EditsAndDeletesTheRowsOwnAlarm) {
    // sharedId: B has A's id, as a hand-edited list may; goneBehind: B deleted by another process
    // while its row shows.
    for (const auto& [what, sharedId, goneBehind] :
         {std::tuple{"middle of three", false, false}, std::tuple{"shared id", true, false},
          std::tuple{"gone behind", false, true}}) {
        SCOPED_TRACE(what);
        AlarmList three{alarmAt("01", "00", "A"), alarmAt("02", "00", "B"), alarmAt("03", "00", "C")};
        three[1].id = sharedId ? three[0].id : three[1].id;
        Window w(three);
        const std::vector<QWidget*> rows = w.rows();
        type(in(rows[1], "titleField"), u"!"_s);
        EXPECT_EQ(w.stored(), u"01:00 A*|02:00 B!*|03:00 C*");
        ASSERT_TRUE(!goneBehind || w.settings.store->setAlarms({three[0], three[2]}));
        QTest::mouseClick(in<QToolButton>(rows[1], "deleteButton"), Qt::LeftButton);
        EXPECT_EQ(w.stored(), u"01:00 A*|03:00 C*");
        EXPECT_EQ(w.rows(), (std::vector{rows[0], rows[2]}));
    }
    // The second click of a double click lands on the row that moved up under the pointer.
    Window w({alarmAt("01", "00", "A"), alarmAt("02", "00", "B")});
    QTest::mouseClick(in<QToolButton>(w.rows()[0], "deleteButton"), Qt::LeftButton);
    QTest::mouseDClick(in<QToolButton>(w.rows()[0], "deleteButton"), Qt::LeftButton);
    QTest::mouseRelease(in<QToolButton>(w.rows()[0], "deleteButton"), Qt::LeftButton);
    EXPECT_EQ(w.stored(), u"02:00 B*");
}

// The list is written back after every keystroke, and rows come and go around the field being
// typed in: it keeps the focus and the cursor.
TEST(AlarmWindow, TypingKeepsFocusAndCursorWhileTheListChanges) {
    Window w({alarmAt("01", "00", "first"), alarmAt("02", "00", "second")});
    QLineEdit* title = in(w.rows()[1], "titleField");
    title->setFocus();
    title->setCursorPosition(3);
    type(title, u"X"_s);
    w.add();
    QTest::mouseClick(in<QToolButton>(w.rows()[0], "deleteButton"), Qt::LeftButton);
    type(title, u"Y"_s);
    EXPECT_EQ(QApplication::focusWidget(), title);
    EXPECT_EQ(title->cursorPosition(), 5);
    QLineEdit* hour = in(w.rows()[1], "hourField");
    hour->setFocus();
    hour->selectAll();
    type(hour, u"1"_s);
    w.add();
    type(hour, u"5"_s);
    EXPECT_EQ(QApplication::focusWidget(), hour);
    EXPECT_EQ(w.stored(), u"00:00 |01:00 first*|15:00 secXYond*");
}

// A time that is not two digits shows as it is until edited. Each change of a time field stores
// its sanitized text and shows it, the cursor at its end, the other field left as it was. The
// sanitizing itself is tested with the core.
TEST(AlarmWindow, TimeFieldsStoreTheSanitizedText) {
    for (const auto& [field, typed, shown, time] :
         {std::tuple{"hourField", "7", "07", "07:5 "}, std::tuple{"hourField", "99", "23", "23:5 "},
          std::tuple{"minutesField", "60", "59", "7:59 "}}) {
        SCOPED_TRACE(typed);
        Window w({alarmAt("7", "5", "", false)});
        QWidget* row = w.rows().at(0);
        EXPECT_EQ(in(row, "hourField")->text() + in(row, "minutesField")->text(), u"75");
        in(row, field)->selectAll();
        type(in(row, field), QString::fromLatin1(typed));
        EXPECT_EQ(w.stored(), QLatin1String(time));
        EXPECT_EQ(in(row, field)->text() + QString::number(in(row, field)->cursorPosition()), shown + u"2"_s);
    }
}

// Each keystroke and click is stored at once. An edit the store refuses (a lone surrogate has no
// UTF-8 form) leaves the window showing what is stored.
TEST(AlarmWindow, TitleAndSwitchAreStoredAtEachChange) {
    Window w({alarmAt("07", "05", "", false)});
    QWidget* row = w.rows().at(0);
    QString expected = u"07:05 "_s;
    for (const QString& key : {u"a"_s, u"釣"_s, u"😀"_s}) {
        type(in(row, "titleField"), key);
        EXPECT_EQ(w.stored(), expected += key);
    }
    type(in(row, "titleField"), QString(QChar(0xD800)));
    EXPECT_EQ(in(row, "titleField")->text(), expected.mid(6));
    QCheckBox* enabled = in<QCheckBox>(row, "enabledCheckBox");
    QTest::mouseClick(enabled, Qt::LeftButton, {}, QPoint(6, enabled->height() / 2));
    EXPECT_EQ(w.stored(), expected + u'*');
    QTest::keyClick(enabled, Qt::Key_Space);
    EXPECT_EQ(w.stored(), expected);
}

// However long the list, only the rows in sight exist: Tab and scrolling bring the others in, and
// the row being edited stays, focus and all, while the list scrolls away from it.
TEST(AlarmWindow, TenThousandAlarmsMakeOnlyTheRowsInSight) {
    constexpr int kAlarms = 10000;
    constexpr qsizetype kAtMost = 20; // a 360-pixel view shows about nine
    AlarmList many;
    for (int i = 0; i < kAlarms; ++i) {
        many.append(alarmAt("00", "00", QByteArray::number(i).constData()));
    }
    Window w(many);
    in<QToolButton>(w.rows()[0], "deleteButton")->setFocus();
    for (int tab = 0; tab < 5 * 3 * kAtMost; ++tab) {
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
    }
    EXPECT_EQ(in(QApplication::focusWidget()->parentWidget(), "titleField")->text(),
              QString::number(3 * kAtMost));
    QScrollBar* bar = w.view.findChild<QScrollArea*>(u"alarmScrollArea"_s)->verticalScrollBar();
    EXPECT_GT(bar->value(), 0);
    EXPECT_LE(w.rowsMade(), kAtMost);
    bar->setValue(bar->maximum());
    QLineEdit* editing = in(w.rows().back(), "titleField");
    editing->setFocus();
    type(editing, u"!"_s);
    bar->setValue(0);
    EXPECT_LE(w.rowsMade(), kAtMost + 1);
    EXPECT_EQ(QApplication::focusWidget(), editing);
    type(editing, u"?"_s);
    EXPECT_TRUE(w.stored().endsWith(u"00:00 9998*|00:00 9999!?*")) << w.stored().right(40).toStdString();
}

// Generated ids differing only by a counter in two places: Qt's own QUuid hash folds those
// together, which would put every row of such a list in one bucket.
TEST(AlarmWindow, PatternedIdsHashApart) {
    std::set<size_t> hashes;
    for (int i = 0; i < 1000; ++i) {
        hashes.insert(qHash(
            RowKey{QUuid(u"%1-0000-4000-8000-%2"_s.arg(i, 8, 16, QChar(u'0')).arg(i, 12, 16, QChar(u'0')))}));
    }
    EXPECT_EQ(hashes.size(), 1000U);
}

} // namespace
