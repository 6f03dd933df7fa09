#include "update/UpdateAgent.h"
#include "install/UninstallEntry.h"
#include "framework/AfxHandles.h"
#include "framework/AfxPath.h"
#include "update/ReleaseRule.h"
#include "update/UpdateLog.h"
#include "update/UpdateTexts.h"
#include "update/Versions.h"
#include <string.h>

namespace {

const DWORD kVersionFileLimit = 4096;

// This user can put a new program in place of the running one: a new file can be created in its folder,
// and the program can be opened for its rename. Nobody is asked for an update that could not land.
// Another process's lock on the program is waited out by the swap. The new file is where the download
// is staged, held from now on: no file is made only to be thrown away.
bool CanReplaceProgram(const char* runningPath, const char* folder, CStagedFile& staged)
{
    if (!LogStep(staged.Create(folder), "may replace: a new file beside the program"))
        return false;
    const HANDLE program = CreateFileA(runningPath, DELETE, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                       nullptr, OPEN_EXISTING, 0, nullptr);
    CKernelHandle owned(program);
    return LogStep(owned.IsValid() || IsHeldByAnotherProcess(GetLastError()), "may replace: the program's rename");
}

}  // namespace

UpdateResult CUpdateAgent::RunUpdate(const char* baseUrl)
{
    LogUpdate("check", "%s", baseUrl);
    if (!HasConnection())
        return UpdateNotConnected;

    CString versionUrl(baseUrl);
    versionUrl += kVersionFileName;
    CInternetHandle versionRequest = OpenRemote(versionUrl);
    if (!versionRequest.IsValid())
        return UpdateUrlNotOpened;

    // One byte beyond the read stays zero, so the text ends within the bytes received.
    char versionBuffer[kVersionFileLimit + 1];
    memset(versionBuffer, 0, sizeof(versionBuffer));
    DWORD versionLength = 0;
    const ReadOutcome versionRead = ReadChunk(versionRequest.Get(), versionBuffer, kVersionFileLimit, &versionLength);
    versionRequest.Reset();
    // A version file that stalls or breaks off counts as one that could not be opened.
    if (versionRead == ReadOutcome::End)
        return UpdateVersionFileUnread;
    if (versionRead != ReadOutcome::Data)
        return UpdateUrlNotOpened;

    CString ownPath = RunningModulePath();
    CString ownVersion = ReadVersionText(ownPath);
    if (ownVersion.IsEmpty())
        return UpdateNoLocalVersion;

    CString serverVersion(versionBuffer);
    LogUpdate("offered", "\"%s\" (%lu bytes)", static_cast<const char*>(serverVersion), versionLength);
    if (CompareVersionText(serverVersion, ownVersion) != 1)
        return UpdateNotNewer;

    const char* lastBackslash = FindLastBackslash(ownPath);
    const char* exeName = lastBackslash != nullptr ? lastBackslash + 1 : static_cast<const char*>(ownPath);
    if (*exeName == '\0')
        return UpdateTransferFailed;
    CString exeUrl(baseUrl);
    exeUrl += exeName;

    // Staged beside the program, so that the swap is two renames in one folder. A folder that takes no new
    // file would take no rename into it either.
    char folder[MAX_PATH];
    char name[MAX_PATH];
    CStagedFile download;
    if (!SplitProgramPath(ownPath, folder, MAX_PATH, name, MAX_PATH) || folder[0] == '\0' ||
        !CanReplaceProgram(ownPath, folder, download))
        return UpdateCannotReplace;

    // The executable is requested before the user is asked.
    CInternetHandle exeRequest = OpenRemote(exeUrl);
    if (!exeRequest.IsValid())
        return UpdateUrlNotOpened;

    CString question(QUOREL_QUESTION_BEFORE);
    question += serverVersion;
    question += QUOREL_QUESTION_AFTER;
    const HWND owner = GetActiveWindow();
    const int answer = MessageBoxA(owner, question, QUOREL_QUESTION_CAPTION, MB_YESNO | MB_ICONQUESTION);
    LogUpdate("question", answer == IDNO ? "declined by the user" : "download accepted");
    if (answer == IDNO)
        return UpdateNotInstalled;

    bool downloaded = false;
    {
        CDownloadProgress progress(owner);
        downloaded = SaveRemoteToFile(exeRequest.Get(), download.Handle(), &progress);
        exeRequest.Reset();
        // Stopped by the user: as if the answer had been No.
        if (progress.Cancelled())
            return UpdateNotInstalled;
    }
    // Judged as held, so what was judged is what lands. An error page, a cut-off file, another version or
    // another publisher's program must never become the program; the staged file goes with the update.
    // Its version as judged: read by its path once in place, the running image's would answer instead.
    CString newVersion;
    if (!downloaded || !download.Flush() ||
        RefusedRule(download.Handle(), download.Path(), serverVersion, ownPath, &newVersion))
        return UpdateTransferFailed;

    switch (SwapExecutable(ownPath, download)) {
    case SwapDone:
        RefreshUninstallVersion(ownPath, newVersion);
        return UpdateInstalled;
    case SwapNotDone:
        return UpdateNotInstalled;
    default:
        return UpdateProgramNotRestored;
    }
}

SwapResult CUpdateAgent::SwapExecutable(CString runningPath, CStagedFile& download)
{
    const char* running = runningPath;
    char folder[MAX_PATH];
    char name[MAX_PATH];
    char backupPath[MAX_PATH];
    if (!SplitProgramPath(running, folder, MAX_PATH, name, MAX_PATH) || folder[0] == '\0' ||
        !ComposePath(backupPath, MAX_PATH, folder, kBackupName))
        return SwapNotDone;

    DeleteFileA(backupPath);
    // Moved, not copied: the running image cannot be overwritten while it runs, but it can be renamed,
    // within its folder, so never by a copy.
    if (!LogStep(MoveWrittenThrough(running, backupPath, 0), "swap: program to OldExecutable.bak"))
        return SwapNotDone;
    // From here until the path holds a whole program again.
    CSessionEndBlock block;
    // Over whatever another process put at the empty path meanwhile. Staged in the program's folder, it
    // already has the permissions that folder gives its files.
    if (LogStep(download.MoveTo(running, true), "swap: download to the program's path"))
        return SwapDone;
    // Never leave the running path empty: the program goes back, over anything that appeared there.
    if (LogStep(MoveWrittenThrough(backupPath, running, MOVEFILE_REPLACE_EXISTING), "swap: program put back"))
        return SwapNotDone;
    return SwapNotRestored;
}
