#pragma once
#include <windows.h>

// A directory search: owns the find handle and closes it when done or destroyed.
class CFileFind
{
public:
    CFileFind();
    ~CFileFind();
    CFileFind(const CFileFind&) = delete;
    CFileFind& operator=(const CFileFind&) = delete;

    // Starts a search for pszName (a path in the ANSI code page, wildcards allowed); TRUE if
    // anything matches.
    BOOL FindFile(const char* pszName);
    void Close();

private:
    HANDLE m_hFind;
};
