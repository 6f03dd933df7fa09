#pragma once
#include <windows.h>

#include "framework/AfxPath.h"

// The command-line copy holds this many bytes; the program path must close its quote within them.
const int kCommandLineCopySize = 256;

// The program path of a command line that begins with it in double quotes, the closing quote
// within its first 255 characters. False (path empty) for any other command line, or an empty path.
bool QuotedProgramPath(const char* commandLine, char* path, int pathSize);
