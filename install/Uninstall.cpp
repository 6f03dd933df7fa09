#include "install/Uninstall.h"

#include <shlobj.h>
#include <tlhelp32.h>

#include "framework/AfxHandles.h"
#include "framework/AfxString.h"
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
const DWORD kHandOverWaitMs = 10000;

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

struct CFindHandleTraits
{
    using Handle = HANDLE;
    static HANDLE Invalid() { return INVALID_HANDLE_VALUE; }
    static bool IsValid(HANDLE handle) { return handle != INVALID_HANDLE_VALUE; }
    static void Close(HANDLE handle) { ::FindClose(handle); }
};
using CFindHandle = CScopedHandle<CFindHandleTraits>;

int Say(const char* text, UINT type)
{
    return ::MessageBoxA(nullptr, text, QUOREL_UNINSTALL_CAPTION, type | MB_SETFOREGROUND);
}

bool IsBlank(char c)
{
    return c == ' ' || c == '\t';
}

// What stays, a line each: its name and the platform's reason.
void Note(CString& leftOver, const char* what, DWORD error)
{
    char reason[256] = "";
    ::FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr, error, 0, reason,
                     sizeof reason, nullptr);
    for (int end = lstrlenA(reason); end > 0 && (reason[end - 1] == '\r' || reason[end - 1] == '\n'); --end)
        reason[end - 1] = '\0';
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
    if (::GetFileAttributesA(linkPath) == INVALID_FILE_ATTRIBUTES ||
        !::MultiByteToWideChar(CP_ACP, 0, linkPath, -1, wideLinkPath, MAX_PATH))
        return false;
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
    const int length = lstrlenA(target);
    return lstrcmpiA(target, program) == 0 ||
           (length == lstrlenA(program) - 4 &&
            CompareStringA(LOCALE_INVARIANT, NORM_IGNORECASE, target, length, program, length) == CSTR_EQUAL);
}

// "Quo", 16 hexadecimal digits, ".tmp": what an install or an update staged and did not move into place.
bool IsStagedName(const char* name)
{
    if (lstrlenA(name) != 23 || CompareStringA(LOCALE_INVARIANT, NORM_IGNORECASE, name, 3, "Quo", 3) != CSTR_EQUAL ||
        lstrcmpiA(name + 19, ".tmp") != 0)
        return false;
    for (int i = 3; i < 19; ++i) {
        const char c = name[i];
        if (!(c >= '0' && c <= '9') && !(c >= 'a' && c <= 'f'))
            return false;
    }
    return true;
}

void RemoveFromInstallFolder(const char* folder, const char* program, CString& leftOver)
{
    char path[MAX_PATH];
    RemoveFile(program, leftOver);
    if (ComposePath(path, sizeof path, folder, kBackupName))
        RemoveFile(path, leftOver);
    WIN32_FIND_DATAA found;
    CFindHandle find;
    if (ComposePath(path, sizeof path, folder, "Quo*.tmp"))
        find.Reset(::FindFirstFileA(path, &found));
    for (bool more = find.IsValid(); more; more = ::FindNextFileA(find.Get(), &found)) {
        if (IsStagedName(found.cFileName) && ComposePath(path, sizeof path, folder, found.cFileName))
            RemoveFile(path, leftOver);
    }
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

// Another process runs the installed program. The copy that handed over to this one is waited for; a
// process of the program's name that cannot be looked at may be it.
bool InstalledProgramRuns(const char* program)
{
    const DWORD self = ::GetCurrentProcessId();
    DWORD parent = 0;
    CKernelHandle snapshot(::CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0));
    PROCESSENTRY32 entry = {sizeof entry};
    for (BOOL more = ::Process32First(snapshot.Get(), &entry); more; more = ::Process32Next(snapshot.Get(), &entry)) {
        if (entry.th32ProcessID == self)
            parent = entry.th32ParentProcessID;
    }
    for (BOOL more = ::Process32First(snapshot.Get(), &entry); more; more = ::Process32Next(snapshot.Get(), &entry)) {
        if (entry.th32ProcessID == self || lstrcmpiA(entry.szExeFile, kInstalledExeName) != 0)
            continue;
        CKernelHandle process(
            ::OpenProcess(SYNCHRONIZE | PROCESS_QUERY_LIMITED_INFORMATION, FALSE, entry.th32ProcessID));
        char image[MAX_PATH];
        DWORD size = MAX_PATH;
        if (!process.IsValid() || !::QueryFullProcessImageNameA(process.Get(), 0, image, &size))
            return true;
        if (lstrcmpiA(image, program) != 0)
            continue;
        if (entry.th32ProcessID == parent && ::WaitForSingleObject(process.Get(), kHandOverWaitMs) == WAIT_OBJECT_0)
            continue;
        return true;
    }
    return false;
}

