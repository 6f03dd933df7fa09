#include "install/Uninstall.h"

#include <shlobj.h>
#include <shlwapi.h>

#include "framework/AfxHandles.h"
#include "framework/AfxString.h"
#include "install/InstallFolder.h"
#include "install/InstallLocation.h"
#include "install/PathText.h"
#include "install/UninstallEntry.h"
#include "install/UninstallTexts.h"
#include "update/StagedFile.h"
#include "update/UpdateTexts.h"

namespace {

const char kOption[] = "/uninstall";
const char kEntryName[] = "Zelmora";
// The copy that handed over is about to end; it is given this long before it counts as running.
const DWORD kHandOverWaitMs = 2000;
const DWORD kProbePauseMs = 100;

// The shortcuts that the placement writes besides the marker; a program group goes with its shortcut.
struct PlacedShortcut
{
    int csidl;
    const char* linkTail;
};

const PlacedShortcut kPlacedShortcuts[] = {
    {CSIDL_DESKTOPDIRECTORY, kLinkInFolder}, {CSIDL_COMMON_STARTMENU, kLinkInFolder},
    {CSIDL_COMMON_PROGRAMS, kLinkInGroup},   {CSIDL_STARTMENU, kLinkInFolder},
    {CSIDL_PROGRAMS, kLinkInGroup},          {CSIDL_APPDATA, kLinkInQuickLaunch},
};

int Say(const char* text, UINT type)
{
    return ::MessageBoxA(nullptr, text, QUOREL_UNINSTALL_CAPTION, type | MB_SETFOREGROUND);
}

// What stays, a line each: its name and the platform's reason.
void Note(CString& leftOver, const char* what, DWORD error)
{
    char reason[256];
    reason[0] = '\0';
    // On one line: the reason's own line breaks are dropped.
    ::FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS | FORMAT_MESSAGE_MAX_WIDTH_MASK,
                     nullptr, error, 0, reason, sizeof reason, nullptr);
    leftOver += "\r\n";
    leftOver += what;
    leftOver += "  ";
    leftOver += reason;
}

void RemoveFile(const char* path, CString& leftOver)
{
    if (::DeleteFileA(path))
        return;
    const DWORD error = ::GetLastError();
    if (error != ERROR_FILE_NOT_FOUND && error != ERROR_PATH_NOT_FOUND)
        Note(leftOver, path, error);
}

// The shortcut's target is the program, or the program less its extension as the desktop shortcut
// names it. A shortcut that cannot be read leads nowhere of ours.
bool LeadsTo(const char* linkPath, const char* program)
{
    WCHAR wideLinkPath[MAX_PATH];
    char bare[MAX_PATH];
    const int length = lstrlenA(program) - 4;
    if (!::MultiByteToWideChar(CP_ACP, 0, linkPath, -1, wideLinkPath, MAX_PATH) || length <= 0)
        return false;
    lstrcpynA(bare, program, length + 1);
    CComApartment apartment;
    CComRef<IShellLinkA> shellLink;
    CComRef<IPersistFile> persistFile;
    char target[MAX_PATH] = "";
    if (!apartment.Ok() ||
        FAILED(::CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER, IID_PPV_ARGS(shellLink.Receive()))) ||
        FAILED(shellLink->QueryInterface(IID_PPV_ARGS(persistFile.Receive()))) ||
        FAILED(persistFile->Load(wideLinkPath, STGM_READ)) ||
        FAILED(shellLink->GetPath(target, MAX_PATH, nullptr, SLGP_RAWPATH)))
        return false;
    return lstrcmpiA(target, program) == 0 || lstrcmpiA(target, bare) == 0;
}

void RemoveFromInstallFolder(const char* folder, const char* program, CString& leftOver)
{
    char path[MAX_PATH];
    RemoveFile(program, leftOver);
    if (ComposePath(path, sizeof path, folder, kBackupName))
        RemoveFile(path, leftOver);
    // What an install or an update staged and did not move into place; a held one keeps the folder.
    DeleteStagedLeftovers(folder);
    if (ComposePath(path, sizeof path, folder, kShortcutFileName) && LeadsTo(path, program))
        RemoveFile(path, leftOver);
    // Only when nothing is left in it: a user's own file keeps the folder.
    ::RemoveDirectoryA(folder);
}

void RemoveShortcuts(const char* program, CString& leftOver)
{
    for (const PlacedShortcut& shortcut : kPlacedShortcuts) {
        char folder[MAX_PATH];
        char path[kShortcutPathSize];
        if (!::SHGetSpecialFolderPathA(nullptr, folder, shortcut.csidl, FALSE) ||
            !ComposePath(path, sizeof path, folder, shortcut.linkTail))
            continue;
        if (LeadsTo(path, program))
            RemoveFile(path, leftOver);
        // Only when empty: another program's shortcut keeps it.
        if (shortcut.linkTail == kLinkInGroup && ComposePath(path, sizeof path, folder, kGroupFolder))
            ::RemoveDirectoryA(path);
    }
}

