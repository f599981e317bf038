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

// The view in an active window on a store of its own holding `stored`.
struct Window {
    explicit Window(const AlarmList& stored = {}) {
        EXPECT_TRUE(stored.isEmpty() || settings.store->setAlarms(stored));
        view.reload();
        view.resize(480, 360);
        view.show();
        QApplication::setActiveWindow(&view);
    }
    [[nodiscard]] AlarmList stored() const { return settings.open()->alarms(); }
    [[nodiscard]] QStringList titles() const {
        QStringList texts;
        for (const AlarmModel& alarm : stored()) {
            texts.append(alarm.title);
        }
        return texts;
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

void press(Qt::Key key, Qt::KeyboardModifiers modifiers = Qt::NoModifier) {
    QTest::keyClick(QApplication::focusWidget(), key, modifiers);
}

TEST(AlarmWindow, NewAlarmsGoOnTop) {
    Window w({alarmAt("07", "30")});
    w.storeText(u"[{\"id\":\"nope\""_s);
    EXPECT_TRUE(w.saysEmpty() && w.rows().empty());
    w.add();
    type(in(w.rows()[0], "titleField"), u"first"_s);
    w.add();
    ASSERT_EQ(w.titles(), QStringList({"", "first"}));
    const AlarmModel added = w.stored()[0];
    EXPECT_EQ(added.hour + added.minutes + (added.enabled ? "on" : "off"), u"0000off");
    const std::vector<QWidget*> rows = w.rows();
    EXPECT_EQ(in(rows[1], "titleField")->text(), u"first");
    EXPECT_FALSE(w.saysEmpty());
    w.view.findChild<QPushButton*>(u"addAlarmButton"_s)->setFocus();
    press(Qt::Key_Tab); // reading order: the new row first
    EXPECT_EQ(QApplication::focusWidget(), in<QCheckBox>(rows[0], "enabledCheckBox"));
}

TEST(AlarmWindow, EditsAndDeletesTheRowsOwnAlarm) {
    struct Case {
        const char* what;
        bool sharedId;   // B has A's id, as a hand-edited list may
        bool goneBehind; // B deleted by another process while its row shows
    };
    for (const Case& c : {Case{"middle of three", false, false}, Case{"shared id", true, false},
                          Case{"gone behind", false, true}}) {
        SCOPED_TRACE(c.what);
        AlarmList three{alarmAt("01", "00", "A"), alarmAt("02", "00", "B"), alarmAt("03", "00", "C")};
        three[1].id = c.sharedId ? three[0].id : three[1].id;
        Window w(three);
        const std::vector<QWidget*> rows = w.rows();
        type(in(rows[1], "titleField"), u"!"_s);
        EXPECT_EQ(w.titles(), QStringList({"A", "B!", "C"}));
        ASSERT_TRUE(!c.goneBehind || w.settings.store->setAlarms({three[0], three[2]}));
        QTest::mouseClick(in<QToolButton>(rows[1], "deleteButton"), Qt::LeftButton);
        EXPECT_EQ(w.titles(), QStringList({"A", "C"}));
        EXPECT_EQ(w.rows(), (std::vector{rows[0], rows[2]}));
    }
    // The second click of a double click lands on the row that moved up under the pointer.
    Window w({alarmAt("01", "00", "A"), alarmAt("02", "00", "B")});
    QTest::mouseClick(in<QToolButton>(w.rows()[0], "deleteButton"), Qt::LeftButton);
    QTest::mouseDClick(in<QToolButton>(w.rows()[0], "deleteButton"), Qt::LeftButton);
    QTest::mouseRelease(in<QToolButton>(w.rows()[0], "deleteButton"), Qt::LeftButton);
    EXPECT_EQ(w.titles(), QStringList{"B"});
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
    EXPECT_EQ(w.titles(), QStringList({"first", "secXYond"}));
    QLineEdit* hour = in(w.rows()[1], "hourField");
    hour->setFocus();
    press(Qt::Key_A, Qt::ControlModifier);
    type(hour, u"1"_s);
    w.add();
    type(hour, u"5"_s);
    EXPECT_EQ(QApplication::focusWidget(), hour);
    EXPECT_EQ(w.stored().at(2).hour, u"15");
}

// Each change stores the sanitized text and shows it, the cursor at its end, the other field
// left alone. The sanitizing itself is tested with the core.
TEST(AlarmWindow, TimeFieldsStoreTheSanitizedText) {
    for (const auto& [field, typed, time] :
         {std::tuple{"hourField", "7", "07:22"}, std::tuple{"hourField", "99", "23:22"},
          std::tuple{"minutesField", "60", "11:59"}}) {
        SCOPED_TRACE(typed);
        Window w({alarmAt("11", "22")});
        QWidget* row = w.rows()[0];
        in(row, field)->selectAll();
        type(in(row, field), QString::fromLatin1(typed));
        EXPECT_EQ(in(row, "hourField")->text() + u':' + in(row, "minutesField")->text(), QLatin1String(time));
        EXPECT_EQ(in(row, field)->cursorPosition(), 2);
        EXPECT_EQ(w.stored()[0].hour + u':' + w.stored()[0].minutes, QLatin1String(time));
    }
}

// A hand-written list shows as it is and is written only when the user changes something, each
// keystroke and click at once; the fields not edited keep their text. An edit the store refuses
// (a lone surrogate has no UTF-8 form) leaves the window showing what is stored.
TEST(AlarmWindow, ShowsTheStoredTextAndStoresEachChange) {
    Window w;
    const QString handWritten =
        uR"([ {"id": "5f0c2a9e-3b71-4d8c-a6e2-91b04f7d3c58", "hour": "7", "minutes": "5", "title": "", "enabled": false} ])"_s;
    w.storeText(handWritten);
    QWidget* row = w.rows().at(0);
    EXPECT_EQ(in(row, "hourField")->text() + u':' + in(row, "minutesField")->text(), u"7:5");
    EXPECT_EQ(QSettings(w.settings.path, QSettings::IniFormat).value(settings_keys::kAlarms), handWritten);
    QString title;
    for (const QString& key : {u"a"_s, u"釣"_s, u"😀"_s}) {
        type(in(row, "titleField"), key);
        title += key;
        EXPECT_EQ(w.titles(), QStringList{title});
    }
    type(in(row, "titleField"), QString(QChar(0xD800)));
    EXPECT_EQ(in(row, "titleField")->text(), title);
    QCheckBox* enabled = in<QCheckBox>(row, "enabledCheckBox");
    QTest::mouseClick(enabled, Qt::LeftButton, {}, QPoint(6, enabled->height() / 2));
    EXPECT_TRUE(w.stored()[0].enabled);
    QTest::keyClick(enabled, Qt::Key_Space);
    EXPECT_FALSE(w.stored()[0].enabled);
    EXPECT_EQ(w.stored()[0].hour + u':' + w.stored()[0].minutes + w.titles()[0], u"7:5"_s + title);
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
    EXPECT_LE(w.rowsMade(), kAtMost);
    in<QToolButton>(w.rows()[0], "deleteButton")->setFocus();
    for (int row = 1; row <= 3 * kAtMost; ++row) {
        for (int control = 0; control < 5; ++control) {
            press(Qt::Key_Tab);
        }
        ASSERT_EQ(in(QApplication::focusWidget()->parentWidget(), "titleField")->text(),
                  QString::number(row));
    }
    QScrollBar* bar = w.view.findChild<QScrollArea*>(u"alarmScrollArea"_s)->verticalScrollBar();
    EXPECT_GT(bar->value(), 0);
    EXPECT_LE(w.rowsMade(), kAtMost);
    bar->setValue(bar->maximum());
    QLineEdit* editing = in(w.rows().back(), "titleField");
    editing->setFocus();
    type(editing, u"!"_s);
    bar->setValue(0);
    EXPECT_LE(w.rowsMade(), kAtMost + 1);
    EXPECT_EQ(in(w.rows()[0], "titleField")->text(), u"0");
    EXPECT_EQ(QApplication::focusWidget(), editing);
    type(editing, u"?"_s);
    EXPECT_EQ(w.titles().mid(kAlarms - 2), QStringList({"9998", "9999!?"}));
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
