#include "update/Restart.h"

#include "framework/AfxHandles.h"
#include "framework/AfxPath.h"
#include "update/StagedFile.h"
#include "update/UpdateAgent.h"
#include "update/UpdateLog.h"
#include "update/UpdateTexts.h"
#include "update/UpdateTimer.h"

bool g_restartRequested = false;

namespace {

// A window of another process signals nothing: the wait looks for it this often.
const DWORD kLookEveryMs = 50;
// How long an ended process may take to let go of its image.
const DWORD kEndWaitMs = 5000;
// The exit code given to a release that was not up in time.
const UINT kNotUpExitCode = 1;

struct WindowSearch
{
    DWORD pid;
    bool found;
};

BOOL CALLBACK FindVisibleWindow(HWND window, LPARAM param)
{
    WindowSearch* search = reinterpret_cast<WindowSearch*>(param);
    DWORD pid = 0;
    GetWindowThreadProcessId(window, &pid);
    if (pid != search->pid || !IsWindowVisible(window))
        return TRUE;
    search->found = true;
    return FALSE;
}

bool HasVisibleWindow(DWORD pid)
{
    WindowSearch search = {pid, false};
    EnumWindows(FindVisibleWindow, reinterpret_cast<LPARAM>(&search));
    return search.found;
}

// The path alone, without a command line: the current directory may be anywhere and may even hold an
// unrelated file of the same name.
bool Launch(const char* path, CKernelHandle& process, DWORD& pid)
{
    STARTUPINFOA startup = {};
    startup.cb = sizeof(startup);
    PROCESS_INFORMATION info = {};
    if (!CreateProcessA(path, nullptr, nullptr, nullptr, FALSE, NORMAL_PRIORITY_CLASS, nullptr, nullptr, &startup,
                        &info))
        return false;
    process = CKernelHandle(info.hProcess);
    CKernelHandle thread(info.hThread);
    pid = info.dwProcessId;
    return true;
}

}  // namespace

bool StartProgram(const char* path)
{
    CKernelHandle process;
    DWORD pid = 0;
    return Launch(path, process, pid);
}

bool StartAndConfirm(const char* path)
{
    CKernelHandle process;
    DWORD pid = 0;
    if (!Launch(path, process, pid))
        return false;
    const DWORD start = GetTickCount();
    for (;;) {
        // A copy that is not the installed one hands over to the installed copy and ends with 0 before
        // it ever shows a window (install/SelfInstall.cpp): a good start. Only an error exit fails.
        DWORD exitCode = STILL_ACTIVE;
        if (WaitForSingleObject(process.Get(), 0) == WAIT_OBJECT_0)
            return GetExitCodeProcess(process.Get(), &exitCode) && exitCode == 0;
        if (WaitForInputIdle(process.Get(), 0) == 0 && HasVisibleWindow(pid))
            return true;
        const DWORD elapsed = GetTickCount() - start;
        if (elapsed >= kStartWaitMs)
            break;
        const DWORD left = kStartWaitMs - elapsed;
        PauseAnsweringSentMessages(left < kLookEveryMs ? left : kLookEveryMs);
    }
    // Ended and gone before the rollback: it must not hold the file that moves into the backup's place.
    TerminateProcess(process.Get(), kNotUpExitCode);
    WaitForSingleObject(process.Get(), kEndWaitMs);
    return false;
}

bool RollBack(const char* path)
{
    char folder[MAX_PATH];
    char name[MAX_PATH];
    char backupPath[MAX_PATH];
    char asidePath[MAX_PATH];
    if (!SplitProgramPath(path, folder, MAX_PATH, name, MAX_PATH) || folder[0] == '\0' ||
        !ComposePath(backupPath, MAX_PATH, folder, kBackupName) || !UnpredictablePath(asidePath, MAX_PATH, folder))
        return false;
    // Three renames within the folder: this process runs from the backup, whose image can be renamed but
    // never overwritten.
    if (!MoveWrittenThrough(path, asidePath, 0))
        return false;
    if (!MoveWrittenThrough(backupPath, path, MOVEFILE_REPLACE_EXISTING)) {
        // Never leave the running path empty: the release goes back, over anything that appeared there.
        MoveWrittenThrough(asidePath, path, MOVEFILE_REPLACE_EXISTING);
        return false;
    }
    // The program is back either way; a release that cannot start is not worth a stray file.
    if (!MoveWrittenThrough(asidePath, backupPath, 0))
        DeleteFileA(asidePath);
    return true;
}

bool RestartIntoNewExecutable()
{
    // The swap has just put the new executable at the running image's own path.
    const CString path = g_updateAgent.RunningModulePath();
    if (path.IsEmpty())
        return false;
    if (LogStep(StartAndConfirm(path), "restart into the new release"))
        return true;
    if (LogStep(RollBack(path), "rollback to the previous program"))
        StartProgram(path);
    return false;
}
