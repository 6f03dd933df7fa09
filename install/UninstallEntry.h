#pragma once
#include <windows.h>

// The installed copy's entry in the platform's list of programs (Add/Remove Programs), which also runs
// its removal. No entry is ever a reason for anything else to fail.

// Written for the installed copy just put at installPath: machine-wide where this process may write
// that, otherwise for the installing user.
void RegisterUninstallEntry(const char* installFolder, const char* installPath);
// After an update put version at path: an entry of that program shows it. One this user may not
// write stays as it is.
void RefreshUninstallVersion(const char* path, const char* version);
// The entry gone from both places: ERROR_SUCCESS, or the error of one that stays.
DWORD RemoveUninstallEntry();
