#include "app/DllSearch.h"

#include <windows.h>

namespace {
typedef BOOL(WINAPI* SetDefaultDllDirectoriesProc)(DWORD flags);
}

void RestrictDllSearch()
{
    // Missing on a Windows 7 without its loader update: looked up, not imported, or the exe would not start.
    HMODULE kernel = GetModuleHandleA("kernel32.dll");
    const SetDefaultDllDirectoriesProc setDefaultDllDirectories =
        kernel ? reinterpret_cast<SetDefaultDllDirectoriesProc>(GetProcAddress(kernel, "SetDefaultDllDirectories"))
               : nullptr;
    if (setDefaultDllDirectories && setDefaultDllDirectories(LOAD_LIBRARY_SEARCH_SYSTEM32))
        return;
    // There the program's folder stays first, but at least the current folder leaves the search.
    SetDllDirectoryA("");
}

namespace {
// 101, the first priority open to programs, and the framework's own first initialiser waits for 102:
// MinGW's runtime calls the constructors by priority, so this one runs before every other, the update
// agent's Internet session among them.
__attribute__((constructor(101))) void RestrictDllSearchFirst()
{
    RestrictDllSearch();
}
}  // namespace
