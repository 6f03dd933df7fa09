#pragma once
#include <windows.h>

#include "framework/AfxHandles.h"

// The install folder is every user's way to the program, so the program works in it only as it made it:
// closed to other users, not a reparse point, and owned by this user, SYSTEM or Administrators. The
// handle held keeps the folder in place (nobody can move it away and put another there) while it lives;
// none when the folder must not be used. create: make the folder, closed from its first moment, where
// there is none.
// The folder's path ends with its backslash.
CKernelHandle OpenInstallFolder(const char* folder, bool create);

// Deletes the staged files in the folder that an update or an install cut short, unless a process still
// holds one (a download in progress).
void DeleteStagedLeftovers(const char* folder);
