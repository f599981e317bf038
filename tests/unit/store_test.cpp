#include "support.h"

#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

#include <gtest/gtest.h>

#include <unistd.h>

using namespace settings_keys;

static QByteArray bytesOf(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("(no file)");
}

// Every field of every alarm, for comparing lists.
static QStringList fieldsOf(const AlarmList& list) {
    QStringList fields;
    for (const AlarmModel& a : list) {
        fields << a.id.toString() << a.hour << a.minutes << a.title << QString::number(a.enabled);
    }
    return fields;
}

// A list with a missing member, a null, a wrong JSON type or an id that is no UUID is unreadable as
// a whole, as are other JSON and malformed texts.
TEST(StoredForm, OneBadElementMakesTheWholeListUnreadable) {
    const QJsonObject good = encodeAlarm(alarmAt("07", "30"));
    const auto listWith = [&](const QJsonValue& second) {
        return QString::fromUtf8(QJsonDocument(QJsonArray{good, second}).toJson(QJsonDocument::Compact));
    };
    ASSERT_EQ(decodeAlarmList(listWith(good)).value_or(AlarmList()).size(), 2);
    const QJsonValue none(QJsonValue::Undefined), null;
    // clang-format off
    const std::pair<const char*, QJsonValue> changes[] = {{"id", none}, {"id", null}, {"id", 7},
        {"id", "not-a-uuid"}, {"id", "{5F0C2A9E-3B71-4D8C-A6E2-91B04F7D3C58}"},
        {"id", "5F0C2A9E3B714D8CA6E291B04F7D3C58"}, {"id", "5F0C2A9E-3B71-4D8C-A6E2-91B04F7D3C5G"},
        {"hour", none}, {"hour", null}, {"hour", 7}, {"minutes", none}, {"minutes", null}, {"minutes", 7},
        {"title", none}, {"title", null}, {"title", 7}, {"enabled", none}, {"enabled", null},
        {"enabled", "true"}, {"enabled", 1}};
    QStringList texts{"x", "", "{}", "[", "null", "7", "[]x", R"({"alarms":[]})", listWith(QJsonArray()),
        listWith("alarm"), listWith(good).replace(R"("title":"")", R"("title":"\ud800 x")")};
    // clang-format on
    for (const auto& [key, value] : changes) {
        QJsonObject changed = good;
        changed.insert(QLatin1String(key), value); // an undefined value removes the member
        texts << listWith(changed);
    }
    for (const QString& text : std::as_const(texts)) {
        EXPECT_FALSE(decodeAlarmList(text)) << text.toStdString();
    }
}

TEST(StoredForm, RoundTripKeepsTextsAndOrder) {
    // Written by hand: a lowercase id, members in another order, escapes, an unknown member.
    AlarmList list =
        decodeAlarmList(QStringLiteral(R"([{"enabled":false,"title":"\u91e3\u308a","minutes":"05",)"
                                       R"("hour":"23","id":"c1d4e7a0-8b25-4f63-9e1a-2d7b5c0f8a46","x":1}])"))
            .value_or(AlarmList());
    ASSERT_EQ(fieldsOf(list).join(u'|'), u"{c1d4e7a0-8b25-4f63-9e1a-2d7b5c0f8a46}|23|05|釣り|0");
    for (const char16_t* text : {u"7", u"+7", u"abc", u"", u" ", u"\"q\";#\\\n\t😀"}) {
        list.append({QUuid::createUuid(), QString::fromUtf16(text), QString::fromUtf16(text),
                     QString::fromUtf16(text), true});
    }
    const QString written = encodeAlarmList(list).value_or(QString());
    EXPECT_TRUE(written.contains(u"\"C1D4E7A0-8B25-4F63-9E1A-2D7B5C0F8A46\"")) << written.toStdString();
    EXPECT_EQ(fieldsOf(decodeAlarmList(written).value_or(AlarmList())), fieldsOf(list));
    list[3].title = QString(QChar(0xD800)); // no UTF-8 form
    EXPECT_FALSE(encodeAlarmList(list));
}

