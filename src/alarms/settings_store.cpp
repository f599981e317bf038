#include "alarms/settings_store.h"

#include <QFile>
#include <QFileInfo>
#include <QSaveFile>
#include <QSettings>

namespace keys = settings_keys;

namespace {

std::optional<bool> strictBool(const QVariant& value) {
    if (value.typeId() == QMetaType::Bool) {
        return value.toBool();
    }
    if (value.typeId() == QMetaType::QString) {
        const QString text = value.toString();
        if (text.compare(u"true", Qt::CaseInsensitive) == 0) {
            return true;
        }
        if (text.compare(u"false", Qt::CaseInsensitive) == 0) {
            return false;
        }
    }
    return std::nullopt;
}

std::optional<AlarmList> decodeStored(const QVariant& value) {
    // The INI reader turns an unquoted text with commas into a list: that is no stored list.
    if (value.typeId() != QMetaType::QString) {
        return std::nullopt;
    }
    return decodeAlarmList(value.toString());
}

// A line that is no section, comment or key=value: QSettings skips it on reading and so loses it when
// it writes the file back.
bool hasUnreadableLines(const QByteArray& content) {
    for (const QByteArray& line : content.split('\n')) {
        const QByteArray text = line.trimmed();
        if (!text.isEmpty() && !text.startsWith('[') && !text.startsWith(';') && !text.contains('=')) {
            return true;
        }
    }
    return false;
}

} // namespace

SettingsStore::SettingsStore(std::unique_ptr<QSettings> settings)
    : settings_(std::move(settings)) {}

SettingsStore::~SettingsStore() = default;

std::unique_ptr<SettingsStore> SettingsStore::openUserStore() {
    return std::make_unique<SettingsStore>(std::make_unique<QSettings>(
        QSettings::NativeFormat, QSettings::UserScope, keys::kOrganisation, keys::kApplication));
}

bool SettingsStore::readBool(const keys::BoolKey& key) const {
    // sync() re-reads the file when another process changed it; a stat when it did not.
    settings_->sync();
    return strictBool(settings_->value(key.name)).value_or(key.defaultValue);
}

bool SettingsStore::writeBool(const keys::BoolKey& key, bool value) {
    // QSettings keeps a change it could not save and reads it back as if saved: make none then.
    if (!isWritable()) {
        return false;
    }
    settings_->sync();
    if (!keepUnreadableFile()) {
        return false;
    }
    settings_->setValue(key.name, value);
    return commit();
}

AlarmList SettingsStore::alarms() const {
    settings_->sync();
    return decodeStored(settings_->value(keys::kAlarms)).value_or(AlarmList{});
}

bool SettingsStore::setAlarms(const AlarmList& alarms) {
    const std::optional<QString> text = encodeAlarmList(alarms);
    if (!text || !isWritable()) {
        return false;
    }
    settings_->sync();
    if (!keepUnreadableFile()) {
        return false;
    }
    const QVariant stored = settings_->value(keys::kAlarms);
    if (stored.isValid() && !decodeStored(stored)) {
        settings_->setValue(keys::kAlarmsBackup, stored);
    }
    settings_->setValue(keys::kAlarms, *text);
    return commit();
}

bool SettingsStore::isWritable() const {
    // QSettings checks the file when it exists, but saves by writing a new file beside it and
    // renaming that over it, so the directory must take new files as well.
    return settings_->isWritable() && QFileInfo(QFileInfo(settings_->fileName()).absolutePath()).isWritable();
}

QString SettingsStore::fileName() const {
    return settings_->fileName();
}

bool SettingsStore::keepUnreadableFile() {
    // QSettings tells of a malformed file only once it has written it back, and from then on for
    // good, so the file itself is looked at: after the first write it is clean.
    QFile file(settings_->fileName());
    if (!file.open(QIODevice::ReadOnly)) {
        return true; // nothing on disk to lose
    }
    const QByteArray content = file.readAll();
    if (!hasUnreadableLines(content)) {
        return true;
    }
    QSaveFile copy(settings_->fileName() + QLatin1String(keys::kUnreadableFileSuffix));
    return copy.open(QIODevice::WriteOnly) && copy.write(content) == content.size() && copy.commit();
}

bool SettingsStore::commit() {
    settings_->sync();
    // Once QSettings has read a malformed file it reports FormatError for good, also after writes
    // that went through; isWritable() has already vouched for the write.
    const QSettings::Status status = settings_->status();
    return status == QSettings::NoError || status == QSettings::FormatError;
}
