#pragma once
#include <windows.h>

#include "framework/AfxString.h"

// Which rule keeps a downloaded file, held open at filePath, from replacing the running program at
// runningPath: "machine", "whole", "version" (not exactly the offered version) or "publisher"; nullptr
// when none does. The update judges its download with it, and the release check a served release.
// fileVersion, if given, receives the file's full version text.
const char* RefusedRule(HANDLE file, const char* filePath, const char* offeredVersion, const char* runningPath,
                        CString* fileVersion = nullptr);