TEST(SettingsStore, BooleansAreTrueOrFalseInAnyCaseElseTheDefault) {
    // clang-format off
    const std::pair<const char*, std::optional<bool>> rows[] = {{"true", true}, {"TRUE", true},
        {"False", false}, {"fAlSe", false}, {"banana", {}}, {"1", {}}, {"0", {}}, {"yes", {}}, {"", {}}};
    // clang-format on
    for (const auto& [stored, value] : rows) {
        TempSettings temp;
        QFile file(temp.path);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly) &&
                    file.write(QByteArray("enableTimeSignal=@\nenableAlarm=@").replace('@', stored)) &&
                    file.flush());
        EXPECT_EQ(temp.store->readBool(kEnableTimeSignal), value.value_or(false)) << stored;
        EXPECT_EQ(temp.store->readBool(kEnableAlarm), value.value_or(true)) << stored;
    }
}

// A read-only file or directory: the write fails, the file stays, and nothing unsaved reads back
// as if saved. Root writes through any permission, so this runs as an ordinary user.
TEST(SettingsStore, UnwritableFileOrDirectoryFailsTheWriteAndKeepsTheFile) {
    const bool root = ::geteuid() == 0;
    if (root && (::setresgid(65534, 65534, 0) != 0 || ::setresuid(65534, 65534, 0) != 0))
        GTEST_SKIP() << "running as root, and no ordinary user to run as here";
    for (const bool directory : {false, true}) {
        TempSettings temp;
        EXPECT_TRUE(temp.store->setAlarms({alarmAt("07", "00", "kept")}));
        const QString target = directory ? temp.dir.path() : temp.path;
        EXPECT_TRUE(QFile::setPermissions(target, QFile::ReadOwner | QFile::ExeOwner));
        const QByteArray before = bytesOf(temp.path);
        EXPECT_FALSE(temp.store->setAlarms({alarmAt("08", "00", "lost")})) << directory;
        EXPECT_FALSE(temp.store->writeBool(kEnableTimeSignal, true)) << directory;
        EXPECT_EQ(bytesOf(temp.path), before) << directory;
        EXPECT_EQ(temp.open()->alarms().value(0).title, u"kept") << directory;
        EXPECT_FALSE(temp.store->readBool(kEnableTimeSignal)) << directory;
        QFile::setPermissions(target, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    }
    ASSERT_TRUE(!root || (::setresuid(0, 0, 0) == 0 && ::setresgid(0, 0, 0) == 0));
}

// Saves lose nothing that could not be read: a stored list goes to the backup key, a file with
// lines that are no setting is copied whole beside it; later saves leave both alone.
TEST(SettingsStore, SavesKeepWhatCouldNotBeRead) {
    const char garbage[] = "not settings\n\0\xff[[[ oops\nalarms=[{\"id\": broken\n=== \\ \"\n";
    for (const QByteArray& content : {QByteArray("[General]\nalarms=\"[{\\\"id\\\":\\\"broken\\\"}]\"\n"),
                                      QByteArray("alarms=a, b\n"), QByteArray(garbage, sizeof garbage - 1)}) {
        TempSettings temp;
        QFile file(temp.path);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly) && file.write(content) == content.size() && file.flush());
        // The store reads the file first: QSettings tells of a malformed file only to its first reader.
        EXPECT_TRUE(temp.store->alarms().isEmpty()) << content.constData();
        const QVariant stored = QSettings(temp.path, QSettings::IniFormat).value(kAlarms);
        for (const char* title : {"first", "later"}) {
            ASSERT_TRUE(temp.store->setAlarms({alarmAt("07", "00", title)}));
            EXPECT_EQ(temp.open()->alarms().value(0).title, QLatin1String(title));
            EXPECT_TRUE(stored.isValid() &&
                        QSettings(temp.path, QSettings::IniFormat).value(kAlarmsBackup) == stored)
                << stored.toString().toStdString();
            EXPECT_EQ(bytesOf(temp.path + kUnreadableFileSuffix),
                      content.contains("not settings") ? content : "(no file)");
        }
    }
}
