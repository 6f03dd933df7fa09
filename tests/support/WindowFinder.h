#pragma once
#include <windows.h>

#include <string>

// The first visible top-level window of that caption (CP936, as GetWindowTextA gives it) and, when not
// null or 0, of that class and process.
HWND FindTopWindow(const char* caption, const char* className, DWORD pid = 0);
HWND WaitForWindow(const char* caption, const char* className, DWORD timeoutMs, DWORD pid = 0);
// A message box's message: its first static text.
std::string MessageBoxText(HWND box);
// The visible push buttons among OK, Cancel, Yes and No, named in that order: "OK", "YesNo".
std::string BoxButtons(HWND box);
// Clicks the button (IDOK 1, IDCANCEL 2, IDYES 6, IDNO 7), posted: the click may start a modal loop.
bool PressButton(HWND dialog, int id);

// Asks the probe inside the window's process what only that process can read: the icon a box shows,
// and for the main window its icons and system menu. Answers like "icon=question" or
// "icon=none big=128 small=128 menu=关于 Tovrask(&A)... after separator, once".
std::string Probe(HWND window);
