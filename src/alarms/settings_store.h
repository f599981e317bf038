#pragma once

#include "alarms/alarm_model.h"
#include "alarms/settings_keys.h"

#include <memory>

class QSettings;

// The per-user settings store. Keeps no copy of any value: every read asks the store (picking up
// another process's writes), every write is on disk when it returns.
class SettingsStore {
public:
    // Takes over an opened QSettings; tests hand in one on a temporary file.
    explicit SettingsStore(std::unique_ptr<QSettings> settings);
    ~SettingsStore();
    SettingsStore(const SettingsStore&) = delete;
    SettingsStore& operator=(const SettingsStore&) = delete;

    // The native per-user store of this application.
    [[nodiscard]] static std::unique_ptr<SettingsStore> openUserStore();

    // A stored boolean, or the text "true"/"false" in any case; anything else reads as the default.
    [[nodiscard]] bool readBool(const settings_keys::BoolKey& key) const;
    // False when the value could not be saved.
    bool writeBool(const settings_keys::BoolKey& key, bool value);

    // The stored list, or the empty list when it is absent or unreadable.
    [[nodiscard]] AlarmList alarms() const;
    // Writes keep a settings file with unreadable lines: the whole file is copied beside it first.
    // Replaces the whole list. An unreadable stored text is first copied to the backup key; a list
    // that can't be encoded, or a store that can't be written, leaves the stored text as it was.
    // False when nothing was saved.
    bool setAlarms(const AlarmList& alarms);

    // Whether changes can be saved: the file, or the directory it is replaced in, may be read-only.
    [[nodiscard]] bool isWritable() const;

    // Where the store lives, for messages.
    [[nodiscard]] QString fileName() const;

private:
    [[nodiscard]] bool keepUnreadableFile();
    bool commit();

    std::unique_ptr<QSettings> settings_;
};
