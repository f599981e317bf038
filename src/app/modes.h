#pragma once

#include "app/command_line.h"

// Each returns the process's exit status.
int runOnce(const CommandLine& options);
int runNext(const CommandLine& options);
int runTerminal(const CommandLine& options);
