#include "install/UninstallEntry.h"

#include "app/BuildConfig.h"
#include "framework/AfxPath.h"
#include "update/Versions.h"

namespace {

const char kEntryKey[] = "Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\Zelmora";
const char kDisplayIcon[] = "DisplayIcon";
const char kDisplayVersion[] = "DisplayVersion";

LONG SetText(HKEY root, const char* name, const char* value)
{
    return ::RegSetKeyValueA(root, kEntryKey, name, REG_SZ, value, lstrlenA(value) + 1);
}

void SetNumber(HKEY root, const char* name, DWORD value)
{
    ::RegSetKeyValueA(root, kEntryKey, name, REG_DWORD, &value, sizeof value);
}

}  // namespace

void RegisterUninstallEntry(const char* installFolder, const char* installPath)
{
    // The first value decides where the entry goes: the machine's list when this process may write it.
    HKEY root = HKEY_LOCAL_MACHINE;
    if (SetText(root, "DisplayName", "Zelmora") != ERROR_SUCCESS) {
        root = HKEY_CURRENT_USER;
        if (SetText(root, "DisplayName", "Zelmora") != ERROR_SUCCESS)
            return;
    }
    char command[MAX_PATH + 16];
    SetText(root, kDisplayVersion, FullVersionText(installPath));
    SetText(root, "Publisher", kVendorName);
    SetText(root, kDisplayIcon, installPath);
    SetText(root, "InstallLocation", installFolder);
    if (ComposePath(command, sizeof command, "\"", installPath, "\" /uninstall"))
        SetText(root, "UninstallString", command);
    // In kilobytes.
    SetNumber(root, "EstimatedSize", (::GetCompressedFileSizeA(installPath, nullptr) + 1023) / 1024);
    SetNumber(root, "NoModify", 1);
    SetNumber(root, "NoRepair", 1);
}

void RefreshUninstallVersion(const char* path, const char* version)
{
    const HKEY roots[] = {HKEY_LOCAL_MACHINE, HKEY_CURRENT_USER};
    for (HKEY root : roots) {
        char program[MAX_PATH];
        DWORD size = sizeof program;
        if (::RegGetValueA(root, kEntryKey, kDisplayIcon, RRF_RT_REG_SZ, nullptr, program, &size) == ERROR_SUCCESS &&
            lstrcmpiA(program, path) == 0)
            SetText(root, kDisplayVersion, version);
    }
}

DWORD RemoveUninstallEntry()
{
    DWORD error = ERROR_SUCCESS;
    const HKEY roots[] = {HKEY_LOCAL_MACHINE, HKEY_CURRENT_USER};
    for (HKEY root : roots) {
        const LONG result = ::RegDeleteKeyA(root, kEntryKey);
        if (result != ERROR_SUCCESS && result != ERROR_FILE_NOT_FOUND)
            error = static_cast<DWORD>(result);
    }
    return error;
}
