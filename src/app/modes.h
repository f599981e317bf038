#pragma once

#include "app/command_line.h"

class SettingsStore;

// Each returns the process's exit status.
int runOnce(const CommandLine& options);
int runNext(const CommandLine& options);
int runTerminal(const CommandLine& options);

// One line on stderr when changes to the settings could not be saved.
void warnIfSettingsCannotBeSaved(const SettingsStore& store);
