#include "update/StagedFile.h"

#include <ntsecapi.h>
#include <string.h>

#include "framework/AfxPath.h"

namespace {

const int kRandomBytes = 8;

}  // namespace

bool UnpredictablePath(char* path, int size, const char* folder)
{
    BYTE random[kRandomBytes];
    if (!RtlGenRandom(random, sizeof random))
        return false;
    char hex[2 * kRandomBytes + 1];
    for (int i = 0; i < kRandomBytes; ++i)
        wsprintfA(hex + 2 * i, "%02x", random[i]);
    return ComposePath(path, size, folder, kStagedPrefix, hex, kStagedExtension);
}

bool IsStagedFileName(const char* name)
{
    const int prefix = sizeof kStagedPrefix - 1;
    const int digits = 2 * kRandomBytes;
    if (lstrlenA(name) != prefix + digits + int(sizeof kStagedExtension - 1) ||
        memcmp(name, kStagedPrefix, prefix) != 0 ||
        memcmp(name + prefix + digits, kStagedExtension, sizeof kStagedExtension) != 0)
        return false;
    for (int i = prefix; i < prefix + digits; ++i) {
        if (!(name[i] >= '0' && name[i] <= '9') && !(name[i] >= 'a' && name[i] <= 'f'))
            return false;
    }
    return true;
}

bool IsHeldByAnotherProcess(DWORD error)
{
    // Access denied is a permission, and waiting does not change it.
    return error == ERROR_SHARING_VIOLATION || error == ERROR_LOCK_VIOLATION;
}

bool IsHeldAgainstReplacing(const char* path)
{
    // Opening for DELETE while sharing everything fails only where another handle withholds delete
    // sharing; a file the user may not delete is refused with access denied instead.
    CKernelHandle file(CreateFileA(path, DELETE, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                   OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    return !file.IsValid() && GetLastError() == ERROR_SHARING_VIOLATION;
}

bool MoveWrittenThrough(const char* from, const char* to, DWORD flags)
{
    return RetryWhileLocked([&] { return MoveFileExA(from, to, flags | MOVEFILE_WRITE_THROUGH) != FALSE; },
                            (flags & MOVEFILE_REPLACE_EXISTING) ? to : nullptr);
}

bool CStagedFile::Create(const char* folder)
{
    Discard();
    if (!UnpredictablePath(m_path, sizeof m_path, folder))
        return false;
    // Others may read it (a scanner must), but only if they let it be written and moved: nobody else
    // can write, move or delete it while it is held.
    m_file = CKernelHandle(CreateFileA(m_path, GENERIC_READ | GENERIC_WRITE | DELETE, FILE_SHARE_READ, nullptr,
                                       CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!m_file.IsValid()) {
        m_path[0] = '\0';
        return false;
    }
    return true;
}

bool CStagedFile::Write(const void* data, DWORD size)
{
    DWORD written = 0;
    return m_file.IsValid() && WriteFile(m_file.Get(), data, size, &written, nullptr) && written == size;
}

bool CStagedFile::Flush()
{
    return m_file.IsValid() && FlushFileBuffers(m_file.Get());
}

bool CStagedFile::MoveTo(const char* path, bool replace)
{
    if (!m_file.IsValid())
        return false;
    struct
    {
        FILE_RENAME_INFO info;
        WCHAR room[MAX_PATH];
    } rename = {};
    const int length = MultiByteToWideChar(CP_ACP, 0, path, -1, rename.info.FileName, MAX_PATH);
    if (length <= 1)
        return false;
    rename.info.ReplaceIfExists = replace;
    rename.info.FileNameLength = DWORD(length - 1) * sizeof(WCHAR);
    const bool moved = RetryWhileLocked(
        [&] { return SetFileInformationByHandle(m_file.Get(), FileRenameInfo, &rename, sizeof rename) != FALSE; },
        replace ? path : nullptr);
    if (!moved)
        return false;
    // The new name is metadata of its own: written through like the data.
    FlushFileBuffers(m_file.Get());
    m_path[0] = '\0';
    m_file.Reset();
    return true;
}

void CStagedFile::Discard()
{
    if (!m_file.IsValid())
        return;
    // Through the handle: the file that was held is the one that goes.
    FILE_DISPOSITION_INFO disposition = {TRUE};
    SetFileInformationByHandle(m_file.Get(), FileDispositionInfo, &disposition, sizeof disposition);
    m_file.Reset();
    m_path[0] = '\0';
}
