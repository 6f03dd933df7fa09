#include "framework/AfxFileFind.h"

CFileFind::CFileFind() : m_hFind(INVALID_HANDLE_VALUE)
{
}

CFileFind::~CFileFind()
{
    Close();
}

BOOL CFileFind::FindFile(const char* pszName)
{
    Close();
    WIN32_FIND_DATAA found;
    m_hFind = ::FindFirstFileA(pszName, &found);
    return m_hFind != INVALID_HANDLE_VALUE;
}

void CFileFind::Close()
{
    if (m_hFind != INVALID_HANDLE_VALUE) {
        ::FindClose(m_hFind);
        m_hFind = INVALID_HANDLE_VALUE;
    }
}
