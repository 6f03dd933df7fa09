#include "support/Files.h"

#include <shlobj.h>

#include "framework/AfxHandles.h"

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

std::vector<std::string> ListFolder(const std::string& folder)
{
    std::vector<std::string> names;
    WIN32_FIND_DATAA data;
    const CFindHandle find(FindFirstFileA((folder + "\\*").c_str(), &data));
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
