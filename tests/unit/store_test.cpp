#include "support.h"

#include <QDir>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

#include <gtest/gtest.h>

#include <cerrno>

#include <unistd.h>

using namespace settings_keys;
using namespace Qt::StringLiterals;

// A list is read whole or not at all: one bad element (a member missing, null or of another type, an
// id not in the plain UUID form, a text with a lone surrogate) makes it unreadable, as does any other
// JSON or text; unknown members are left alone. Written back as read: texts exactly, list order, ids
// in capitals; a text with no UTF-8 form is not written at all.
TEST(StoredForm, WholeListsOnlyAndWrittenBackAsRead) {
    const QJsonObject good = encodeAlarm(alarmAt("+7", "30", "釣り \"q\";#\\\n😀"));
    const auto listWith = [&](const char* key, const QJsonValue& value) {
        QJsonObject changed = good;
        changed.insert(QLatin1String(key), value); // an undefined value removes the member
        return QString::fromUtf8(QJsonDocument(QJsonArray{good, changed}).toJson(QJsonDocument::Compact));
    };
    ASSERT_EQ(decodeAlarmList(listWith("unknown", 1)).value_or(AlarmList()).size(), 2);
    // clang-format off
    const QString unreadable[] = {listWith("hour", QJsonValue::Undefined), listWith("minutes", 7),
        listWith("title", QJsonValue::Null), listWith("id", "not-a-uuid"), listWith("enabled", 1),
        listWith("id", "{5F0C2A9E-3B71-4D8C-A6E2-91B04F7D3C58}"),
        listWith("title", "@").replace(u'@', QLatin1String(R"(\ud800)")), R"({"alarms":[]})", "x"};
    // clang-format on
    for (const QString& text : unreadable) {
        EXPECT_FALSE(decodeAlarmList(text)) << text.toStdString();
    }
    const QString stored = listWith("id", "C1D4E7A0-8B25-4F63-9E1A-2D7B5C0F8A46");
    EXPECT_EQ(encodeAlarmList(decodeAlarmList(stored).value_or(AlarmList())), stored);
    EXPECT_FALSE(encodeAlarmList({{QUuid::createUuid(), "07", "00", QString(QChar(0xD800)), true}}));
}

TEST(SettingsStore, BooleansAreTrueOrFalseInAnyCaseElseTheDefault) {
    // clang-format off
    const std::pair<const char*, std::optional<bool>> rows[] = {{"TRUE", true}, {"fAlSe", false},
        {"banana", {}}, {"1", {}}, {"yes", {}}};
    // clang-format on
    for (const auto& [text, value] : rows) {
        TempSettings temp;
        ASSERT_TRUE(writeFile(temp.path, QByteArray("enableTimeSignal=@\nenableAlarm=@").replace('@', text)));
        EXPECT_EQ(temp.store->readBool(kEnableTimeSignal), value.value_or(false)) << text;
        EXPECT_EQ(temp.store->readBool(kEnableAlarm), value.value_or(true)) << text;
    }
}

