#pragma once
#include <windows.h>

#include <string>
#include <vector>

#include "hands/InstallState.h"

std::string VariantExe(const char* name);  // variants\<name>\Quorel.exe: copies that talk to the test host
std::string TempFolder();                  // GetTempPathA, with its trailing backslash

std::string ReadWholeFile(const std::string& path);  // empty when unreadable
bool WriteWholeFile(const std::string& path, const std::string& data);
bool CopyTo(const std::string& from, const std::string& to);
bool MakeDirs(const std::string& folder);
std::vector<std::string> ListFolder(const std::string& folder);

// A fresh folder under the temporary folder, removed with everything in it at destruction.
class TempDir
{
public:
    TempDir();
    ~TempDir() { RemoveTree(m_path); }
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;
    const std::string& Path() const { return m_path; }  // ends with a backslash
    std::string File(const std::string& name) const { return m_path + name; }

private:
    std::string m_path;
};
