#pragma once
#include <windows.h>

// The restart after an accepted update: the new executable at the running path is started and must come
// up; a release that cannot start gives way to the program it replaced, which this process runs from.

// How long a new release may take to come up before it counts as failed. Copies built for the tests
// may divide it (see QUOREL_TEST_LIMIT_DIVISOR).
const DWORD kStartLimitMs = 30000;
// The limit of this build, defined with its other build constants.
extern const DWORD kStartWaitMs;

// Starts the program at path and waits until it is up; meanwhile the window answers what is sent to it.
// False when it could not be started, ended with an error or was not up in time; then it no longer runs.
bool StartAndConfirm(const char* path);

// Puts the backup beside path back at path, and the file that stood there in the backup's place. False
// when it cannot; path then holds what it held before.
bool RollBack(const char* path);

// Starts the program at path, its command line the bare path, without waiting for it.
bool StartProgram(const char* path);

// The restart as a whole: true when the new program is up. Otherwise the program it replaced is back
// and started again, and the caller reports the update as failed.
bool RestartIntoNewExecutable();
