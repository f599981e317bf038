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

TEST(AlarmSettingsKeyboard, TwoHundredAlarmsEditInPlaceAndScrollToFocus) {
    AlarmList many;
    for (int i = 0; i < 200; ++i) {
        many.append(alarmAt(QStringLiteral("%1").arg(i % 24), "00", QString::number(i)));
    }
    ViewUnderTest v(many);
    QCoreApplication::processEvents(); // lay out the scroll area's contents
    const std::vector<ShownRow> before = v.rows();
    ASSERT_EQ(before.size(), 200U);
    EXPECT_EQ(v.scrollArea()->verticalScrollBar()->value(), 0);

    before[198].remove->setFocus();
    pressInFocus(Qt::Key_Tab);
    EXPECT_EQ(QApplication::focusWidget(), before[199].enabled);
    EXPECT_GT(v.scrollArea()->verticalScrollBar()->value(), 0);

    before[199].title->setFocus();
    typeIntoFocus(QStringLiteral("!"));
    EXPECT_EQ(v.stored().at(199).title, u"199!");
    const std::vector<ShownRow> after = v.rows();
    ASSERT_EQ(after.size(), 200U);
    for (std::size_t i = 0; i < after.size(); ++i) {
        ASSERT_EQ(after[i].widget, before[i].widget) << i;
    }
}

} // namespace
