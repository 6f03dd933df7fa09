#pragma once
#include <windows.h>

#include "framework/AfxString.h"

// The full four-component version text of a file's version resource; empty on failure.
// The self-installation reads the installed copy's with it: it needs no window.
CString FullVersionText(const char* path);
// The same text of a fixed file version's two halves.
CString FullVersionText(DWORD ms, DWORD ls);
