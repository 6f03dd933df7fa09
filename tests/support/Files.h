#pragma once

#include <windows.h>

#include <string>
#include <vector>

// A fresh folder under the temporary folder, removed with everything in it at destruction.
class TempDir {
public:
    TempDir();
    ~TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;

    const std::string& Path() const { return path_; }  // ends with a backslash
    std::string File(const std::string& name) const { return path_ + name; }

private:
    std::string path_;
};

// "/a/b" becomes "Z:\a\b"; a path that is already a Windows path is returned unchanged.
std::string WinPath(const std::string& unixPath);
std::string TempFolder();  // GetTempPathA, with its trailing backslash

bool FileExists(const std::string& path);  // a file, not a folder
bool DirExists(const std::string& path);
std::string ReadWholeFile(const std::string& path);  // empty when unreadable
bool WriteWholeFile(const std::string& path, const std::string& data);
bool CopyTo(const std::string& from, const std::string& to);  // replaces an existing target
bool MakeDirs(const std::string& path);                       // every missing folder on the way
void RemoveTree(const std::string& path);                     // a folder with its contents, or a file
std::vector<std::string> ListFolder(const std::string& folder);  // names, without "." and ".."
bool WaitForFile(const std::string& path, DWORD timeoutMs);
bool WaitForFileGone(const std::string& path, DWORD timeoutMs);
