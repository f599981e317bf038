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

struct Row {
    QWidget* widget;
    QCheckBox* enabled;
    QLineEdit* hour;
    QLineEdit* minutes;
    QLineEdit* title;
    QToolButton* remove;
};

// The view in an active window on a store of its own holding `stored`.
struct Window {
    explicit Window(const AlarmList& stored = {}) {
        EXPECT_TRUE(stored.isEmpty() || settings.store->setAlarms(stored));
        view = std::make_unique<AlarmSettingsView>(*settings.store);
        view->resize(480, 360);
        view->show();
        QApplication::setActiveWindow(view.get());
    }
    [[nodiscard]] AlarmList stored() const { return settings.open()->alarms(); }
    // The rows that exist and show, top to bottom.
    [[nodiscard]] std::vector<Row> rows() const {
        std::vector<Row> rows;
        for (QWidget* w : view->findChildren<QWidget*>(QStringLiteral("alarmRow"))) {
            if (!w->isHidden()) {
                rows.push_back({w, w->findChild<QCheckBox*>(QStringLiteral("enabledCheckBox")),
                                w->findChild<QLineEdit*>(QStringLiteral("hourField")),
                                w->findChild<QLineEdit*>(QStringLiteral("minutesField")),
                                w->findChild<QLineEdit*>(QStringLiteral("titleField")),
                                w->findChild<QToolButton*>(QStringLiteral("deleteButton"))});
            }
        }
        std::ranges::sort(rows, {}, [](const Row& r) { return r.widget->y(); });
        return rows;
    }
    [[nodiscard]] qsizetype rowsMade() const {
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        return view->findChildren<QWidget*>(QStringLiteral("alarmRow")).size();
    }
    void add() const {
        QTest::mouseClick(view->findChild<QPushButton*>(QStringLiteral("addAlarmButton")), Qt::LeftButton);
    }
    [[nodiscard]] bool showsEmptyMessage() const {
        return view->findChild<QLabel*>(QStringLiteral("emptyListMessage"))->isVisible();
    }
    // Written behind the window, as by hand or by another process, then shown.
    void storeText(const QString& json) const {
        QSettings(settings.path, QSettings::IniFormat).setValue(settings_keys::kAlarms, json);
        view->reload();
    }

