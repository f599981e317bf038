#include "alarm_view_under_test.h"

#include <QScrollBar>

namespace {

void typeIntoFocus(const QString& text) {
    typeText(QApplication::focusWidget(), text);
}

void pressInFocus(Qt::Key key, Qt::KeyboardModifiers modifiers = Qt::NoModifier) {
    QTest::keyClick(QApplication::focusWidget(), key, modifiers);
}

TEST(AlarmSettingsKeyboard, FocusAndCursorStayWhileTypingAddingAndDeleting) {
    ViewUnderTest v({alarmAt("01", "00", "first"), alarmAt("02", "00", "second")});
    const std::vector<ShownRow> rows = v.rows();
    QLineEdit* title = rows[1].title;
    title->setFocus();
    ASSERT_EQ(QApplication::focusWidget(), title);
    pressInFocus(Qt::Key_Home);
    for (int i = 0; i < 3; ++i) {
        pressInFocus(Qt::Key_Right);
    }
    typeIntoFocus(QStringLiteral("X"));
    EXPECT_EQ(v.stored().at(1).title, u"secXond");

    QTest::mouseClick(v.addButton(), Qt::LeftButton);
    QTest::mouseClick(rows[0].remove, Qt::LeftButton);
    ASSERT_EQ(v.stored().size(), 2);
    EXPECT_EQ(v.rows().at(1).title, title);
    EXPECT_EQ(QApplication::focusWidget(), title);
    EXPECT_EQ(title->cursorPosition(), 4);
    typeIntoFocus(QStringLiteral("Y"));
    EXPECT_EQ(v.stored().at(1).title, u"secXYond");

    // Replacing the text of a time field keeps it focused.
    QLineEdit* hour = rows[1].hour;
    hour->setFocus();
    pressInFocus(Qt::Key_A, Qt::ControlModifier);
    typeIntoFocus(QStringLiteral("1"));
    EXPECT_EQ(hour->text(), u"01");
    typeIntoFocus(QStringLiteral("5"));
    EXPECT_EQ(hour->text(), u"15");
    EXPECT_EQ(QApplication::focusWidget(), hour);
    EXPECT_EQ(v.stored().at(1).hour, u"15");
}

TEST(AlarmSettingsKeyboard, TabFollowsReadingOrderAndSpaceActs) {
    ViewUnderTest v({alarmAt("01", "00")});
    v.addButton()->setFocus();
    pressInFocus(Qt::Key_Space); // the new row is made after the old one but stands above it
    ASSERT_EQ(v.stored().size(), 2);

    std::vector<QWidget*> expected;
    for (const ShownRow& row : v.rows()) {
        expected.insert(expected.end(), {row.enabled, row.hour, row.minutes, row.title, row.remove});
    }
    std::vector<QWidget*> visited;
    for (std::size_t i = 0; i < expected.size(); ++i) {
        pressInFocus(Qt::Key_Tab);
        visited.push_back(QApplication::focusWidget());
    }
    EXPECT_EQ(visited, expected);
    pressInFocus(Qt::Key_Backtab);
    EXPECT_EQ(QApplication::focusWidget(), expected[expected.size() - 2]);

    const QUuid kept = v.stored().at(0).id;
    pressInFocus(Qt::Key_Tab);
    pressInFocus(Qt::Key_Space); // the last row's delete button
    ASSERT_EQ(v.stored().size(), 1);
    EXPECT_EQ(v.stored().at(0).id, kept);
}

std::vector<QString> titles(const std::vector<ShownRow>& rows) {
    std::vector<QString> texts;
    for (const ShownRow& row : rows) {
        texts.push_back(row.title->text());
    }
    return texts;
}

qsizetype rowsMade(const ViewUnderTest& v) {
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    return v.view->findChildren<QWidget*>(QStringLiteral("alarmRow")).size();
}

// However long the list, only the rows in sight exist: scrolling and Tab bring the others in, and
// the row being edited stays, focus and all, while the list scrolls away from it.
TEST(AlarmSettingsKeyboard, TenThousandAlarmsMakeOnlyTheRowsInSight) {
    constexpr int kAlarms = 10000;
    constexpr qsizetype kAtMost = 20; // a 360-pixel view shows about nine
    AlarmList many;
    for (int i = 0; i < kAlarms; ++i) {
        many.append(alarmAt(QString::number(i % 24), "00", QString::number(i)));
    }
    ViewUnderTest v(many);
    QCoreApplication::processEvents();
    QScrollBar* bar = v.scrollArea()->verticalScrollBar();
    const std::vector<ShownRow> top = v.rows();
    ASSERT_GE(top.size(), 3U);
    EXPECT_LE(rowsMade(v), kAtMost);
    EXPECT_EQ(titles(top).front(), u"0");
    EXPECT_EQ(titles(top).back(), QString::number(top.size() - 1));

    // Tab walks on past the rows first made, the view following it.
    top.front().remove->setFocus();
    for (int row = 1; row <= 3 * kAtMost; ++row) {
        pressInFocus(Qt::Key_Tab);
        const auto* box = qobject_cast<QCheckBox*>(QApplication::focusWidget());
        ASSERT_NE(box, nullptr) << row;
        EXPECT_EQ(box->parentWidget()->findChild<QLineEdit*>(QStringLiteral("titleField"))->text(),
                  QString::number(row));
        for (int control = 0; control < 4; ++control) {
            pressInFocus(Qt::Key_Tab);
        }
    }
    EXPECT_GT(bar->value(), 0);
    EXPECT_LE(rowsMade(v), kAtMost);

    bar->setValue(bar->maximum());
    const std::vector<ShownRow> bottom = v.rows();
    EXPECT_EQ(titles(bottom).back(), QString::number(kAlarms - 1));
    QLineEdit* editing = bottom.back().title;
    editing->setFocus();
    typeIntoFocus(QStringLiteral("!"));
    EXPECT_EQ(v.stored().at(kAlarms - 1).title, u"9999!");

    bar->setValue(0);
    EXPECT_LE(rowsMade(v), kAtMost + 1);
    EXPECT_EQ(v.rows().back().title, editing);
    EXPECT_EQ(titles(v.rows()).front(), u"0");
    EXPECT_EQ(QApplication::focusWidget(), editing);
    typeIntoFocus(QStringLiteral("?"));
    EXPECT_EQ(v.stored().at(kAlarms - 1).title, u"9999!?");
    EXPECT_EQ(v.stored().size(), kAlarms);
}

} // namespace
