#pragma once
#include <windows.h>

// Each start either hands the user over to the installed copy or stays the user's window.
enum InstallOutcome
{
    InstalledCopyStarted,  // the installed copy runs now: this window closes
    RunningCopyStays,      // nothing to install (or nothing could be): the shortcuts were seen to
};

// Takes the running program's folder and file name from the command line, compares the running
// version with the installed copy's, and either writes this image to the install path and starts it,
// or goes on to the shortcut placement. owner is the window for the shell's folder lookups.
InstallOutcome RunSelfInstallation(HWND owner, const char* runningVersion);
