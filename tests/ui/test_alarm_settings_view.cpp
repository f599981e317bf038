#include "alarm_view_under_test.h"
#include "ui/alarm_row_key.h"
#include "ui/symbol_icons.h"

#include <QImage>

#include <set>

namespace {

QList<QUuid> idsOf(const AlarmList& alarms) {
    QList<QUuid> ids;
    for (const AlarmModel& alarm : alarms) {
        ids.append(alarm.id);
    }
    return ids;
}

void clickCheckBox(QCheckBox* box) {
    // The centre of a wide checkbox misses its box.
    QTest::mouseClick(box, Qt::LeftButton, {}, QPoint(6, box->height() / 2));
}

TEST(AlarmSettingsView, AddsNewAlarmsAtTheTopOfAnEmptyList) {
    ViewUnderTest v;
    ASSERT_NE(v.emptyMessage(), nullptr);
    EXPECT_EQ(v.emptyMessage()->text(), QStringLiteral("アラームが設定されていません"));
    EXPECT_TRUE(v.emptyMessage()->isVisible());
    EXPECT_EQ(v.emptyMessage()->palette().color(QPalette::WindowText), QColor(Qt::gray));
    EXPECT_FALSE(v.scrollArea()->isVisible());
    EXPECT_EQ(v.addButton()->text(), QStringLiteral("アラームを追加"));
    EXPECT_TRUE(v.rows().empty());

    QTest::mouseClick(v.addButton(), Qt::LeftButton);
    const AlarmList one = v.stored();
    ASSERT_EQ(one.size(), 1);
    EXPECT_EQ(one[0].hour, u"00");
    EXPECT_EQ(one[0].minutes, u"00");
    EXPECT_EQ(one[0].title, u"");
    EXPECT_FALSE(one[0].enabled);
    const std::vector<ShownRow> first = v.rows();
    ASSERT_EQ(first.size(), 1U);
    EXPECT_FALSE(first[0].enabled->isChecked());
    EXPECT_EQ(first[0].hour->text(), u"00");
    EXPECT_EQ(first[0].minutes->text(), u"00");
    EXPECT_EQ(first[0].title->text(), u"");
    EXPECT_EQ(first[0].enabled->accessibleName(), QStringLiteral("アラーム有効"));
    EXPECT_EQ(first[0].enabled->text(), u"");
    EXPECT_EQ(first[0].hour->width(), 40);
    EXPECT_EQ(first[0].minutes->placeholderText(), u"00");
    EXPECT_EQ(first[0].title->placeholderText(), QStringLiteral("アラーム内容"));
    EXPECT_FALSE(v.emptyMessage()->isVisible());
    EXPECT_TRUE(v.scrollArea()->isVisible());

    first[0].title->setFocus();
    typeText(first[0].title, QStringLiteral("a"));
    QTest::mouseClick(v.addButton(), Qt::LeftButton);
    const AlarmList two = v.stored();
    ASSERT_EQ(two.size(), 2);
    EXPECT_EQ(two[1].id, one[0].id);
    EXPECT_EQ(two[1].title, u"a");
    EXPECT_EQ(two[0].title, u"");
    const std::vector<ShownRow> rows = v.rows();
    ASSERT_EQ(rows.size(), 2U);
    EXPECT_EQ(rows[1].widget, first[0].widget); // the earlier row itself, moved down
    EXPECT_EQ(rows[0].title->text(), u"");
}

TEST(AlarmSettingsView, DeletesTheRowsOwnAlarmOnly) {
    const AlarmList three = {alarmAt("01", "00", "A"), alarmAt("02", "00", "B"), alarmAt("03", "00", "C")};
    ViewUnderTest v(three);
    std::vector<ShownRow> rows = v.rows();
    ASSERT_EQ(rows.size(), 3U);

    QTest::mouseClick(rows[1].remove, Qt::LeftButton);
    EXPECT_EQ(idsOf(v.stored()), (QList<QUuid>{three[0].id, three[2].id}));
    std::vector<ShownRow> left = v.rows();
    ASSERT_EQ(left.size(), 2U);
    EXPECT_EQ(left[0].widget, rows[0].widget);
    EXPECT_EQ(left[1].widget, rows[2].widget);

    // A second delete of the same alarm finds nothing to delete.
    v.view->deleteAlarm(three[1].id);
    EXPECT_EQ(idsOf(v.stored()), (QList<QUuid>{three[0].id, three[2].id}));

    // The second click of a double click lands on the row that moved up under the pointer.
    QTest::mouseClick(left[0].remove, Qt::LeftButton);
    QTest::mouseDClick(left[1].remove, Qt::LeftButton);
    QTest::mouseRelease(left[1].remove, Qt::LeftButton);
    EXPECT_EQ(idsOf(v.stored()), QList<QUuid>{three[2].id});

    QTest::mouseClick(v.rows().at(0).remove, Qt::LeftButton);
    EXPECT_EQ(v.settings.raw()->value(settings_keys::kAlarms).toString(), u"[]");
    EXPECT_TRUE(v.rows().empty());
    EXPECT_TRUE(v.emptyMessage()->isVisible());
}

TEST(AlarmSettingsView, UnreadableStoredListShowsEmptyAndIsKeptOnFirstAdd) {
    ViewUnderTest v;
    const QString damaged = QStringLiteral("[{\"id\":\"nope\"");
    v.settings.raw()->setValue(settings_keys::kAlarms, damaged);
    v.view->reload();
    EXPECT_TRUE(v.emptyMessage()->isVisible());

    QTest::mouseClick(v.addButton(), Qt::LeftButton);
    EXPECT_EQ(v.stored().size(), 1);
    EXPECT_EQ(v.settings.raw()->value(settings_keys::kAlarmsBackup).toString(), damaged);
}

TEST(AlarmSettingsView, TitleAndCheckboxAreStoredAtEachChange) {
    ViewUnderTest v({alarmAt("07", "30")});
    const ShownRow row = v.rows().at(0);
    const QString title = QStringLiteral(" 釣り😀\"#;\\");
    for (qsizetype typed = 1; typed <= title.size(); ++typed) {
        const qsizetype length = title[typed - 1].isHighSurrogate() ? 2 : 1;
        typeText(row.title, title.mid(typed - 1, length));
        typed += length - 1;
        EXPECT_EQ(v.stored().at(0).title, title.left(typed));
    }
    EXPECT_EQ(row.title->text(), title);

    clickCheckBox(row.enabled);
    EXPECT_TRUE(v.stored().at(0).enabled);
    QTest::keyClick(row.enabled, Qt::Key_Space);
    EXPECT_FALSE(v.stored().at(0).enabled);
    EXPECT_EQ(v.stored().at(0).hour, u"07"); // the other fields untouched
}

TEST(AlarmSettingsView, OddStoredTimesShowUnchangedUntilEdited) {
    ViewUnderTest v;
    // Written by hand: spaces and a lowercase id, which the view must not rewrite just by showing it.
    const QString handWritten = QStringLiteral(
        "[ {\"id\": \"5f0c2a9e-3b71-4d8c-a6e2-91b04f7d3c58\", \"hour\": \"7\", \"minutes\": \"5\","
        " \"title\": \"\", \"enabled\": true} ]");
    v.settings.raw()->setValue(settings_keys::kAlarms, handWritten);
    v.view->reload();
    const ShownRow row = v.rows().at(0);
    EXPECT_EQ(row.hour->text(), u"7");
    EXPECT_EQ(row.minutes->text(), u"5");
    EXPECT_TRUE(row.enabled->isChecked());
    EXPECT_EQ(v.settings.raw()->value(settings_keys::kAlarms).toString(), handWritten);

    QTest::keyClick(row.minutes, Qt::Key_End);
    typeText(row.minutes, QStringLiteral("3"));
    EXPECT_EQ(row.minutes->text(), u"53");
    EXPECT_EQ(v.stored().at(0).hour, u"7");
    EXPECT_EQ(row.hour->text(), u"7");

    QTest::keyClick(row.hour, Qt::Key_End);
    typeText(row.hour, QStringLiteral("1"));
    EXPECT_EQ(row.hour->text(), u"23");
    EXPECT_EQ(v.stored().at(0).hour, u"23");
}

// The bundled artwork must draw, or a desktop without an icon theme shows blank buttons.
TEST(AlarmSettingsView, BundledSymbolsDraw) {
    for (Symbol symbol : {Symbol::Plus, Symbol::Clock, Symbol::SpeakerBubble, Symbol::CrossCircle}) {
        const QImage image = bundledSymbolIcon(symbol).pixmap(QSize(16, 16)).toImage();
        ASSERT_FALSE(image.isNull()) << "SVG artwork did not load: is the Qt SVG plugin installed?";
        int inked = 0;
        for (int y = 0; y < image.height(); ++y) {
            for (int x = 0; x < image.width(); ++x) {
                inked += qAlpha(image.pixel(x, y)) > 0 ? 1 : 0;
            }
        }
        EXPECT_GT(inked, 10) << static_cast<int>(symbol);
    }
}

// A generated list's ids, alike but for a counter in two places: Qt's own QUuid hash folds those
// together and puts every one in the same bucket.
TEST(AlarmRowKey, PatternedIdsHashApart) {
    constexpr int kIds = 1000;
    std::set<size_t> hashes;
    for (int i = 0; i < kIds; ++i) {
        const QUuid id(QStringLiteral("%1-0000-4000-8000-%2")
                           .arg(i, 8, 16, QLatin1Char('0'))
                           .arg(i, 12, 16, QLatin1Char('0')));
        ASSERT_FALSE(id.isNull());
        hashes.insert(qHash(RowKey{id, 0}));
        hashes.insert(qHash(RowKey{id, 1}));
    }
    EXPECT_EQ(hashes.size(), std::size_t{2 * kIds});
}

} // namespace
