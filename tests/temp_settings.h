#pragma once

#include "alarms/settings_store.h"

#include <QSettings>
#include <QTemporaryDir>

#include <memory>

// A settings store on a file in a fresh temporary directory.
struct TempSettings {
    QTemporaryDir dir;
    QString path = dir.filePath(QStringLiteral("variredu-divar.conf"));
    std::unique_ptr<SettingsStore> store = open();

    [[nodiscard]] std::unique_ptr<SettingsStore> open() const {
        return std::make_unique<SettingsStore>(std::make_unique<QSettings>(path, QSettings::IniFormat));
    }
    // A second, independent view of the same file, as another process would have.
    [[nodiscard]] std::unique_ptr<QSettings> raw() const {
        return std::make_unique<QSettings>(path, QSettings::IniFormat);
    }
};
