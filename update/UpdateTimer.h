#pragma once
#include <windows.h>

// The once-per-process update check: the main window's timer that starts it, and the restart it may end in.
constexpr UINT_PTR kUpdateTimerId = 1;
constexpr UINT kUpdateDelayMs = 20000;

// Set right before the timer handler closes the window after an accepted restart; read by the close handler.
extern bool g_restartRequested;
