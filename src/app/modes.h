#pragma once

#include "app/command_line.h"
#include "clock/timer_model.h"

#include <memory>

class SettingsStore;
class SpeakingLock;
struct InstanceDirectory;

// Each returns the process's exit status.
int runOnce(const CommandLine& options);
int runNext(const CommandLine& options);
int runTerminal(const CommandLine& options);

// One line on stderr when changes to the settings could not be saved.
void warnIfSettingsCannotBeSaved(const SettingsStore& store);

// The lock with which a clock speaking through `choice` takes its turn: none for text on stdout
// and silence, which take no turn. None either when `directory` has no folder, which is said on
// stderr: that clock then speaks regardless of others.
[[nodiscard]] std::unique_ptr<SpeakingLock> speakingLockFor(const SpeechChoice& choice,
                                                            const InstanceDirectory& directory);

// Where announcements go: through `choice`, and with a lock only while this clock holds it, which
// is said on stderr when another holds it now. `clock` is the model's.
[[nodiscard]] std::unique_ptr<SpeechOutput> makeAnnouncer(const SpeechChoice& choice,
                                                          const SettingsStore& store, SpeakingLock* lock,
                                                          TimerModel::Clock clock);
