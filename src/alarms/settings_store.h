#pragma once

#include "alarms/alarm_model.h"
#include "alarms/settings_keys.h"
#include "alarms/whole_file_writer.h"

#include <QVariantMap>

#include <cstdio>
#include <memory>
#include <optional>

class QSettings;

// The per-user settings store. Keeps no copy of any value: every read asks the store (picking up
// another process's writes), every write is on disk when it returns. QSettings reads the file; the
// store writes it itself, whole or not at all, since QSettings may report a short write as saved.
class SettingsStore {
public:
    // Takes over an opened QSettings; tests hand in one on a temporary file, and a writer that
    // fails. A run of failed saves is told once on `messages`.
    explicit SettingsStore(std::unique_ptr<QSettings> settings, WholeFileWriter writer = WholeFileWriter(),
                           std::FILE* messages = stderr);
    ~SettingsStore();
    SettingsStore(const SettingsStore&) = delete;
    SettingsStore& operator=(const SettingsStore&) = delete;

    // The native per-user store of this application, and no other file.
    [[nodiscard]] static std::unique_ptr<SettingsStore> openUserStore();

    // A stored boolean, or the text "true"/"false" in any case; anything else reads as the default.
    [[nodiscard]] bool readBool(const settings_keys::BoolKey& key) const;
    // False when the value could not be saved; saveFailure() says why.
    bool writeBool(const settings_keys::BoolKey& key, bool value);

    // The stored list, or the empty list when it is absent or unreadable.
    [[nodiscard]] AlarmList alarms() const;
    // Replaces the whole list. An unreadable stored text is first copied to the backup key. False
    // when nothing was saved: a list that can't be encoded is not tried (saveFailure() stays as it
    // was); for a file that can't be written, saveFailure() says why.
    // Every write keeps what the rewritten file would lose (comments, lines that are no setting):
    // the whole file is first copied beside it.
    bool setAlarms(const AlarmList& alarms);

    // Why the last save failed, as the system says it, while no save has succeeded since.
    [[nodiscard]] const std::optional<QString>& saveFailure() const { return saveFailure_; }

    // Whether changes can be saved: the file, or the directory it is replaced in, may be read-only.
    [[nodiscard]] bool isWritable() const;

    // Where the store lives, for messages.
    [[nodiscard]] QString fileName() const;

private:
    // Writes the file with every setting it holds, `changes` applied.
    bool save(const QVariantMap& changes);
    bool report(std::optional<QString> failure);

    std::unique_ptr<QSettings> settings_;
    WholeFileWriter writer_;
    std::FILE* messages_;
    std::optional<QString> saveFailure_;
};
