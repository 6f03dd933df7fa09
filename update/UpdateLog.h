#pragma once
#include <windows.h>

// The update log for support: %LOCALAPPDATA%\Quorelware\update.log, the user's own, one UTF-8 line per
// step with the local time and the running version. It never changes what it records: a log that cannot
// be written is skipped, and the last error is what it was. It keeps under kUpdateLogLimit bytes by
// dropping its older half.
const DWORD kUpdateLogLimit = 256 * 1024;

void LogUpdate(const char* step, const char* format, ...);
// Logs "step: done", or "step: failed" with the last error and what it means; returns ok.
bool LogStep(bool ok, const char* step);
// The last error number and what it means, for a line.
const char* ErrorMeaning(DWORD error);
