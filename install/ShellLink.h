#pragma once
#include <windows.h>

// Shortcut files through the shell's ShellLink object. Each call initialises and uninitialises COM
// itself, so the thread's COM state is as it was.

// FALSE when COM, the ShellLink object or its IPersistFile cannot be had; TRUE otherwise, saved or not.
BOOL WriteShellLink(LPCSTR target, LPCSTR linkPath, LPCSTR arguments);
// " Zelmora.lnk" on the current user's desktop, naming the running executable less its extension.
void WriteDesktopLink();
