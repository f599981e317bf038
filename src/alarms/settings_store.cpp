#include "alarms/settings_store.h"

#include "alarms/ini_text.h"

#include <QFile>
#include <QFileInfo>
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

} // namespace

SettingsStore::SettingsStore(std::unique_ptr<QSettings> settings, WholeFileWriter writer, std::FILE* messages)
    : settings_(std::move(settings))
    , writer_(std::move(writer))
    , messages_(messages) {}

SettingsStore::~SettingsStore() = default;

std::unique_ptr<SettingsStore> SettingsStore::openUserStore() {
    const QString path =
        QSettings(QSettings::NativeFormat, QSettings::UserScope, keys::kOrganisation, keys::kApplication)
            .fileName();
    // Opened by its path, QSettings knows this one file only. Opened by name, it also reads (or with
    // fallbacks off, still stats at every sync) files the README never names, such as
    // $XDG_CONFIG_HOME/variredu-divar.conf and /etc/xdg.
    return std::make_unique<SettingsStore>(std::make_unique<QSettings>(path, QSettings::NativeFormat));
}

bool SettingsStore::readBool(const keys::BoolKey& key) const {
    // sync() re-reads the file when another process changed it; a stat when it did not.
    settings_->sync();
    return strictBool(settings_->value(key.name)).value_or(key.defaultValue);
}

bool SettingsStore::writeBool(const keys::BoolKey& key, bool value) {
    return save({{QString::fromLatin1(key.name), value}});
}

AlarmList SettingsStore::alarms() const {
    settings_->sync();
    return decodeStored(settings_->value(keys::kAlarms)).value_or(AlarmList{});
}

bool SettingsStore::setAlarms(const AlarmList& alarms) {
    const std::optional<QString> text = encodeAlarmList(alarms);
    if (!text) {
        return false;
    }
    settings_->sync();
    QVariantMap changes{{QString::fromLatin1(keys::kAlarms), *text}};
    const QVariant stored = settings_->value(keys::kAlarms);
    if (stored.isValid() && !decodeStored(stored)) {
        changes.insert(QString::fromLatin1(keys::kAlarmsBackup), stored);
    }
    return save(changes);
}

bool SettingsStore::isWritable() const {
    // QSettings checks the file when it exists, but saves go to a new file beside it that is
    // renamed over it, so the directory must take new files as well.
    return settings_->isWritable() && QFileInfo(QFileInfo(settings_->fileName()).absolutePath()).isWritable();
}

QString SettingsStore::fileName() const {
    return settings_->fileName();
}

bool SettingsStore::save(const QVariantMap& changes) {
    const QString path = settings_->fileName();
    QFile file(path);
    const bool opened = file.open(QIODevice::ReadOnly);
    if (!opened && file.exists()) {
        return report(file.errorString()); // what it holds can't be known, so it is not replaced
    }
    const QByteArray before = opened ? file.readAll() : QByteArray();
    settings_->sync();
    QVariantMap values;
    for (const QString& key : settings_->childKeys()) {
        if (!key.isEmpty()) { // a line "=value": lost, as losesLines() tells
            values.insert(key, settings_->value(key));
        }
    }
    values.insert(changes);
    const IniFile written = iniFile(values);
    if (written.leavesOut || losesLines(before, written.keys)) {
        // After the first write the file holds only what it keeps, so this copy is made once.
        if (auto failure = writer_.replace(path + QLatin1String(keys::kUnreadableFileSuffix), before)) {
            return report(std::move(failure));
        }
    }
    return report(writer_.replace(path, written.content));
}

bool SettingsStore::report(std::optional<QString> failure) {
    if (failure && !saveFailure_) {
        std::fprintf(messages_, "variredu-divar: settings can't be saved to %s: %s; changes will be lost\n",
                     qUtf8Printable(settings_->fileName()), qUtf8Printable(*failure));
        std::fflush(messages_);
    }
    saveFailure_ = std::move(failure);
    return !saveFailure_;
}