// The platform's answer for this user: may the program's file be deleted? Asked before anything changes.
bool MayRemove(const char* program)
{
    CKernelHandle file(::CreateFileA(program, DELETE, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                     OPEN_EXISTING, 0, nullptr));
    return file.IsValid() || ::GetLastError() != ERROR_ACCESS_DENIED;
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
    // The program path, quoted or not, comes first.
    const char* rest = commandLine;
    if (*rest == '"') {
        for (++rest; *rest != '\0' && *rest != '"'; ++rest) {
        }
        if (*rest == '"')
            ++rest;
    } else {
        while (*rest != '\0' && !IsBlank(*rest))
            ++rest;
    }
    while (IsBlank(*rest))
        ++rest;
    const int length = lstrlenA(kOption);
    if (lstrlenA(rest) < length ||
        CompareStringA(LOCALE_INVARIANT, NORM_IGNORECASE, rest, length, kOption, length) != CSTR_EQUAL)
        return false;
    for (rest += length; IsBlank(*rest); ++rest) {
    }
    return *rest == '\0';
}

void RunUninstall()
{
    char commonAppData[MAX_PATH];
    char folder[MAX_PATH];
    char program[MAX_PATH];
    if (!::SHGetSpecialFolderPathA(nullptr, commonAppData, CSIDL_COMMON_APPDATA, FALSE) ||
        !ComposePath(folder, sizeof folder, commonAppData, kInstallSubFolder) ||
        !ComposePath(program, sizeof program, folder, kInstalledExeName)) {
        Say(QUOREL_UNINSTALL_PARTIAL "\r\n"
                                     "Zelmora",
            MB_OK | MB_ICONEXCLAMATION);
        return;
    }
    char own[MAX_PATH];
    const DWORD ownLength = ::GetModuleFileNameA(nullptr, own, MAX_PATH);
    // Should the hand-over fail, this copy goes on and reports its own file as left over.
    if (ownLength > 0 && ownLength < MAX_PATH && lstrcmpiA(own, program) == 0 && HandOverToTemporaryCopy(own))
        return;

    if (Say(QUOREL_UNINSTALL_QUESTION, MB_YESNO | MB_ICONQUESTION) != IDYES)
        return;
    if (InstalledProgramRuns(program)) {
        Say(QUOREL_UNINSTALL_RUNNING, MB_OK | MB_ICONEXCLAMATION);
        return;
    }
    if (!MayRemove(program)) {
        Say(QUOREL_UNINSTALL_NOT_YOURS, MB_OK | MB_ICONSTOP);
        return;
    }
    CString leftOver;
    RemoveFromInstallFolder(folder, program, leftOver);
    RemoveShortcuts(program, leftOver);
    DWORD error = 0;
    if (!RemoveUninstallEntry(&error))
        Note(leftOver, kEntryName, error);
    if (leftOver.IsEmpty()) {
        Say(QUOREL_UNINSTALL_DONE, MB_OK | MB_ICONINFORMATION);
        return;
    }
    CString text(QUOREL_UNINSTALL_PARTIAL);
    text += leftOver;
    Say(text, MB_OK | MB_ICONEXCLAMATION);
}
