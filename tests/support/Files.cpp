#include "support/Files.h"

#include <atomic>

namespace {

const DWORD kPollMs = 50;

class FileHandle {
public:
    explicit FileHandle(HANDLE h) : handle_(h) {}
    ~FileHandle() { if (handle_ != INVALID_HANDLE_VALUE) CloseHandle(handle_); }
    FileHandle(const FileHandle&) = delete;
    FileHandle& operator=(const FileHandle&) = delete;
    HANDLE Get() const { return handle_; }

private:
    HANDLE handle_;
};

class FindHandle {
public:
    FindHandle(const std::string& pattern, WIN32_FIND_DATAA* data) : handle_(FindFirstFileA(pattern.c_str(), data)) {}
    ~FindHandle() { if (handle_ != INVALID_HANDLE_VALUE) FindClose(handle_); }
    FindHandle(const FindHandle&) = delete;
    FindHandle& operator=(const FindHandle&) = delete;
    HANDLE Get() const { return handle_; }

private:
    HANDLE handle_;
};

std::string WithoutTrailingSlash(std::string path)
{
    while (path.size() > 3 && (path.back() == '\\' || path.back() == '/'))
        path.pop_back();
    return path;
}

template <class Cond>
bool PollUntil(DWORD timeoutMs, Cond cond)
{
    DWORD start = GetTickCount();
    for (;;) {
        if (cond())
            return true;
        if (GetTickCount() - start >= timeoutMs)
            return false;
        Sleep(kPollMs);
    }
}

}  // namespace

TempDir::TempDir()
{
    static std::atomic<unsigned> counter{0};
    std::string base = TempFolder();
    for (;;) {
        std::string candidate = base + "qtest-" + std::to_string(GetCurrentProcessId()) + "-" +
                                std::to_string(GetTickCount()) + "-" + std::to_string(counter++);
        if (CreateDirectoryA(candidate.c_str(), nullptr)) {
            path_ = candidate + "\\";
            return;
        }
        if (GetLastError() != ERROR_ALREADY_EXISTS)
            return;
    }
}

TempDir::~TempDir()
{
    if (!path_.empty())
        RemoveTree(path_);
}

std::string WinPath(const std::string& unixPath)
{
    if (unixPath.empty() || unixPath[0] != '/')
        return unixPath;
    std::string path = "Z:" + unixPath;
    for (auto& c : path) {
        if (c == '/')
            c = '\\';
    }
    return path;
}

std::string TempFolder()
{
    char path[MAX_PATH + 1] = "";
    GetTempPathA(sizeof(path), path);
    return path;
}

bool FileExists(const std::string& path)
{
    DWORD attributes = GetFileAttributesA(path.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && !(attributes & FILE_ATTRIBUTE_DIRECTORY);
}

bool DirExists(const std::string& path)
{
    DWORD attributes = GetFileAttributesA(WithoutTrailingSlash(path).c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY);
}

std::string ReadWholeFile(const std::string& path)
{
    FileHandle file(CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (file.Get() == INVALID_HANDLE_VALUE)
        return std::string();
    std::string data;
    char buffer[65536];
    DWORD read = 0;
    while (ReadFile(file.Get(), buffer, sizeof(buffer), &read, nullptr) && read > 0)
        data.append(buffer, read);
    return data;
}

bool WriteWholeFile(const std::string& path, const std::string& data)
{
    FileHandle file(CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (file.Get() == INVALID_HANDLE_VALUE)
        return false;
    DWORD written = 0;
    return WriteFile(file.Get(), data.data(), static_cast<DWORD>(data.size()), &written, nullptr) &&
           written == data.size();
}

bool CopyTo(const std::string& from, const std::string& to)
{
    return CopyFileA(from.c_str(), to.c_str(), FALSE) != FALSE;
}

bool MakeDirs(const std::string& path)
{
    std::string folder = WithoutTrailingSlash(path);
    if (DirExists(folder))
        return true;
    size_t slash = folder.find_last_of("\\/");
    if (slash != std::string::npos && slash > 2 && !MakeDirs(folder.substr(0, slash)))
        return false;
    return CreateDirectoryA(folder.c_str(), nullptr) || GetLastError() == ERROR_ALREADY_EXISTS;
}

void RemoveTree(const std::string& path)
{
    std::string target = WithoutTrailingSlash(path);
    DWORD attributes = GetFileAttributesA(target.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES)
        return;
    if (attributes & FILE_ATTRIBUTE_READONLY)
        SetFileAttributesA(target.c_str(), attributes & ~FILE_ATTRIBUTE_READONLY);
    if (!(attributes & FILE_ATTRIBUTE_DIRECTORY)) {
        DeleteFileA(target.c_str());
        return;
    }
    for (const std::string& name : ListFolder(target))
        RemoveTree(target + "\\" + name);
    RemoveDirectoryA(target.c_str());
}

std::vector<std::string> ListFolder(const std::string& folder)
{
    std::vector<std::string> names;
    WIN32_FIND_DATAA data;
    FindHandle find(WithoutTrailingSlash(folder) + "\\*", &data);
    if (find.Get() == INVALID_HANDLE_VALUE)
        return names;
    do {
        std::string name = data.cFileName;
        if (name != "." && name != "..")
            names.push_back(name);
    } while (FindNextFileA(find.Get(), &data));
    return names;
}

bool WaitForFile(const std::string& path, DWORD timeoutMs)
{
    return PollUntil(timeoutMs, [&] { return FileExists(path); });
}

bool WaitForFileGone(const std::string& path, DWORD timeoutMs)
{
    return PollUntil(timeoutMs, [&] { return GetFileAttributesA(path.c_str()) == INVALID_FILE_ATTRIBUTES; });
}
