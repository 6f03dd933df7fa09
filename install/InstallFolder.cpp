#include "install/InstallFolder.h"

#include <aclapi.h>
#include <sddl.h>

#include "framework/AfxPath.h"
#include "update/StagedFile.h"

namespace {

// The token's user, with room for its SID.
struct CurrentUser
{
    TOKEN_USER token;
    BYTE room[SECURITY_MAX_SID_SIZE];
};

bool ReadCurrentUser(CurrentUser& user)
{
    CKernelHandle token;
    DWORD size = 0;
    return ::OpenProcessToken(::GetCurrentProcess(), TOKEN_QUERY, token.Receive()) &&
           ::GetTokenInformation(token.Get(), TokenUser, &user, sizeof user, &size);
}

// SYSTEM, Administrators and the creating user have full control; every other user may read and start
// the program, never add to it. Everyone rather than Users: whoever sees the common Start menu's shortcut,
// a guest too, can start it, and there is nothing to read that the program does not show anyway.
// Protected: nothing of what the common application-data folder passes on (any user may create) reaches it.
bool ClosedFolderSecurity(PSID user, CLocalMemory& descriptor)
{
    char* userText = nullptr;
    if (!::ConvertSidToStringSidA(user, &userText))
        return false;
    char sddl[256];
    wsprintfA(sddl, "D:P(A;OICI;FA;;;SY)(A;OICI;FA;;;BA)(A;OICI;FA;;;%s)(A;OICI;FRFX;;;WD)", userText);
    ::LocalFree(userText);
    return ::ConvertStringSecurityDescriptorToSecurityDescriptorA(sddl, SDDL_REVISION_1, descriptor.Receive(), nullptr);
}

bool IsTrusted(PSID sid, PSID user)
{
    return ::EqualSid(sid, user) || ::IsWellKnownSid(sid, WinLocalSystemSid) ||
           ::IsWellKnownSid(sid, WinBuiltinAdministratorsSid);
}

// Whether anyone else may add to the folder or change its permissions; a null DACL lets everyone.
bool OthersMayChange(PACL dacl, PSID user)
{
    const DWORD kChanges =
        FILE_ADD_FILE | FILE_ADD_SUBDIRECTORY | WRITE_DAC | WRITE_OWNER | GENERIC_WRITE | GENERIC_ALL;
    if (dacl == nullptr)
        return true;
    const BYTE* entry = reinterpret_cast<const BYTE*>(dacl + 1);
    for (WORD i = 0; i < dacl->AceCount; ++i, entry += reinterpret_cast<const ACE_HEADER*>(entry)->AceSize) {
        const ACCESS_ALLOWED_ACE* ace = reinterpret_cast<const ACCESS_ALLOWED_ACE*>(entry);
        if (ace->Header.AceType == ACCESS_ALLOWED_ACE_TYPE && (ace->Mask & kChanges) &&
            !IsTrusted(const_cast<DWORD*>(&ace->SidStart), user))
            return true;
    }
    return false;
}

// Whether the folder held may be used: a junction or a symbolic link leads wherever its maker wants, and
// only its owner, SYSTEM or Administrators decide who may change it. One that an earlier release made with
// what the common folder passes on (any user may add) is closed now, for what it holds too.
bool MayUse(HANDLE held, const char* folder, PSID self, PSECURITY_DESCRIPTOR closed)
{
    const DWORD attributes = ::GetFileAttributesA(folder);
    PSID owner = nullptr;
    PACL dacl = nullptr;
    CLocalMemory found;
    if (attributes == INVALID_FILE_ATTRIBUTES || (attributes & FILE_ATTRIBUTE_REPARSE_POINT) ||
        ::GetSecurityInfo(held, SE_FILE_OBJECT, OWNER_SECURITY_INFORMATION | DACL_SECURITY_INFORMATION, &owner, nullptr,
                          &dacl, nullptr, found.Receive()) != ERROR_SUCCESS ||
        !IsTrusted(owner, self))
        return false;
    if (!::EqualSid(owner, self) || !OthersMayChange(dacl, self))
        return true;
    BOOL present = FALSE;
    BOOL defaulted = FALSE;
    PACL closedDacl = nullptr;
    return ::GetSecurityDescriptorDacl(closed, &present, &closedDacl, &defaulted) &&
           ::SetNamedSecurityInfoA(const_cast<char*>(folder), SE_FILE_OBJECT,
                                   DACL_SECURITY_INFORMATION | PROTECTED_DACL_SECURITY_INFORMATION, nullptr, nullptr,
                                   closedDacl, nullptr) == ERROR_SUCCESS;
}

}  // namespace

CKernelHandle OpenInstallFolder(const char* folderPath, bool create)
{
    // Without its last backslash: a link is named, not stepped through.
    char folder[MAX_PATH];
    lstrcpynA(folder, folderPath, MAX_PATH);
    folder[lstrlenA(folder) - 1] = '\0';
    CurrentUser user;
    CLocalMemory closed;
    CKernelHandle held;
    if (!ReadCurrentUser(user) || !ClosedFolderSecurity(user.token.User.Sid, closed))
        return held;
    if (create) {
        SECURITY_ATTRIBUTES attributes = {sizeof attributes, closed.Get(), FALSE};
        // Closed as it is made: no moment in which another user could put something in it.
        ::CreateDirectoryA(folder, &attributes);
    }
    // Held without delete sharing, and the folder itself, not what a link in its place leads to.
    held.Reset(::CreateFileA(folder, READ_CONTROL | FILE_READ_ATTRIBUTES, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                             OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT, nullptr));
    if (held.IsValid() && !MayUse(held.Get(), folder, user.token.User.Sid, closed.Get()))
        held.Reset();
    return held;
}

void DeleteStagedLeftovers(const char* folder)
{
    char pattern[MAX_PATH];
    if (!ComposePath(pattern, sizeof pattern, folder, kStagedPrefix, "*", kStagedExtension))
        return;
    WIN32_FIND_DATAA entry;
    CFindHandle find(::FindFirstFileA(pattern, &entry));
    for (bool more = find.IsValid(); more; more = ::FindNextFileA(find.Get(), &entry)) {
        char path[MAX_PATH];
        if (!IsStagedFileName(entry.cFileName) || !ComposePath(path, sizeof path, folder, entry.cFileName))
            continue;
        // Opened only when no other process has it open at all; it goes when this handle closes.
        CKernelHandle(::CreateFileA(path, DELETE, 0, nullptr, OPEN_EXISTING,
                                    FILE_FLAG_DELETE_ON_CLOSE | FILE_FLAG_OPEN_REPARSE_POINT, nullptr));
    }
}
