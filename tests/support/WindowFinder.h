#pragma once

#include <windows.h>

#include <string>
#include <vector>

// Top-level windows of any process in the prefix, found by exact caption (CP936, as GetWindowTextA
// reports it) and optionally by class ("#32770" for dialogs and message boxes) and process id.
// A null caption or class matches any. Only visible windows count unless visibleOnly is false:
// a dialog found before it is shown may still be in its initialisation.
std::vector<HWND> FindWindows(const char* caption, const char* className, DWORD pid = 0,
                              bool visibleOnly = true);
// Polls until a matching window exists; nullptr on timeout.
HWND WaitForWindow(const char* caption, const char* className, DWORD timeoutMs, DWORD pid = 0,
                   bool visibleOnly = true);
bool WaitForWindowGone(HWND window, DWORD timeoutMs);

// Clicks the button with that id (IDOK 1, IDCANCEL 2, IDYES 6, IDNO 7) without waiting for the
// dialog to act on it; without such a button the dialog gets the WM_COMMAND directly.
bool PressButton(HWND dialog, int id);

std::string WindowText(HWND window);
std::string WindowClass(HWND window);
DWORD WindowProcessId(HWND window);
// The message text of a message box: its static text control.
std::string MessageBoxText(HWND box);
