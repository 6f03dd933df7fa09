#include "install/PathText.h"

bool QuotedProgramPath(const char* commandLine, char* path, int pathSize)
{
    path[0] = '\0';
    char copy[kCommandLineCopySize];
    lstrcpynA(copy, commandLine, sizeof copy);
    if (copy[0] != '"') {
        return false;
    }
    // The quote byte never occurs inside a double-byte character, so a plain byte search is safe.
    const char* closing = nullptr;
    for (const char* p = copy + 1; *p != '\0'; ++p) {
        if (*p == '"') {
            closing = p;
            break;
        }
    }
    if (closing == nullptr) {
        return false;
    }
    const int length = static_cast<int>(closing - (copy + 1));
    if (length == 0 || length >= pathSize) {
        return false;
    }
    lstrcpynA(path, copy + 1, length + 1);
    return true;
}
