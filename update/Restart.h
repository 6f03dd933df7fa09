#pragma once
#include <windows.h>

// The restart after an accepted update: the new executable at the running path is started and must come
// up; a release that cannot start gives way to the program it replaced, which this process runs from.

// How long a new release may take to come up before it counts as failed. Copies built for the tests
// may divide it (see QUOREL_TEST_LIMIT_DIVISOR).
const DWORD kStartLimitMs = 30000;
// The limit of this build, defined with its other build constants.
extern const DWORD kStartWaitMs;
// A release is up once its main window has shown and it still runs this much later: one that dies
// right after its window showed must not count. Divided like the limit above.
const DWORD kUpGraceLimitMs = 3000;
extern const DWORD kUpGraceMs;

// Starts the program at path and waits until it is up; meanwhile the window answers what is sent to it.
// An exit with 0 is a hand-over only: the copy it started from the install path must then come up in
// its place, within the same limit. False when neither came up; then neither still runs.
bool StartAndConfirm(const char* path);

// Puts the backup beside path back at path, and the file that stood there in the backup's place. False
// when it cannot; path then holds what it held before.
bool RollBack(const char* path);

// Starts the program at path, its command line the bare path, without waiting for it.
bool StartProgram(const char* path);

// The restart as a whole: true when the new program is up. Otherwise the program it replaced is back
// and started again, and the caller reports the update as failed.
bool RestartIntoNewExecutable();
