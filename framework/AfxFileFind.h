#pragma once
#include <windows.h>
#include "framework/AfxString.h"

// A directory search: owns the find handle and closes it when done or destroyed.
// As in the classic framework, FindNextFile must be called before the found entry can be read.
class CFileFind
{
public:
    CFileFind();
    ~CFileFind();
    CFileFind(const CFileFind&) = delete;
    CFileFind& operator=(const CFileFind&) = delete;

    // Starts a search for pszName (a path with wildcards); TRUE if anything matches.
    BOOL FindFile(const char* pszName = "*.*");
    // Moves to the next entry; returns FALSE when the entry it moved to is the last one.
    BOOL FindNextFile();
    void Close();

    CString GetFileName() const;
    BOOL IsDirectory() const;
    BOOL IsDots() const;

private:
    HANDLE m_hFind;
    BOOL m_bHaveNext;
    WIN32_FIND_DATAA m_next;
    WIN32_FIND_DATAA m_current;
};
