#include "hands/InstallState.h"

#include <shellapi.h>
#include <shlobj.h>

#include "framework/AfxHandles.h"
#include "install/InstallLocation.h"

std::string SpecialFolder(int csidl)
{
    char path[MAX_PATH] = "";
    SHGetFolderPathA(nullptr, csidl | CSIDL_FLAG_DONT_VERIFY, nullptr, SHGFP_TYPE_CURRENT, path);
    return path;
}

bool FileExists(const std::string& path)
{
    const DWORD attributes = GetFileAttributesA(path.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && !(attributes & FILE_ATTRIBUTE_DIRECTORY);
}

bool DirExists(const std::string& path)
{
    const DWORD attributes = GetFileAttributesA(path.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY);
}

void RemoveTree(const std::string& path)
{
    // The shell takes a list of paths that ends with a second null.
    const std::string from = path.substr(0, path.find_last_not_of('\\') + 1) + '\0';
    SHFILEOPSTRUCTA operation = {nullptr, FO_DELETE, from.c_str(), nullptr, FOF_NO_UI};
    if (GetFileAttributesA(from.c_str()) != INVALID_FILE_ATTRIBUTES)
        SHFileOperationA(&operation);
}

std::string InstallFolder()
{
    return SpecialFolder(CSIDL_COMMON_APPDATA) + kInstallSubFolder;
}

std::string InstalledExe()
{
    return InstallFolder() + kInstalledExeName;
}

std::vector<std::string> ShortcutLinks()
{
    return {InstallFolder() + kShortcutFileName,
            SpecialFolder(CSIDL_DESKTOPDIRECTORY) + kLinkInFolder,
            SpecialFolder(CSIDL_COMMON_STARTMENU) + kLinkInFolder,
            SpecialFolder(CSIDL_COMMON_PROGRAMS) + kLinkInGroup,
            SpecialFolder(CSIDL_STARTMENU) + kLinkInFolder,
            SpecialFolder(CSIDL_PROGRAMS) + kLinkInGroup,
            SpecialFolder(CSIDL_APPDATA) + kLinkInQuickLaunch};
}

std::vector<std::string> ProgramGroups()
{
    return {SpecialFolder(CSIDL_COMMON_PROGRAMS) + kGroupFolder, SpecialFolder(CSIDL_PROGRAMS) + kGroupFolder};
}

std::string QuickLaunchFolder()
{
    const std::string link = ShortcutLinks().back();
    return link.substr(0, link.rfind('\\') + 1);
}

void ResetInstallState()
{
    for (const std::string& link : ShortcutLinks())
        DeleteFileA(link.c_str());
    for (const std::string& group : ProgramGroups())
        RemoveTree(group);
    RemoveTree(InstallFolder());
}

LinkInfo ReadLink(const std::string& lnk)
{
    CComApartment com;
    CComRef<IShellLinkA> link;
    CComRef<IPersistFile> file;
    wchar_t wide[MAX_PATH * 2];
    char text[INFOTIPSIZE] = "";
    if (!MultiByteToWideChar(CP_ACP, 0, lnk.c_str(), -1, wide, MAX_PATH * 2) ||
        FAILED(CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER, IID_PPV_ARGS(link.Receive()))) ||
        FAILED(link->QueryInterface(IID_PPV_ARGS(file.Receive()))) || FAILED(file->Load(wide, STGM_READ)) ||
        FAILED(link->GetPath(text, sizeof text, nullptr, SLGP_RAWPATH)))
        return LinkInfo();
    return LinkInfo{true, text};
}
