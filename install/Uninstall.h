#pragma once
#include <windows.h>

// The program's one option: "/uninstall" after the program path. Any other command line starts the
// program as always.
bool IsUninstallCommand(const char* commandLine);

// Asks, then removes the installed program, its files in the install folder, the shortcuts that lead to
// it and its entry in the list of programs, and says how that went. The installed copy cannot delete
// its own running file: it hands the work to a copy of itself in the user's temporary folder, which
// the platform deletes when that copy ends.
void RunUninstall();
