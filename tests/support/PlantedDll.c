// A stranger's DLL under a system DLL's name: loaded, it leaves "<its path>.loaded" and ends the process.
#include <windows.h>

BOOL WINAPI DllMain(HINSTANCE self, DWORD reason, LPVOID reserved)
{
    char marker[MAX_PATH + sizeof ".loaded"] = "";
    if (reason != DLL_PROCESS_ATTACH || !GetModuleFileNameA(self, marker, MAX_PATH))
        return TRUE;
    lstrcatA(marker, ".loaded");  // fits: the name takes at most MAX_PATH
    CloseHandle(CreateFileA(marker, GENERIC_WRITE, 0, NULL, CREATE_ALWAYS, 0, NULL));
    TerminateProcess(GetCurrentProcess(), ERROR_DLL_INIT_FAILED);
    return TRUE;
}