// How the program's file answers an open for writing and deleting, which changes nothing: a running copy
// holds it (the copy that handed over to this one is given time to end), and another user's install
// refuses this user.
DWORD ProbeProgram(const char* program)
{
    for (DWORD waited = 0;; waited += kProbePauseMs) {
        if (CKernelHandle(::CreateFileA(program, GENERIC_WRITE | DELETE,
                                        FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
                                        0, nullptr))
                .IsValid())
            return ERROR_SUCCESS;
        const DWORD error = ::GetLastError();
        if (error != ERROR_SHARING_VIOLATION || waited >= kHandOverWaitMs)
            return error;
        ::Sleep(kProbePauseMs);
    }
}

// A running program's file cannot be deleted, so the installed copy hands the work to a copy of itself
// in the user's temporary folder. That copy is opened to be deleted on close and the handle is
// inherited: the platform deletes the copy when its last holder, the copy's own process, ends.
bool HandOverToTemporaryCopy(const char* program)
{
    char temp[MAX_PATH];
    char copy[MAX_PATH];
    char commandLine[MAX_PATH + 16];
    const DWORD length = ::GetTempPathA(MAX_PATH, temp);
    if (length == 0 || length >= MAX_PATH || !UnpredictablePath(copy, sizeof copy, temp) ||
        !ComposePath(commandLine, sizeof commandLine, "\"", copy, "\" ", kOption) || !::CopyFileA(program, copy, TRUE))
        return false;
    SECURITY_ATTRIBUTES inherited = {sizeof inherited, nullptr, TRUE};
    CKernelHandle doomed(::CreateFileA(copy, DELETE, FILE_SHARE_READ | FILE_SHARE_DELETE, &inherited, OPEN_EXISTING,
                                       FILE_FLAG_DELETE_ON_CLOSE, nullptr));
    if (!doomed.IsValid()) {
        ::DeleteFileA(copy);
        return false;
    }
    STARTUPINFOA startup = {sizeof startup};
    PROCESS_INFORMATION started = {};
    if (!::CreateProcessA(copy, commandLine, nullptr, nullptr, TRUE, 0, nullptr, nullptr, &startup, &started))
        return false;
    CKernelHandle process(started.hProcess);
    CKernelHandle thread(started.hThread);
    return true;
}

}  // namespace

bool IsUninstallCommand(const char* commandLine)
{
    return lstrcmpiA(::PathGetArgsA(commandLine), kOption) == 0;
}

void RunUninstall()
{
    char commonAppData[MAX_PATH];
    char folder[MAX_PATH];
    char program[MAX_PATH];
    if (!::SHGetSpecialFolderPathA(nullptr, commonAppData, CSIDL_COMMON_APPDATA, FALSE) ||
        !ComposePath(folder, sizeof folder, commonAppData, kInstallSubFolder) ||
        !ComposePath(program, sizeof program, folder, kInstalledExeName)) {
        Say(QUOREL_UNINSTALL_PARTIAL "\r\nZelmora", MB_OK | MB_ICONEXCLAMATION);
        return;
    }
    // A path cut short names no program of ours.
    char own[MAX_PATH] = "";
    ::GetModuleFileNameA(nullptr, own, MAX_PATH);
    // Should the hand-over fail, this copy goes on and reports its own file as left over.
    if (lstrcmpiA(own, program) == 0 && HandOverToTemporaryCopy(own))
        return;

    if (Say(QUOREL_UNINSTALL_QUESTION, MB_YESNO | MB_ICONQUESTION) != IDYES)
        return;
    // A copy still running after an update without a restart runs from the backup.
    char backup[MAX_PATH];
    DWORD answer = ProbeProgram(program);
    if ((answer == ERROR_SUCCESS || answer == ERROR_FILE_NOT_FOUND) &&
        ComposePath(backup, sizeof backup, folder, kBackupName))
        answer = ProbeProgram(backup);
    if (answer == ERROR_SHARING_VIOLATION || answer == ERROR_ACCESS_DENIED) {
        Say(answer == ERROR_SHARING_VIOLATION ? QUOREL_UNINSTALL_RUNNING : QUOREL_UNINSTALL_NOT_YOURS,
            MB_OK | MB_ICONEXCLAMATION);
        return;
    }
    // A folder that is a link, or that another user owns, is not this user's to empty.
    if (::GetFileAttributesA(folder) != INVALID_FILE_ATTRIBUTES && !OpenInstallFolder(folder, false).IsValid()) {
        Say(QUOREL_UNINSTALL_NOT_YOURS, MB_OK | MB_ICONEXCLAMATION);
        return;
    }
    // Whatever stays is added to the report.
    CString leftOver(QUOREL_UNINSTALL_PARTIAL);
    const int nothingLeft = leftOver.GetLength();
    RemoveFromInstallFolder(folder, program, leftOver);
    RemoveShortcuts(program, leftOver);
    if (const DWORD error = RemoveUninstallEntry())
        Note(leftOver, kEntryName, error);
    if (leftOver.GetLength() == nothingLeft) {
        Say(QUOREL_UNINSTALL_DONE, MB_OK | MB_ICONINFORMATION);
        return;
    }
    Say(leftOver, MB_OK | MB_ICONEXCLAMATION);
}
