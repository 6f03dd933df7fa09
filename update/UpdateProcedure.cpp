#include "update/UpdateAgent.h"
#include "framework/AfxHandles.h"
#include "framework/AfxPath.h"
#include "update/PeImage.h"
#include "update/Publisher.h"
#include "update/UpdateTexts.h"
#include "update/Versions.h"
#include "install/UninstallEntry.h"
#include <aclapi.h>
#include <string.h>

namespace {

const DWORD kVersionFileLimit = 4096;

// Beside the running program where its folder takes new files, so that the swap is two renames on one
// volume and the running path is never empty for longer than between them; otherwise in the user's
// temporary folder.
bool StageDownload(CStagedFile& staged, const char* runningPath)
{
    char folder[MAX_PATH];
    char name[MAX_PATH];
    if (SplitProgramPath(runningPath, folder, MAX_PATH, name, MAX_PATH) && folder[0] != '\0' && staged.Create(folder))
        return true;
    char tempFolder[MAX_PATH];
    const DWORD length = GetTempPathA(MAX_PATH, tempFolder);
    return length != 0 && length < MAX_PATH && staged.Create(tempFolder);
}

// A move keeps the file's security from where it was written, such as a user's temporary folder, where
// other users may have no access. An empty DACL that is not protected leaves the file only what its new
// folder passes on to its files.
void TakeFolderPermissions(const char* path)
{
    ACL empty;
    if (!InitializeAcl(&empty, sizeof(empty), ACL_REVISION))
        return;
    SetNamedSecurityInfoA(const_cast<char*>(path), SE_FILE_OBJECT,
                          DACL_SECURITY_INFORMATION | UNPROTECTED_DACL_SECURITY_INFORMATION, nullptr, nullptr, &empty,
                          nullptr);
}

}  // namespace

UpdateResult CUpdateAgent::RunUpdate(const char* baseUrl)
{
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
    if (CompareVersionText(serverVersion, ownVersion) != 1)
        return UpdateNotNewer;

    const char* lastBackslash = FindLastBackslash(ownPath);
    const char* exeName = lastBackslash != nullptr ? lastBackslash + 1 : static_cast<const char*>(ownPath);
    if (*exeName == '\0')
        return UpdateTransferFailed;
    CString exeUrl(baseUrl);
    exeUrl += exeName;

    // The executable is requested before the user is asked.
    CInternetHandle exeRequest = OpenRemote(exeUrl);
    if (!exeRequest.IsValid())
        return UpdateUrlNotOpened;

    CString question(QUOREL_QUESTION_BEFORE);
    question += serverVersion;
    question += QUOREL_QUESTION_AFTER;
    const HWND owner = GetActiveWindow();
    if (MessageBoxA(owner, question, QUOREL_QUESTION_CAPTION, MB_YESNO | MB_ICONQUESTION) == IDNO)
        return UpdateNotInstalled;

    CStagedFile download;
    if (!StageDownload(download, ownPath))
        return UpdateTransferFailed;
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
    PeFacts facts;
    if (!downloaded || !download.Flush() || !ReadPeFacts(download.Handle(), facts) || !facts.whole ||
        !facts.hasVersion ||
        CompareVersionText(FullVersionText(facts.versionMS, facts.versionLS), serverVersion) != 0 ||
        !MayReplace(ownPath, download.Path(), download.Handle()))
        return UpdateTransferFailed;

    switch (SwapExecutable(ownPath, download)) {
    case SwapDone:
        RefreshUninstallVersion(ownPath, FullVersionText(facts.versionMS, facts.versionLS));
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
    // within its folder, so never by a copy. Written through, like the move that follows.
    if (!MoveWrittenThrough(running, backupPath, 0))
        return SwapNotDone;
    if (download.MoveTo(running, false)) {
        // The new program is in place either way; at worst it keeps the permissions it was written with.
        TakeFolderPermissions(running);
        return SwapDone;
    }
    // Never leave the running path empty: the program goes back, over anything that appeared there.
    if (MoveWrittenThrough(backupPath, running, MOVEFILE_REPLACE_EXISTING))
        return SwapNotDone;
    return SwapNotRestored;
}
