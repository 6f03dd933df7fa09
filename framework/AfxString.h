#pragma once
#include <windows.h>

// A heap-backed narrow string in the ANSI code page. Lengths and indexes count bytes.
class CString
{
public:
    CString();
    CString(const char* psz);
    CString(const CString& other);
    CString(CString&& other) noexcept;
    ~CString();

    CString& operator=(const CString& other);
    CString& operator=(CString&& other) noexcept;
    CString& operator=(const char* psz);
    CString& operator+=(const CString& other);
    CString& operator+=(const char* psz);

    operator const char*() const { return m_pch != nullptr ? m_pch : ""; }
    int GetLength() const { return m_nLength; }
    BOOL IsEmpty() const { return m_nLength == 0; }

    // Removes nCount bytes at nIndex (clipped to the string); returns the new length.
    int Delete(int nIndex, int nCount = 1);
    // Loads string resource nID from the resource module; FALSE (and empty) when there is none.
    BOOL LoadString(UINT nID);

    // Direct access to a buffer of at least nMinBufLength bytes plus the terminator; ReleaseBuffer
    // takes the new length (-1: up to the first zero byte).
    char* GetBuffer(int nMinBufLength);
    void ReleaseBuffer(int nNewLength = -1);

private:
    BOOL Reserve(int nCapacity);
    void Assign(const char* pch, int nLength);
    void Append(const char* pch, int nLength);
    void Empty();

    char* m_pch;
    int m_nLength;
    int m_nCapacity;
};

CString operator+(const CString& left, const CString& right);

// Wide text (nLength characters, or -1 for zero-terminated) in the ANSI code page.
CString AfxStringFromWide(const wchar_t* pwsz, int nLength = -1);
