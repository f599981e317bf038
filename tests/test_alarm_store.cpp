#include "alarms/alarm_model.h"
#include "alarms/settings_store.h"
#include "temp_settings.h"

#include <QFile>
#include <QJsonDocument>
#include <QTemporaryDir>

#include <gtest/gtest.h>

namespace {

namespace keys = settings_keys;

const QUuid kId1 = QUuid::fromString(u"5F0C2A9E-3B71-4D8C-A6E2-91B04F7D3C58");
const QUuid kId2 = QUuid::fromString(u"C1D4E7A0-8B25-4F63-9E1A-2D7B5C0F8A46");

AlarmList twoAlarms() {
    return {AlarmModel{kId1, QStringLiteral("07"), QStringLiteral("30"), QString(), true},
            AlarmModel{kId2, QStringLiteral("23"), QStringLiteral("05"), QStringLiteral("釣り"), false}};
}

void expectSame(const AlarmList& a, const AlarmList& b) {
    ASSERT_EQ(a.size(), b.size());
    for (qsizetype i = 0; i < a.size(); ++i) {
        EXPECT_EQ(a[i].id, b[i].id);
        EXPECT_EQ(a[i].hour, b[i].hour);
        EXPECT_EQ(a[i].minutes, b[i].minutes);
        EXPECT_EQ(a[i].title, b[i].title);
        EXPECT_EQ(a[i].enabled, b[i].enabled);
    }
}

TEST(StoredForm, NewRecord) {
    const AlarmModel a = AlarmModel::makeNew();
    const AlarmModel b = AlarmModel::makeNew();
    EXPECT_FALSE(a.id.isNull());
    EXPECT_NE(a.id, b.id);
    EXPECT_EQ(a.id.version(), QUuid::Random);
    EXPECT_EQ(a.hour, u"00");
    EXPECT_EQ(a.minutes, u"00");
    EXPECT_TRUE(a.title.isEmpty());
    EXPECT_FALSE(a.enabled);
}

TEST(StoredForm, WritesCompactUtf8WithUppercaseIds) {
    EXPECT_EQ(encodeAlarmList({}), QStringLiteral("[]"));
    const QString text = encodeAlarmList(twoAlarms()).value();
    EXPECT_FALSE(text.contains(u' '));
    EXPECT_FALSE(text.contains(u"\\u"));
    EXPECT_TRUE(text.contains(u"\"title\":\"釣り\""));
    EXPECT_TRUE(text.contains(u"\"id\":\"5F0C2A9E-3B71-4D8C-A6E2-91B04F7D3C58\""));
    EXPECT_TRUE(text.contains(u"\"enabled\":true"));
    expectSame(decodeAlarmList(text).value(), twoAlarms());
}

TEST(StoredForm, RoundTripKeepsTextsAsTheyAre) {
    AlarmList list = twoAlarms();
    const char16_t* odd[] = {u"7", u"+7", u"abc", u"", u" ", u"\"q\";#\\\n\t😀"};
    for (const char16_t* text : odd) {
        list.append(AlarmModel{QUuid::createUuid(), QString::fromUtf16(text), QString::fromUtf16(text),
                               QString::fromUtf16(text), true});
    }
    expectSame(decodeAlarmList(encodeAlarmList(list).value()).value(), list);
}

TEST(StoredForm, ReadsAnyStandardJson) {
    const QString lower = QStringLiteral(
        "[ {\"enabled\": false, \"title\": \"\\u91e3\\u308a\", \"minutes\": \"05\", \"hour\": \"23\","
        "   \"id\": \"c1d4e7a0-8b25-4f63-9e1a-2d7b5c0f8a46\", \"extra\": [1, {\"x\": null}] } ]\n");
    const AlarmList list = decodeAlarmList(lower).value();
    ASSERT_EQ(list.size(), 1);
    EXPECT_EQ(list[0].id, kId2);
    EXPECT_EQ(list[0].title, QStringLiteral("釣り"));
    // Written back in uppercase, and the unknown member is gone.
    const QString written = encodeAlarmList(list).value();
    EXPECT_TRUE(written.contains(u"C1D4E7A0-8B25-4F63-9E1A-2D7B5C0F8A46"));
    EXPECT_FALSE(written.contains(u"extra"));
}

TEST(StoredForm, OneBadElementFailsTheWholeList) {
    const QString good = QStringLiteral(
        "{\"id\":\"5F0C2A9E-3B71-4D8C-A6E2-91B04F7D3C58\",\"hour\":\"07\",\"minutes\":\"30\",\"title\":\"\","
        "\"enabled\":true}");
    const char* bad[] = {
        R"({"hour":"07","minutes":"30","title":"","enabled":true})",
        R"({"id":"5F0C2A9E-3B71-4D8C-A6E2-91B04F7D3C58","minutes":"30","title":"","enabled":true})",
        R"({"id":"5F0C2A9E-3B71-4D8C-A6E2-91B04F7D3C58","hour":"07","title":"","enabled":true})",
        R"({"id":"5F0C2A9E-3B71-4D8C-A6E2-91B04F7D3C58","hour":"07","minutes":"30","enabled":true})",
        R"({"id":"5F0C2A9E-3B71-4D8C-A6E2-91B04F7D3C58","hour":"07","minutes":"30","title":""})",
        R"({"id":"5F0C2A9E-3B71-4D8C-A6E2-91B04F7D3C58","hour":"07","minutes":"30","title":"","enabled":1})",
        R"({"id":"5F0C2A9E-3B71-4D8C-A6E2-91B04F7D3C58","hour":7,"minutes":"30","title":"","enabled":true})",
        R"({"id":"5F0C2A9E-3B71-4D8C-A6E2-91B04F7D3C58","hour":"07","minutes":"30","title":null,"enabled":true})",
        R"({"id":null,"hour":"07","minutes":"30","title":"","enabled":true})",
        R"({"id":"not-a-uuid","hour":"07","minutes":"30","title":"","enabled":true})",
        R"({"id":"{5F0C2A9E-3B71-4D8C-A6E2-91B04F7D3C58}","hour":"07","minutes":"30","title":"","enabled":true})",
        R"({"id":"5F0C2A9E3B714D8CA6E291B04F7D3C58","hour":"07","minutes":"30","title":"","enabled":true})",
        R"({"id":"5F0C2A9E-3B71-4D8C-A6E2-91B04F7D3C5G","hour":"07","minutes":"30","title":"","enabled":true})",
        R"({"id":"5F0C2A9E-3B71-4D8C-A6E2-91B04F7D3C58","hour":"07","minutes":"30","title":"","enabled":"true"})",
        R"([])",
        R"("alarm")",
    };
    ASSERT_TRUE(decodeAlarmList(u'[' + good + u']'));
    for (const char* element : bad) {
        const QString text = u'[' + good + u',' + QString::fromUtf8(element) + u']';
        EXPECT_FALSE(decodeAlarmList(text)) << element;
    }
    // An escaped lone surrogate has no UTF-8 form: it could never be written back.
    const QString lone =
        QString(good).replace(QStringLiteral("\"title\":\"\""), QStringLiteral("\"title\":\"\\ud800 x\""));
    EXPECT_FALSE(decodeAlarmList(u'[' + lone + u']'));
    const char16_t* notLists[] = {u"",     u"not json", u"{}",  u"{\"alarms\":[]}", u"[",
                                  u"null", u"7",        u"[]x", u"\xD800[]"};
    for (const char16_t* text : notLists) {
        EXPECT_FALSE(decodeAlarmList(QString::fromUtf16(text))) << QString::fromUtf16(text).toStdString();
    }
}

TEST(StoredForm, TextsWithoutAUtf8FormAreNotEncoded) {
    AlarmList list = twoAlarms();
    list[1].title = QString(QChar(0xD800));
    EXPECT_FALSE(encodeAlarmList(list));
}

TEST(SettingsStore, DefaultsAndStrictBooleans) {
    TempSettings temp;
    EXPECT_FALSE(temp.store->readBool(keys::kEnableTimeSignal));
    EXPECT_TRUE(temp.store->readBool(keys::kEnableAlarm));
    EXPECT_TRUE(temp.store->alarms().isEmpty());

    struct Case {
        QVariant stored;
        bool timeSignal; // read of enableTimeSignal (default false)
        bool alarm;      // read of enableAlarm (default true)
    };
    const Case cases[] = {
        {true, true, true},
        {false, false, false},
        {QStringLiteral("TRUE"), true, true},
        {QStringLiteral("False"), false, false},
        {QStringLiteral("banana"), false, true},
        {QStringLiteral("1"), false, true},
        {QStringLiteral(""), false, true},
        {42, false, true},
        {QStringList{QStringLiteral("true"), QStringLiteral("x")}, false, true},
    };
    for (const Case& c : cases) {
        auto raw = temp.raw();
        raw->setValue(keys::kEnableTimeSignal.name, c.stored);
        raw->setValue(keys::kEnableAlarm.name, c.stored);
        raw->sync();
        // A fresh store reads it back from the file, where every value is text.
        const auto fresh = temp.open();
        EXPECT_EQ(fresh->readBool(keys::kEnableTimeSignal), c.timeSignal)
            << c.stored.toString().toStdString();
        EXPECT_EQ(fresh->readBool(keys::kEnableAlarm), c.alarm) << c.stored.toString().toStdString();
    }
}

TEST(SettingsStore, WritesAreOnDiskWhenTheyReturn) {
    TempSettings temp;
    ASSERT_TRUE(temp.store->writeBool(keys::kEnableTimeSignal, true));
    ASSERT_TRUE(temp.store->setAlarms(twoAlarms()));
    // Another process's view of the file, not this process's cache.
    QSettings file(temp.path, QSettings::IniFormat);
    EXPECT_EQ(file.value(keys::kEnableTimeSignal.name).toString(), u"true");
    expectSame(decodeAlarmList(file.value(keys::kAlarms).toString()).value(), twoAlarms());
    EXPECT_FALSE(file.contains(keys::kAlarmsBackup));
}

TEST(SettingsStore, SeesAnotherWritersChanges) {
    TempSettings temp;
    ASSERT_TRUE(temp.store->alarms().isEmpty());
    const auto other = temp.open();
    ASSERT_TRUE(other->setAlarms(twoAlarms()));
    expectSame(temp.store->alarms(), twoAlarms());
}

TEST(SettingsStore, UnreadableListIsBackedUpBeforeItIsReplaced) {
    const QVariant unreadable[] = {
        QStringLiteral("[{\"id\":\"broken\"}]"),
        QStringLiteral("garbage ;# \\ 釣り"),
        QStringList{QStringLiteral("[{\"id\":1}"), QStringLiteral("{}]")},
    };
    for (const QVariant& stored : unreadable) {
        TempSettings temp;
        {
            auto raw = temp.raw();
            raw->setValue(keys::kAlarms, stored);
        }
        EXPECT_TRUE(temp.store->alarms().isEmpty());
        // Reading changes nothing on disk.
        EXPECT_EQ(temp.raw()->value(keys::kAlarms), stored);

        AlarmList fresh{AlarmModel::makeNew()};
        ASSERT_TRUE(temp.store->setAlarms(fresh));
        const auto file = temp.raw();
        EXPECT_EQ(file->value(keys::kAlarmsBackup), stored);
        expectSame(temp.store->alarms(), fresh);

        // A readable list is replaced without touching the backup.
        ASSERT_TRUE(temp.store->setAlarms(twoAlarms()));
        EXPECT_EQ(temp.raw()->value(keys::kAlarmsBackup), stored);
    }
}

TEST(SettingsStore, ListThatCannotBeEncodedLeavesTheStoredOneAlone) {
    TempSettings temp;
    ASSERT_TRUE(temp.store->setAlarms(twoAlarms()));
    AlarmList broken = twoAlarms();
    broken[0].title = QString(QChar(0xDC00));
    EXPECT_FALSE(temp.store->setAlarms(broken));
    expectSame(temp.store->alarms(), twoAlarms());
    expectSame(decodeAlarmList(temp.raw()->value(keys::kAlarms).toString()).value(), twoAlarms());
}

TEST(SettingsStore, MalformedFileIsCopiedWholeBeforeTheFirstSave) {
    TempSettings temp;
    const QString copyPath = temp.path + QLatin1String(keys::kUnreadableFileSuffix);
    const auto copied = [&] {
        QFile copy(copyPath);
        return copy.open(QIODevice::ReadOnly) ? copy.readAll() : QByteArray("(no copy)");
    };
    const char bytes[] = "not settings\n\0\xff[[[ oops\nalarms=[{\"id\": broken\n=== \\ \"\n";
    const QByteArray garbage(bytes, sizeof bytes - 1);
    {
        QFile file(temp.path);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(garbage);
    }
    // Writing the file back drops the lines QSettings could not read: they are kept beside it first.
    const auto store = temp.open();
    ASSERT_TRUE(store->setAlarms(twoAlarms()));
    EXPECT_EQ(copied(), garbage);
    // QSettings reports such a file for good, also after its own clean writes; the copy is not
    // replaced by a clean file, and later saves go through, also from a second store.
    const auto second = temp.open();
    ASSERT_TRUE(second->alarms().size() == 2);
    ASSERT_TRUE(store->setAlarms(twoAlarms()));
    ASSERT_TRUE(store->writeBool(keys::kEnableTimeSignal, true));
    ASSERT_TRUE(second->writeBool(keys::kEnableAlarm, false));
    EXPECT_EQ(copied(), garbage);
    expectSame(decodeAlarmList(temp.raw()->value(keys::kAlarms).toString()).value(), twoAlarms());

    // A well-formed file is never copied.
    TempSettings clean;
    ASSERT_TRUE(clean.store->setAlarms(twoAlarms()));
    ASSERT_TRUE(clean.open()->writeBool(keys::kEnableTimeSignal, true));
    EXPECT_FALSE(QFile::exists(clean.path + QLatin1String(keys::kUnreadableFileSuffix)));
}

TEST(SettingsStore, UnwritableStoreKeepsNoUnsavedChange) {
    // Its directory can't be made because a plain file is in the way, which stops root as well.
    QTemporaryDir dir;
    QFile blocker(dir.filePath(QStringLiteral("blocker")));
    ASSERT_TRUE(blocker.open(QIODevice::WriteOnly));
    blocker.close();
    SettingsStore store(std::make_unique<QSettings>(
        dir.filePath(QStringLiteral("blocker/variredu-divar.conf")), QSettings::IniFormat));
    EXPECT_FALSE(store.isWritable());
    EXPECT_FALSE(store.setAlarms(twoAlarms()));
    EXPECT_FALSE(store.writeBool(keys::kEnableTimeSignal, true));
    // Nothing reads back as if it had been saved.
    EXPECT_TRUE(store.alarms().isEmpty());
    EXPECT_FALSE(store.readBool(keys::kEnableTimeSignal));
}

} // namespace
