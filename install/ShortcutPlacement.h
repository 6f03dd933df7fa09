#pragma once
#include <windows.h>

// Writes the shortcuts to the installed copy once per machine: the install folder's shortcut first, as the
// marker, then the desktop, Start menu, Programs and Quick Launch ones. Nothing is reported.
void PlaceShortcuts(HWND owner, const char* installFolder);
// Whether the marker stands in the install folder.
bool ShortcutsPlaced(const char* installFolder);
