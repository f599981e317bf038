#include "alarm_view_under_test.h"

namespace {

enum class Field { Hour, Minutes };
enum class Entry { Typed, Pasted };

struct Case {
    Field field;
    Entry entry;
    QString text; // replaces the whole field
    const char* shown;
};

// Each change of a time field stores the sanitized text, shows it with the cursor at its end and
// leaves the other field alone. The sanitizing itself is tested on its own; these are the ways a
// change reaches the field.
TEST(AlarmTimeFields, SanitizeEveryChange) {
    const Case cases[] = {
        {Field::Hour, Entry::Typed, QStringLiteral("7"), "07"},
        {Field::Hour, Entry::Typed, QStringLiteral("-5"), "05"},
        {Field::Hour, Entry::Typed, QStringLiteral(""), "00"},
        {Field::Hour, Entry::Typed, QStringLiteral("１２"), "00"},
        {Field::Hour, Entry::Typed, QStringLiteral("٣"), "00"},
        {Field::Hour, Entry::Typed, QStringLiteral("235"), "23"}, // a digit after 23
        {Field::Hour, Entry::Pasted, QStringLiteral("99999999999999999999"), "00"},
        {Field::Hour, Entry::Pasted, QStringLiteral("時間は１２時 or 7pm"), "07"},
        {Field::Hour, Entry::Pasted, QString(20000, u'x') + u'9', "09"},
        {Field::Minutes, Entry::Typed, QStringLiteral("60"), "59"},
        {Field::Minutes, Entry::Typed, QStringLiteral("5"), "05"},
        {Field::Minutes, Entry::Pasted, QStringLiteral(" 42 分😀"), "42"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text.left(30).toStdString());
        ViewUnderTest v({alarmAt("11", "22")});
        const ShownRow row = v.rows().at(0);
        QLineEdit* field = c.field == Field::Hour ? row.hour : row.minutes;
        field->selectAll();
        if (c.entry == Entry::Pasted) {
            pasteText(field, c.text);
        } else if (c.text.isEmpty()) {
            QTest::keyClick(field, Qt::Key_Backspace);
        } else {
            typeText(field, c.text);
        }
        EXPECT_EQ(field->text(), QLatin1String(c.shown));
        EXPECT_EQ(field->cursorPosition(), 2);
        const AlarmModel stored = v.stored().at(0);
        EXPECT_EQ(c.field == Field::Hour ? stored.hour : stored.minutes, QLatin1String(c.shown));
        EXPECT_EQ(c.field == Field::Hour ? stored.minutes : stored.hour,
                  c.field == Field::Hour ? u"22" : u"11");
    }
}

} // namespace
