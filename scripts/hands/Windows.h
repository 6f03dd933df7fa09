#pragma once
// Windows and message boxes of another process, found by caption, read and answered as a user would.
#include <windows.h>

#include <string>

// The first visible top-level window of that caption (CP936, as GetWindowTextA gives it) and, when not
// null or 0, of that class, process and with a child of that class.
HWND FindTopWindow(const char* caption, const char* className, DWORD pid = 0, const char* childClass = nullptr);
HWND WaitForWindow(const char* caption, const char* className, DWORD timeoutMs, DWORD pid = 0);
// A message box's message: its first static text.
std::string MessageBoxText(HWND box);
// The visible push buttons among OK, Cancel, Yes and No, named in that order: "OK", "YesNo".
std::string BoxButtons(HWND box);
// Clicks the button (IDOK 1, IDCANCEL 2, IDYES 6, IDNO 7), posted: the click may start a modal loop.
bool PressButton(HWND dialog, int id);
