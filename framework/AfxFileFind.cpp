#include "framework/AfxFileFind.h"

CFileFind::CFileFind()
    : m_hFind(INVALID_HANDLE_VALUE), m_bHaveNext(FALSE), m_next(), m_current()
{
}

CFileFind::~CFileFind()
{
    Close();
}

BOOL CFileFind::FindFile(const char* pszName)
{
    Close();
    m_hFind = ::FindFirstFileA(pszName != nullptr ? pszName : "*.*", &m_next);
    m_bHaveNext = m_hFind != INVALID_HANDLE_VALUE;
    return m_bHaveNext;
}

BOOL CFileFind::FindNextFile()
{
    if (m_hFind == INVALID_HANDLE_VALUE || !m_bHaveNext)
        return FALSE;
    m_current = m_next;
    m_bHaveNext = ::FindNextFileA(m_hFind, &m_next);
    return m_bHaveNext;
}

void CFileFind::Close()
{
    if (m_hFind != INVALID_HANDLE_VALUE) {
        ::FindClose(m_hFind);
        m_hFind = INVALID_HANDLE_VALUE;
    }
    m_bHaveNext = FALSE;
}

CString CFileFind::GetFileName() const
{
    return CString(m_current.cFileName);
}

BOOL CFileFind::IsDirectory() const
{
    return (m_current.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
}

BOOL CFileFind::IsDots() const
{
    const char* name = m_current.cFileName;
    return IsDirectory() && name[0] == '.' && (name[1] == '\0' || (name[1] == '.' && name[2] == '\0'));
}