// A read-only file or directory: the write fails, and nothing unsaved reads back as if saved. Root
// writes through any permission, so this runs as an ordinary user.
TEST(SettingsStore, UnwritableFileOrDirectoryFailsTheWrite) {
    const bool root = ::geteuid() == 0;
    if (root && (::setresgid(65534, 65534, 0) != 0 || ::setresuid(65534, 65534, 0) != 0))
        GTEST_SKIP() << "running as root, and no ordinary user to run as here";
    for (const bool directory : {false, true}) {
        TempSettings temp;
        EXPECT_TRUE(temp.store->setAlarms({alarmAt("07", "00", "kept")}));
        const QString target = directory ? temp.dir.path() : temp.path;
        EXPECT_TRUE(QFile::setPermissions(target, QFile::ReadOwner | QFile::ExeOwner));
        EXPECT_FALSE(temp.store->setAlarms({alarmAt("08", "00", "lost")})) << directory;
        EXPECT_FALSE(temp.store->writeBool(kEnableTimeSignal, true)) << directory;
        EXPECT_TRUE(temp.store->alarms().value(0).title == u"kept" &&
                    !temp.store->readBool(kEnableTimeSignal));
        QFile::setPermissions(target, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    }
    ASSERT_TRUE(!root || (::setresuid(0, 0, 0) == 0 && ::setresgid(0, 0, 0) == 0));
}

// Saves are on disk when they return, and lose nothing that could not be read: a stored list goes to
// the backup key, a file with lines a rewrite drops (no setting, a comment) is copied whole beside
// it; later saves leave both alone.
TEST(SettingsStore, SavesKeepWhatCouldNotBeRead) {
    const char garbage[] = "not settings\n\0\xff[[[ oops\nalarms=[{\"id\": broken\n=== \\ \"\n";
    // clang-format off
    const std::pair<QByteArray, bool> rows[] = { // the file, and whether a rewrite loses lines of it
        {"[General]\nalarms=\"[{\\\"id\\\":\\\"broken\\\"}]\\x1f\\x37\\t\"\n", false},
        {"alarms=a, b\n", false}, {QByteArray(garbage, sizeof garbage - 1), true},
        {"; my alarms\nalarms=x\n", true}, {"# old: alarms=[]\nalarms=x\n", true}};
    // clang-format on
    for (const auto& [content, loses] : rows) {
        TempSettings temp;
        ASSERT_TRUE(writeFile(temp.path, content));
        EXPECT_TRUE(temp.store->alarms().isEmpty()) << content.constData();
        const QVariant stored = QSettings(temp.path, QSettings::IniFormat).value(kAlarms);
        ASSERT_TRUE(stored.isValid());
        for (const char* title : {"first", "later"}) {
            ASSERT_TRUE(temp.store->setAlarms({alarmAt("07", "00", title)}));
            EXPECT_TRUE(bytesOf(temp.path).contains(title));
            EXPECT_EQ(QSettings(temp.path, QSettings::IniFormat).value(kAlarmsBackup), stored);
            EXPECT_EQ(bytesOf(temp.path + kUnreadableFileSuffix), loses ? content : "(no file)");
        }
    }
}

// A write that stops half way, whether the system says so (a full disk) or claims it wrote all (as
// QSaveFile took a short write on a full disk for a whole one): the file stays as it was, byte for
// byte, and every save fails, said once for the run of failures. The first save with room again
// writes the list as asked and the switch from before, and every save after it reads back at once.
TEST(SettingsStore, AWriteThatStopsHalfWayLeavesTheFileAsItWas) {
    for (const bool told : {true, false}) {
        SCOPED_TRACE(told ? "told" : "claimed all");
        TempSettings temp;
        ASSERT_TRUE(temp.store->writeBool(kEnableTimeSignal, true));
        ASSERT_TRUE(temp.store->setAlarms({alarmAt("07", "00", "kept")}));
        const QByteArray before = bytesOf(temp.path);
        bool full = true;
        int calls = 0;
        // On a full disk, half of the first write, then no room at all.
        const auto write = [&](int fd, const void* data, size_t size) -> ssize_t {
            if (!full) {
                return ::write(fd, data, size);
            }
            if (calls++ > 0) {
                errno = ENOSPC;
                return -1;
            }
            const ssize_t wrote = ::write(fd, data, size / 2);
            return told ? wrote : ssize_t(size);
        };
        std::FILE* messages = std::tmpfile();
        const std::unique_ptr<SettingsStore> store = temp.open(WholeFileWriter(write), messages);
        EXPECT_FALSE(store->setAlarms({alarmAt("08", "00", "new"), alarmAt("07", "00", "kept")}));
        const std::string reason = told ? "No space left on device" : "Input/output error";
        EXPECT_EQ(store->saveFailure().value_or(u"saved"_s).toStdString(), reason);
        EXPECT_FALSE(store->writeBool(kEnableAlarm, false));
        EXPECT_EQ(bytesOf(temp.path).toStdString(), before.toStdString());
        full = false;
        EXPECT_TRUE(store->setAlarms({alarmAt("08", "00", "new"), alarmAt("07", "00", "kept")}));
        EXPECT_FALSE(store->saveFailure());
        EXPECT_EQ(temp.open()->alarms().size(), 2);
        EXPECT_TRUE(temp.open()->readBool(kEnableTimeSignal));
        EXPECT_EQ(QDir(temp.dir.path()).entryList(QDir::Files), QStringList{u"variredu-divar.conf"_s});
        // Saves of the same size within one tick of the file system's clock: QSettings must see each.
        for (int i = 0; i < 50; ++i) {
            ASSERT_TRUE(store->setAlarms({alarmAt(i % 2 ? "11" : "10", "00")}));
            ASSERT_EQ(store->alarms().value(0).hour, i % 2 ? u"11" : u"10") << i;
        }
        std::rewind(messages);
        char said[512] = {};
        EXPECT_EQ(std::fread(said, 1, sizeof said - 1, messages) > 0 ? said : "",
                  "variredu-divar: settings can't be saved to " + temp.path.toStdString() + ": " + reason +
                      "; changes will be lost\n");
        std::fclose(messages);
    }
}
