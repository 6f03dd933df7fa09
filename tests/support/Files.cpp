#include "support/Files.h"

#include <shellapi.h>
#include <shlobj.h>

#include "framework/AfxHandles.h"
#include "install/InstallLocation.h"

namespace {

struct CFindTraits
{
    using Handle = HANDLE;
    static HANDLE Invalid() { return INVALID_HANDLE_VALUE; }
    static bool IsValid(HANDLE find) { return find != INVALID_HANDLE_VALUE; }
    static void Close(HANDLE find) { FindClose(find); }
};

}  // namespace

std::string VariantExe(const char* name)
{
    return QUOREL_VARIANT_DIR "\\" + std::string(name) + "\\Quorel.exe";
}

std::string TempFolder()
{
    char path[MAX_PATH] = "";
    GetTempPathA(MAX_PATH, path);
    return path;
}

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

std::string ReadWholeFile(const std::string& path)
{
    CKernelHandle file(CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                   nullptr, OPEN_EXISTING, 0, nullptr));
    std::string data(file.IsValid() ? GetFileSize(file.Get(), nullptr) : 0, '\0');
    DWORD read = 0;
    if (data.empty() || !ReadFile(file.Get(), &data[0], DWORD(data.size()), &read, nullptr))
        return std::string();
    return data.substr(0, read);
}

bool WriteWholeFile(const std::string& path, const std::string& data)
{
    CKernelHandle file(CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr));
    DWORD written = 0;
    return file.IsValid() && WriteFile(file.Get(), data.data(), DWORD(data.size()), &written, nullptr) &&
           written == data.size();
}

bool CopyTo(const std::string& from, const std::string& to)
{
    return CopyFileA(from.c_str(), to.c_str(), FALSE) != FALSE;
}

bool MakeDirs(const std::string& folder)
{
    const int result = SHCreateDirectoryExA(nullptr, folder.c_str(), nullptr);
    return result == ERROR_SUCCESS || result == ERROR_ALREADY_EXISTS;
}

void RemoveTree(const std::string& path)
{
    // The shell takes a list of paths that ends with a second null.
    const std::string from = path.substr(0, path.find_last_not_of('\\') + 1) + '\0';
    SHFILEOPSTRUCTA operation = {nullptr, FO_DELETE, from.c_str(), nullptr, FOF_NO_UI};
    if (GetFileAttributesA(from.c_str()) != INVALID_FILE_ATTRIBUTES)
        SHFileOperationA(&operation);
}

std::vector<std::string> ListFolder(const std::string& folder)
{
    std::vector<std::string> names;
    WIN32_FIND_DATAA data;
    const CScopedHandle<CFindTraits> find(FindFirstFileA((folder + "\\*").c_str(), &data));
    for (BOOL more = find.IsValid(); more; more = FindNextFileA(find.Get(), &data)) {
        if (lstrcmpA(data.cFileName, ".") && lstrcmpA(data.cFileName, ".."))
            names.push_back(data.cFileName);
    }
    return names;
}

TempDir::TempDir()
{
    char name[MAX_PATH];
    GetTempFileNameA(TempFolder().c_str(), "qt", 0, name);
    DeleteFileA(name);
    CreateDirectoryA(name, nullptr);
    m_path = std::string(name) + "\\";
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