    TempSettings settings;
    std::unique_ptr<AlarmSettingsView> view;
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

QStringList titles(const AlarmList& alarms) {
    QStringList texts;
    for (const AlarmModel& alarm : alarms) {
        texts.append(alarm.title);
    }
    return texts;
}

TEST(AlarmWindow, NewAlarmsGoOnTopAndTabFollowsThem) {
    Window w;
    EXPECT_TRUE(w.showsEmptyMessage());
    w.add();
    w.rows().at(0).title->setFocus();
    type(w.rows().at(0).title, QStringLiteral("first"));
    w.add();
    const AlarmList stored = w.stored();
    ASSERT_EQ(titles(stored), QStringList({"", "first"}));
    EXPECT_EQ(stored[0].hour + stored[0].minutes, u"0000");
    EXPECT_FALSE(stored[0].enabled);
    const std::vector<Row> rows = w.rows();
    ASSERT_EQ(rows.size(), 2U);
    EXPECT_EQ(rows[1].title->text(), u"first");
    EXPECT_FALSE(w.showsEmptyMessage());
    // Tab from the add button reads the rows top to bottom.
    w.view->findChild<QPushButton*>(QStringLiteral("addAlarmButton"))->setFocus();
    for (QWidget* expected : {static_cast<QWidget*>(rows[0].enabled), static_cast<QWidget*>(rows[0].hour)}) {
        press(Qt::Key_Tab);
        EXPECT_EQ(QApplication::focusWidget(), expected);
    }
}

TEST(AlarmWindow, DeletesTheRowsOwnAlarm) {
    struct Case {
        const char* what;
        int shareId; // this row takes the id of the row above; -1: none
        int clicked;
        QStringList left;
    };
    const Case cases[] = {
        {"the middle of three", -1, 1, {"A", "C"}},
        {"the second of two sharing an id", 1, 1, {"A", "C"}},
        {"gone behind the window meanwhile", -1, -1, {"A", "C"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        AlarmList three{alarmAt("01", "00", "A"), alarmAt("02", "00", "B"), alarmAt("03", "00", "C")};
        if (c.shareId > 0) {
            three[c.shareId].id = three[c.shareId - 1].id;
        }
        Window w(three);
        const std::vector<Row> rows = w.rows();
        if (c.clicked < 0) { // the row stays on screen until the next change
            ASSERT_TRUE(w.settings.store->setAlarms({three[0], three[2]}));
            QTest::mouseClick(rows[1].remove, Qt::LeftButton);
        } else {
            QTest::mouseClick(rows[c.clicked].remove, Qt::LeftButton);
        }
        EXPECT_EQ(titles(w.stored()), c.left);
        ASSERT_EQ(w.rows().size(), 2U);
        EXPECT_EQ(w.rows()[1].widget, rows[2].widget);
    }
    // The second click of a double click lands on the row that moved up under the pointer.
    Window w({alarmAt("01", "00", "A"), alarmAt("02", "00", "B")});
    QTest::mouseClick(w.rows()[0].remove, Qt::LeftButton);
    QTest::mouseDClick(w.rows()[0].remove, Qt::LeftButton);
    QTest::mouseRelease(w.rows()[0].remove, Qt::LeftButton);
    EXPECT_EQ(titles(w.stored()), QStringList{"B"});
}

TEST(AlarmWindow, EditsOfASharedIdGoToTheRowsOwnAlarm) {
    AlarmList two{alarmAt("01", "00", "A"), alarmAt("02", "00", "B")};
    two[1].id = two[0].id;
    Window w(two);
    type(w.rows()[1].title, QStringLiteral("!"));
    EXPECT_EQ(titles(w.stored()), QStringList({"A", "B!"}));
}

// The list is written back after every keystroke, and rows come and go around the field being
// typed in: it keeps the focus and the cursor.
TEST(AlarmWindow, TypingKeepsFocusAndCursorWhileTheListChanges) {
    Window w({alarmAt("01", "00", "first"), alarmAt("02", "00", "second")});
    const Row row = w.rows()[1];
    row.title->setFocus();
    row.title->setCursorPosition(3);
    type(row.title, QStringLiteral("X"));
    w.add();
    QTest::mouseClick(w.rows()[0].remove, Qt::LeftButton);
    type(row.title, QStringLiteral("Y"));
    EXPECT_EQ(QApplication::focusWidget(), row.title);
    EXPECT_EQ(row.title->cursorPosition(), 5);
    EXPECT_EQ(titles(w.stored()), QStringList({"first", "secXYond"}));

    row.hour->setFocus();
    press(Qt::Key_A, Qt::ControlModifier);
    type(row.hour, QStringLiteral("1"));
    w.add();
    type(row.hour, QStringLiteral("5"));
    EXPECT_EQ(QApplication::focusWidget(), row.hour);
    EXPECT_EQ(w.stored().at(2).hour, u"15");
}

// Each change stores the sanitized text and shows it, the cursor at its end, the other field
// left alone. The sanitizing itself is tested with the core.
TEST(AlarmWindow, TimeFieldsStoreTheSanitizedText) {
    struct Case {
        const char* field;
        const char* typed; // replaces the whole field
        const char* time;  // shown and stored
    };
    const Case cases[] = {
        {"hourField", "7", "07:22"}, {"hourField", "99", "23:22"}, {"minutesField", "60", "11:59"}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.typed);
        Window w({alarmAt("11", "22")});
        const Row row = w.rows().at(0);
        auto* field = row.widget->findChild<QLineEdit*>(QLatin1String(c.field));
        field->selectAll();
        type(field, QString::fromLatin1(c.typed));
        EXPECT_EQ(row.hour->text() + u':' + row.minutes->text(), QLatin1String(c.time));
        EXPECT_EQ(field->cursorPosition(), 2);
        EXPECT_EQ(w.stored().at(0).hour + u':' + w.stored().at(0).minutes, QLatin1String(c.time));
    }
}

// A hand-written list is shown as it is and written back only when the user changes something;
// then the fields not edited keep their stored text.
TEST(AlarmWindow, OddStoredTimesShowUnchangedUntilEdited) {
    Window w;
    const QString handWritten = QStringLiteral(
        R"([ {"id": "5f0c2a9e-3b71-4d8c-a6e2-91b04f7d3c58", "hour": "7", "minutes": "5", "title": "", "enabled": true} ])");
    w.storeText(handWritten);
    const Row row = w.rows().at(0);
    EXPECT_EQ(row.hour->text() + u':' + row.minutes->text(), u"7:5");
    EXPECT_TRUE(row.enabled->isChecked());
    EXPECT_EQ(QSettings(w.settings.path, QSettings::IniFormat).value(settings_keys::kAlarms), handWritten);
    row.minutes->setCursorPosition(1);
    type(row.minutes, QStringLiteral("3"));
    EXPECT_EQ(row.hour->text() + u':' + row.minutes->text(), u"7:53");
    EXPECT_EQ(w.stored().at(0).hour, u"7");
}

// Every keystroke and click is on disk at once; an edit the store refuses (a lone surrogate has no
// UTF-8 form) leaves the window showing what is stored.
TEST(AlarmWindow, TitleAndSwitchAreStoredAtEachChange) {
    Window w({alarmAt("07", "30", "", false)});
    const Row row = w.rows().at(0);
    QString title;
    for (const QString& key : {QStringLiteral("a"), QStringLiteral("釣"), QStringLiteral("😀")}) {
        type(row.title, key);
        title += key;
        EXPECT_EQ(w.stored().at(0).title, title);
    }
    type(row.title, QString(QChar(0xD800)));
    EXPECT_EQ(row.title->text(), title);
    EXPECT_EQ(w.stored().at(0).title, title);

    QTest::mouseClick(row.enabled, Qt::LeftButton, {}, QPoint(6, row.enabled->height() / 2));
    EXPECT_TRUE(w.stored().at(0).enabled);
    QTest::keyClick(row.enabled, Qt::Key_Space);
    EXPECT_FALSE(w.stored().at(0).enabled);
}

TEST(AlarmWindow, UnreadableStoredListShowsTheEmptyListMessage) {
    Window w({alarmAt("07", "30")});
    EXPECT_FALSE(w.showsEmptyMessage());
    w.storeText(QStringLiteral("[{\"id\":\"nope\""));
    EXPECT_TRUE(w.showsEmptyMessage());
    EXPECT_TRUE(w.rows().empty());
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
    w.rows().at(0).remove->setFocus();
    for (int row = 1; row <= 3 * kAtMost; ++row) {
        press(Qt::Key_Tab);
        ASSERT_EQ(QApplication::focusWidget()->objectName(), u"enabledCheckBox");
        ASSERT_EQ(QApplication::focusWidget()
                      ->parentWidget()
                      ->findChild<QLineEdit*>(QStringLiteral("titleField"))
                      ->text(),
                  QString::number(row));
        for (int control = 0; control < 4; ++control) {
            press(Qt::Key_Tab);
        }
    }
    QScrollBar* bar = w.view->findChild<QScrollArea*>(QStringLiteral("alarmScrollArea"))->verticalScrollBar();
    EXPECT_GT(bar->value(), 0);
    EXPECT_LE(w.rowsMade(), kAtMost);

    bar->setValue(bar->maximum());
    QLineEdit* editing = w.rows().back().title;
    editing->setFocus();
    type(editing, QStringLiteral("!"));
    bar->setValue(0);
    EXPECT_LE(w.rowsMade(), kAtMost + 1);
    EXPECT_EQ(w.rows().front().title->text(), u"0");
    EXPECT_EQ(QApplication::focusWidget(), editing);
    type(editing, QStringLiteral("?"));
    const AlarmList stored = w.stored();
    ASSERT_EQ(stored.size(), kAlarms);
    EXPECT_EQ(stored.back().title, u"9999!?");
}

// Generated ids differing only by a counter in two places: Qt's own QUuid hash folds those
// together, which puts every row of such a list in one bucket.
TEST(AlarmWindow, PatternedIdsHashApart) {
    std::set<size_t> hashes;
    for (int i = 0; i < 1000; ++i) {
        const QUuid id(
            QStringLiteral("%1-0000-4000-8000-%2").arg(i, 8, 16, QChar(u'0')).arg(i, 12, 16, QChar(u'0')));
        hashes.insert(qHash(RowKey{id, 0}));
    }
    EXPECT_EQ(hashes.size(), 1000U);
}

} // namespace
