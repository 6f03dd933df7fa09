#include "update/Restart.h"

#include <shlobj.h>
#include <tlhelp32.h>

#include "framework/AfxApp.h"
#include "framework/AfxHandles.h"
#include "framework/AfxPath.h"
#include "install/InstallLocation.h"
#include "update/MessagePump.h"
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
    const char* caption;
    bool found;
};

// The release's main window: shown, with the caption of this program's main window. A box is not it,
// nor the window of a copy that hands over, which never shows.
BOOL CALLBACK FindMainWindow(HWND window, LPARAM param)
{
    WindowSearch* search = reinterpret_cast<WindowSearch*>(param);
    DWORD pid = 0;
    GetWindowThreadProcessId(window, &pid);
    char caption[MAX_PATH];
    if (pid != search->pid || !IsWindowVisible(window) || !GetWindowTextA(window, caption, MAX_PATH) ||
        lstrcmpA(caption, search->caption) != 0)
        return TRUE;
    search->found = true;
    return FALSE;
}

bool HasMainWindow(DWORD pid, const char* caption)
{
    WindowSearch search = {pid, caption, false};
    EnumWindows(FindMainWindow, reinterpret_cast<LPARAM>(&search));
    return search.found;
}

// A release outside the install folder installs itself, starts the installed copy and ends with 0
// (install/SelfInstall.cpp). That copy is its child at the install path, created after it: the ended
// release's id, held here, may still name the parent of processes from before it.
bool TakeHandOver(CKernelHandle& process, DWORD& pid)
{
    char commonAppData[MAX_PATH];
    char installPath[MAX_PATH];
    FILETIME released, created, unused[3];
    if (!SHGetSpecialFolderPathA(nullptr, commonAppData, CSIDL_COMMON_APPDATA, FALSE) ||
        !ComposePath(installPath, MAX_PATH, commonAppData, kInstallSubFolder, kInstalledExeName) ||
        !GetProcessTimes(process.Get(), &released, unused, unused + 1, unused + 2))
        return false;
    CKernelHandle snapshot(CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0));
    PROCESSENTRY32 entry = {};
    entry.dwSize = sizeof(entry);
    for (BOOL more = Process32First(snapshot.Get(), &entry); more; more = Process32Next(snapshot.Get(), &entry)) {
        if (entry.th32ParentProcessID != pid)
            continue;
        CKernelHandle child(OpenProcess(SYNCHRONIZE | PROCESS_TERMINATE | PROCESS_QUERY_LIMITED_INFORMATION, FALSE,
                                        entry.th32ProcessID));
        char image[MAX_PATH];
        DWORD size = MAX_PATH;
        if (!child.IsValid() || !QueryFullProcessImageNameA(child.Get(), 0, image, &size) ||
            lstrcmpiA(image, installPath) != 0 ||
            !GetProcessTimes(child.Get(), &created, unused, unused + 1, unused + 2) ||
            CompareFileTime(&created, &released) < 0)
            continue;
        process.Reset(child.Take());
        pid = entry.th32ProcessID;
        return true;
    }
    return false;
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
    // The release's main window bears the caption of this one, which is still open while it closes;
    // without it no window could be told for the release's.
    char caption[MAX_PATH] = "";
    CWnd* mainWindow = AfxGetMainWnd();
    if (mainWindow == nullptr || !GetWindowTextA(mainWindow->m_hWnd, caption, MAX_PATH))
        return false;
    CKernelHandle process;
    DWORD pid = 0;
    if (!Launch(path, process, pid))
        return false;
    DWORD start = GetTickCount();
    DWORD limit = kStartWaitMs;
    bool handedOver = false;
    bool shown = false;
    for (;;) {
        DWORD exitCode = STILL_ACTIVE;
        // Ended: failed, unless it ended with 0 before showing and handed over to the installed copy.
        if (WaitForSingleObject(process.Get(), 0) == WAIT_OBJECT_0) {
            GetExitCodeProcess(process.Get(), &exitCode);
            LogUpdate("restart", "process %lu ended with code %lu, %s", pid, exitCode,
                      shown ? "after its window showed" : "with no window");
            if (shown || handedOver || exitCode != 0 || !TakeHandOver(process, pid))
                return false;
            // The installed copy gets the whole limit: the release spent part of it installing.
            handedOver = true;
            start = GetTickCount();
            continue;
        }
        // Shown, it must still run a grace period later.
        if (!shown && HasMainWindow(pid, caption)) {
            shown = true;
            limit = kUpGraceMs;
            start = GetTickCount();
        }
        const DWORD elapsed = GetTickCount() - start;
        if (elapsed >= limit)
            break;
        const DWORD left = limit - elapsed;
        PauseAnsweringSentMessages(left < kLookEveryMs ? left : kLookEveryMs);
    }
    if (shown)
        return true;
    LogUpdate("restart", "process %lu showed no window within %lu ms", pid, limit);
    // Ended and gone before the rollback: it must not hold the file that moves into the backup's place.
    TerminateProcess(process.Get(), kNotUpExitCode);
    WaitForSingleObject(process.Get(), kEndWaitMs);
    return false;
}

bool RollBack(const char* path)
{
    CSessionEndBlock block;
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
