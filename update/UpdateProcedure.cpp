#include "update/UpdateAgent.h"
#include "framework/AfxHandles.h"
#include "framework/AfxPath.h"
#include "update/Publisher.h"
#include "update/UpdateTexts.h"
#include "update/Versions.h"
#include <aclapi.h>
#include <string.h>

namespace {

const DWORD kVersionFileLimit = 4096;
// The largest PE section table the loader accepts.
const WORD kMaxSections = 96;

bool ReadAt(HANDLE file, LONGLONG offset, void* buffer, DWORD size)
{
    LARGE_INTEGER position;
    position.QuadPart = offset;
    DWORD read = 0;
    return SetFilePointerEx(file, position, nullptr, FILE_BEGIN) && ReadFile(file, buffer, size, &read, nullptr) &&
           read == size;
}

WORD RunningMachine()
{
    const BYTE* image = reinterpret_cast<const BYTE*>(GetModuleHandleA(nullptr));
    const IMAGE_DOS_HEADER* dos = reinterpret_cast<const IMAGE_DOS_HEADER*>(image);
    return reinterpret_cast<const IMAGE_NT_HEADERS*>(image + dos->e_lfanew)->FileHeader.Machine;
}

// A whole executable for this machine: a PE program (not a library) whose file holds every section and
// its signature block. A download cut short can still carry an intact version resource, so the version
// alone does not prove the file complete.
bool IsCompleteExecutable(const char* path)
{
    CKernelHandle file(CreateFileA(path, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                   OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    LARGE_INTEGER fileSize;
    if (!file.IsValid() || !GetFileSizeEx(file.Get(), &fileSize))
        return false;

    IMAGE_DOS_HEADER dos;
    if (!ReadAt(file.Get(), 0, &dos, sizeof(dos)) || dos.e_magic != IMAGE_DOS_SIGNATURE || dos.e_lfanew <= 0)
        return false;
    DWORD signature = 0;
    IMAGE_FILE_HEADER header;
    if (!ReadAt(file.Get(), dos.e_lfanew, &signature, sizeof(signature)) || signature != IMAGE_NT_SIGNATURE ||
        !ReadAt(file.Get(), dos.e_lfanew + LONGLONG(sizeof(signature)), &header, sizeof(header)))
        return false;
    if (header.Machine != RunningMachine() || !(header.Characteristics & IMAGE_FILE_EXECUTABLE_IMAGE) ||
        (header.Characteristics & IMAGE_FILE_DLL) || header.NumberOfSections == 0 ||
        header.NumberOfSections > kMaxSections)
        return false;

    LONGLONG optionalOffset = dos.e_lfanew + LONGLONG(sizeof(signature) + sizeof(header));
    union {
        IMAGE_OPTIONAL_HEADER32 h32;
        IMAGE_OPTIONAL_HEADER64 h64;
    } optional = {};
    DWORD optionalSize =
        header.SizeOfOptionalHeader < sizeof(optional) ? header.SizeOfOptionalHeader : DWORD(sizeof(optional));
    if (optionalSize < sizeof(optional.h32.Magic) || !ReadAt(file.Get(), optionalOffset, &optional, optionalSize))
        return false;

    LONGLONG end = 0;
    const IMAGE_DATA_DIRECTORY* security = nullptr;
    if (optional.h32.Magic == IMAGE_NT_OPTIONAL_HDR32_MAGIC) {
        end = optional.h32.SizeOfHeaders;
        if (optional.h32.NumberOfRvaAndSizes > IMAGE_DIRECTORY_ENTRY_SECURITY)
            security = &optional.h32.DataDirectory[IMAGE_DIRECTORY_ENTRY_SECURITY];
    } else if (optional.h32.Magic == IMAGE_NT_OPTIONAL_HDR64_MAGIC) {
        end = optional.h64.SizeOfHeaders;
        if (optional.h64.NumberOfRvaAndSizes > IMAGE_DIRECTORY_ENTRY_SECURITY)
            security = &optional.h64.DataDirectory[IMAGE_DIRECTORY_ENTRY_SECURITY];
    } else {
        return false;
    }
    // The signature block's address is a file offset, not an address in memory.
    if (security && security->Size != 0 && LONGLONG(security->VirtualAddress) + security->Size > end)
        end = LONGLONG(security->VirtualAddress) + security->Size;

    LONGLONG sectionOffset = optionalOffset + header.SizeOfOptionalHeader;
    for (WORD i = 0; i < header.NumberOfSections; ++i) {
        IMAGE_SECTION_HEADER section;
        if (!ReadAt(file.Get(), sectionOffset + LONGLONG(i) * sizeof(section), &section, sizeof(section)))
            return false;
        LONGLONG sectionEnd = LONGLONG(section.PointerToRawData) + section.SizeOfRawData;
        if (section.SizeOfRawData != 0 && sectionEnd > end)
            end = sectionEnd;
    }
    return end <= fileSize.QuadPart;
}

// A move keeps the file's security from the user's temporary folder, where other users may have no access.
// An empty DACL that is not protected leaves the file only what its new folder passes on to its files.
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
    CInternetHandle versionRequest(OpenRemote(versionUrl));
    if (!versionRequest)
        return UpdateUrlNotOpened;

    // One byte beyond the read stays zero, so the text ends within the bytes received.
    char versionBuffer[kVersionFileLimit + 1];
    memset(versionBuffer, 0, sizeof(versionBuffer));
    bool versionRead = ReadChunk(versionRequest.Get(), versionBuffer, kVersionFileLimit);
    // A version file that stalls counts as one that could not be opened.
    const bool versionStalled = !versionRead && GetLastError() == ERROR_INTERNET_TIMEOUT;
    versionRequest.Close();
    if (!versionRead)
        return versionStalled ? UpdateUrlNotOpened : UpdateVersionFileUnread;

    CString ownPath = RunningModulePath();
    CString ownVersion = ReadVersionText(ownPath);
    if (ownVersion.IsEmpty())
        return UpdateNoLocalVersion;

    CString serverVersion(versionBuffer);
    if (CompareVersionText(serverVersion, ownVersion) != 1)
        return UpdateNotNewer;

    char tempFolder[MAX_PATH];
    DWORD tempLength = GetTempPathA(MAX_PATH, tempFolder);
    if (tempLength == 0 || tempLength >= MAX_PATH)
        return UpdateTransferFailed;
    const char* lastBackslash = FindLastBackslash(ownPath);
    const char* exeName = lastBackslash != nullptr ? lastBackslash + 1 : static_cast<const char*>(ownPath);
    char downloadTarget[MAX_PATH];
    if (*exeName == '\0' || !ComposePath(downloadTarget, MAX_PATH, tempFolder, exeName))
        return UpdateTransferFailed;
    CString exeUrl(baseUrl);
    exeUrl += exeName;

    // The executable is requested before the user is asked.
    CInternetHandle exeRequest(OpenRemote(exeUrl));
    if (!exeRequest)
        return UpdateUrlNotOpened;

    CString question(QUOREL_QUESTION_BEFORE);
    question += serverVersion;
    question += QUOREL_QUESTION_AFTER;
    if (MessageBoxA(GetActiveWindow(), question, QUOREL_QUESTION_CAPTION, MB_YESNO | MB_ICONQUESTION) == IDNO)
        return UpdateNotInstalled;

    bool downloaded = SaveRemoteToFile(exeRequest.Get(), downloadTarget);
    exeRequest.Close();
    // An error page, a cut-off file or another version must never become the program.
    if (!downloaded || !IsCompleteExecutable(downloadTarget) ||
        CompareVersionText(FullVersionText(downloadTarget), serverVersion) != 0 ||
        !MayReplace(ownPath, downloadTarget)) {
        DeleteFileA(downloadTarget);
        return UpdateTransferFailed;
    }

    if (!SwapExecutable(ownPath, downloadTarget)) {
        DeleteFileA(downloadTarget);
        return UpdateNotInstalled;
    }
    return UpdateInstalled;
}

bool CUpdateAgent::SwapExecutable(CString runningPath, CString downloadedPath)
{
    const char* running = runningPath;
    char folder[MAX_PATH];
    char name[MAX_PATH];
    char backupPath[MAX_PATH];
    if (!SplitProgramPath(running, folder, MAX_PATH, name, MAX_PATH) || folder[0] == '\0' ||
        !ComposePath(backupPath, MAX_PATH, folder, kBackupName))
        return false;

    DeleteFileA(backupPath);
    // Moved, not copied: the running image cannot be overwritten while it runs, but it can be renamed.
    if (!MoveFileExA(running, backupPath, MOVEFILE_COPY_ALLOWED))
        return false;
    if (MoveFileExA(downloadedPath, running, MOVEFILE_COPY_ALLOWED)) {
        // The new program is in place either way; at worst it keeps the permissions it was downloaded with.
        TakeFolderPermissions(running);
        return true;
    }
    // Never leave the running path empty, nor holding part of the new file: a move that has to copy
    // (the temporary folder on another volume) can fail after it has begun to write.
    MoveFileExA(backupPath, running, MOVEFILE_COPY_ALLOWED | MOVEFILE_REPLACE_EXISTING);
    return false;
}
