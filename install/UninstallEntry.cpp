#include "install/UninstallEntry.h"

#include "framework/AfxHandles.h"
#include "framework/AfxString.h"
#include "update/Versions.h"

namespace {

const char kEntryKey[] = "Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\Zelmora";
const char kDisplayIcon[] = "DisplayIcon";
const char kDisplayVersion[] = "DisplayVersion";
// The vendor's name as the version resource gives it.
const char kCompanyName[] = "\\StringFileInfo\\080404b0\\CompanyName";

struct CRegKeyTraits
{
    using Handle = HKEY;
    static HKEY Invalid() { return nullptr; }
    static bool IsValid(HKEY key) { return key != nullptr; }
    static void Close(HKEY key) { ::RegCloseKey(key); }
};
using CRegKey = CScopedHandle<CRegKeyTraits>;

void SetText(HKEY key, const char* name, const char* value)
{
    ::RegSetValueExA(key, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(value), lstrlenA(value) + 1);
}

void SetNumber(HKEY key, const char* name, DWORD value)
{
    ::RegSetValueExA(key, name, 0, REG_DWORD, reinterpret_cast<const BYTE*>(&value), sizeof value);
}

CString Publisher(const char* path)
{
    CString publisher;
    DWORD ignored = 0;
    CHeapBlock block(::GetFileVersionInfoSizeA(path, &ignored));
    void* value = nullptr;
    UINT size = 0;
    if (block.Get() && ::GetFileVersionInfoA(path, 0, block.Size(), block.Get()) &&
        ::VerQueryValueA(block.Get(), kCompanyName, &value, &size) && size > 0) {
        publisher = static_cast<const char*>(value);
    }
    return publisher;
}

}  // namespace

void RegisterUninstallEntry(const char* installFolder, const char* installPath)
{
    CRegKey key;
    if (::RegCreateKeyExA(HKEY_LOCAL_MACHINE, kEntryKey, 0, nullptr, 0, KEY_SET_VALUE, nullptr, key.Receive(),
                          nullptr) != ERROR_SUCCESS &&
        ::RegCreateKeyExA(HKEY_CURRENT_USER, kEntryKey, 0, nullptr, 0, KEY_SET_VALUE, nullptr, key.Receive(),
                          nullptr) != ERROR_SUCCESS) {
        return;
    }
    CString command("\"");
    command += installPath;
    command += "\" /uninstall";
    WIN32_FILE_ATTRIBUTE_DATA file = {};
    ::GetFileAttributesExA(installPath, GetFileExInfoStandard, &file);

    SetText(key.Get(), "DisplayName", "Zelmora");
    SetText(key.Get(), kDisplayVersion, FullVersionText(installPath));
    SetText(key.Get(), "Publisher", Publisher(installPath));
    SetText(key.Get(), kDisplayIcon, installPath);
    SetText(key.Get(), "InstallLocation", installFolder);
    SetText(key.Get(), "UninstallString", command);
    // In kilobytes.
    SetNumber(key.Get(), "EstimatedSize", (file.nFileSizeLow + 1023) / 1024);
    SetNumber(key.Get(), "NoModify", 1);
    SetNumber(key.Get(), "NoRepair", 1);
}

void RefreshUninstallVersion(const char* path, const char* version)
{
    const HKEY roots[] = {HKEY_LOCAL_MACHINE, HKEY_CURRENT_USER};
    for (HKEY root : roots) {
        CRegKey key;
        char program[MAX_PATH];
        DWORD size = sizeof program;
        if (::RegOpenKeyExA(root, kEntryKey, 0, KEY_QUERY_VALUE | KEY_SET_VALUE, key.Receive()) == ERROR_SUCCESS &&
            ::RegGetValueA(key.Get(), nullptr, kDisplayIcon, RRF_RT_REG_SZ, nullptr, program, &size) == ERROR_SUCCESS &&
            lstrcmpiA(program, path) == 0) {
            SetText(key.Get(), kDisplayVersion, version);
        }
    }
}

bool RemoveUninstallEntry(DWORD* error)
{
    bool removed = true;
    const HKEY roots[] = {HKEY_LOCAL_MACHINE, HKEY_CURRENT_USER};
    for (HKEY root : roots) {
        const LONG result = ::RegDeleteKeyA(root, kEntryKey);
        if (result != ERROR_SUCCESS && result != ERROR_FILE_NOT_FOUND) {
            *error = static_cast<DWORD>(result);
            removed = false;
        }
    }
    return removed;
}
