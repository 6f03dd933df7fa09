#pragma once
#include <windows.h>

#include <string>

// Asks the probe inside the window's process what only that process can read: the icon a box shows,
// and for the main window its icons and system menu. Answers like "icon=question" or
// "icon=none big=128 small=128 menu=关于 Tovrask(&A)... after separator, once". QuorelWatchMoves: the
// copy's renames report the empty moment of a swap (support/ProbeHook.cpp).
std::string Probe(HWND window, const char* question = "QuorelProbe");
