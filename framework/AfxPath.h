#pragma once
#include <windows.h>

// Narrow paths in the ANSI code page (936 for our users): bounded composition and DBCS-aware splitting.

// dest = first + second (+ third + fourth), bounded by destSize bytes including the NUL. A result
// that would not fit leaves dest empty and gives false: a cut path would name another file.
bool ComposePath(char* dest, int destSize, const char* first, const char* second, const char* third = nullptr,
                 const char* fourth = nullptr);

// The last backslash of the path, or nullptr. The second byte of a double-byte character can
// equal the backslash byte and is never taken for one.
const char* FindLastBackslash(const char* path);

// Splits a path after its last backslash: folder keeps the backslash, name gets the rest (the whole
// path and an empty folder when there is no backslash). False, with both empty, when a part does not fit.
bool SplitProgramPath(const char* path, char* folder, int folderSize, char* name, int nameSize);
