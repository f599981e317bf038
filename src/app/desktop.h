#pragma once

#include "app/command_line.h"

// The tray program. Falls back to the terminal clock when no display can be opened. Creates the
// application object itself, as the kind it needs; returns the exit status.
int runDesktop(int& argc, char** argv, const CommandLine& options);
