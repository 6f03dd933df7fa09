#pragma once
#include <windows.h>

#include "framework/AfxString.h"

// The full four-component version text of a file's version resource; empty on failure.
// The main window's ReadFullVersionText and the update procedure's check of a download share it:
// it needs no window.
CString FullVersionText(const char* path);
// The same text of a fixed file version's two halves.
CString FullVersionText(DWORD ms, DWORD ls);
