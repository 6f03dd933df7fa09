#include "framework/AfxString.h"
#include <stdarg.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

HINSTANCE AfxGetResourceHandle();

namespace {
// Bounds a formatted or loaded string; nothing in a desktop shell's texts comes near it.
const int kMaxGrownLength = 1 << 20;

int LengthOf(const char* psz)
{
    return psz != nullptr ? lstrlenA(psz) : 0;
}
}

CString::CString()
    : m_pch(nullptr), m_nLength(0), m_nCapacity(0)
{
}

CString::CString(const char* psz)
    : CString()
{
    Assign(psz, LengthOf(psz));
}

CString::CString(const CString& other)
    : CString()
{
    Assign(other.m_pch, other.m_nLength);
}

CString::CString(CString&& other) noexcept
    : m_pch(other.m_pch), m_nLength(other.m_nLength), m_nCapacity(other.m_nCapacity)
{
    other.m_pch = nullptr;
    other.m_nLength = 0;
    other.m_nCapacity = 0;
}

CString::~CString()
{
    free(m_pch);
}

CString& CString::operator=(const CString& other)
{
    if (this != &other)
        Assign(other.m_pch, other.m_nLength);
    return *this;
}

CString& CString::operator=(CString&& other) noexcept
{
    if (this != &other) {
        free(m_pch);
        m_pch = other.m_pch;
        m_nLength = other.m_nLength;
        m_nCapacity = other.m_nCapacity;
        other.m_pch = nullptr;
        other.m_nLength = 0;
        other.m_nCapacity = 0;
    }
    return *this;
}

CString& CString::operator=(const char* psz)
{
    // psz may point into this string's own buffer.
    if (psz != nullptr && m_pch != nullptr && psz >= m_pch && psz <= m_pch + m_nLength) {
        const int offset = static_cast<int>(psz - m_pch);
        memmove(m_pch, psz, m_nLength - offset + 1);
        m_nLength -= offset;
        return *this;
    }
    Assign(psz, LengthOf(psz));
    return *this;
}

CString& CString::operator+=(const CString& other)
{
    Append(other.m_pch, other.m_nLength);
    return *this;
}

CString& CString::operator+=(const char* psz)
{
    Append(psz, LengthOf(psz));
    return *this;
}

CString& CString::operator+=(char ch)
{
    Append(&ch, 1);
    return *this;
}

void CString::Empty()
{
    free(m_pch);
    m_pch = nullptr;
    m_nLength = 0;
    m_nCapacity = 0;
}

char CString::GetAt(int nIndex) const
{
    return nIndex >= 0 && nIndex < m_nLength ? m_pch[nIndex] : '\0';
}

int CString::Delete(int nIndex, int nCount)
{
    if (nIndex < 0)
        nIndex = 0;
    if (nCount > 0 && nIndex < m_nLength) {
        if (nCount > m_nLength - nIndex)
            nCount = m_nLength - nIndex;
        memmove(m_pch + nIndex, m_pch + nIndex + nCount, m_nLength - nIndex - nCount + 1);
        m_nLength -= nCount;
    }
    return m_nLength;
}

int CString::Find(char ch, int nStart) const
{
    if (nStart < 0)
        nStart = 0;
    // Walk whole characters from the start so that nStart inside a character is handled as the
    // character's own position would be.
    for (int i = 0; i < m_nLength; ++i) {
        if (i >= nStart && m_pch[i] == ch)
            return i;
        if (IsDBCSLeadByte(static_cast<BYTE>(m_pch[i])) && i + 1 < m_nLength)
            ++i;
    }
    return -1;
}

int CString::ReverseFind(char ch) const
{
    int found = -1;
    for (int i = 0; i < m_nLength; ++i) {
        if (m_pch[i] == ch)
            found = i;
        if (IsDBCSLeadByte(static_cast<BYTE>(m_pch[i])) && i + 1 < m_nLength)
            ++i;
    }
    return found;
}

CString CString::Left(int nCount) const
{
    return Mid(0, nCount);
}

CString CString::Mid(int nFirst) const
{
    return Mid(nFirst, m_nLength);
}

CString CString::Mid(int nFirst, int nCount) const
{
    if (nFirst < 0)
        nFirst = 0;
    if (nFirst > m_nLength)
        nFirst = m_nLength;
    if (nCount < 0)
        nCount = 0;
    if (nCount > m_nLength - nFirst)
        nCount = m_nLength - nFirst;
    CString result;
    result.Assign(m_pch + nFirst, nCount);
    return result;
}

void CString::Format(const char* pszFormat, ...)
{
    va_list args;
    va_start(args, pszFormat);
    FormatV(pszFormat, args);
    va_end(args);
}

void CString::FormatV(const char* pszFormat, va_list args)
{
    // The runtime's _vsnprintf reports truncation with -1: grow the buffer and try again.
    for (int capacity = 256; capacity <= kMaxGrownLength; capacity *= 2) {
        if (!Reserve(capacity))
            break;
        va_list copy;
        va_copy(copy, args);
        const int written = _vsnprintf(m_pch, capacity, pszFormat, copy);
        va_end(copy);
        if (written >= 0 && written < capacity) {
            m_nLength = written;
            m_pch[written] = '\0';
            return;
        }
    }
    Empty();
}

BOOL CString::LoadString(UINT nID)
{
    for (int capacity = 256; capacity <= kMaxGrownLength; capacity *= 2) {
        if (!Reserve(capacity))
            break;
        const int length = ::LoadStringA(AfxGetResourceHandle(), nID, m_pch, capacity);
        if (length < capacity - 1) {
            m_nLength = length;
            m_pch[length] = '\0';
            return length > 0;
        }
    }
    Empty();
    return FALSE;
}

char* CString::GetBuffer(int nMinBufLength)
{
    if (!Reserve(nMinBufLength > m_nLength ? nMinBufLength + 1 : m_nLength + 1))
        return nullptr;
    return m_pch;
}

void CString::ReleaseBuffer(int nNewLength)
{
    if (m_pch == nullptr)
        return;
    if (nNewLength < 0)
        nNewLength = static_cast<int>(strnlen(m_pch, m_nCapacity - 1));
    if (nNewLength > m_nCapacity - 1)
        nNewLength = m_nCapacity - 1;
    m_nLength = nNewLength;
    m_pch[nNewLength] = '\0';
}

// Makes room for nCapacity bytes including the terminator, keeping the contents.
BOOL CString::Reserve(int nCapacity)
{
    if (nCapacity <= m_nCapacity)
        return TRUE;
    char* pch = static_cast<char*>(realloc(m_pch, nCapacity));
    if (pch == nullptr)
        return FALSE;
    if (m_pch == nullptr)
        pch[0] = '\0';
    m_pch = pch;
    m_nCapacity = nCapacity;
    return TRUE;
}

void CString::Assign(const char* pch, int nLength)
{
    if (nLength == 0) {
        m_nLength = 0;
        if (m_pch != nullptr)
            m_pch[0] = '\0';
        return;
    }
    if (!Reserve(nLength + 1))
        return;
    memmove(m_pch, pch, nLength);
    m_pch[nLength] = '\0';
    m_nLength = nLength;
}

void CString::Append(const char* pch, int nLength)
{
    if (nLength == 0)
        return;
    // pch may point into this string's own buffer, which Reserve can move.
    const bool inside = m_pch != nullptr && pch >= m_pch && pch < m_pch + m_nCapacity;
    const ptrdiff_t offset = inside ? pch - m_pch : 0;
    if (!Reserve(m_nLength + nLength + 1))
        return;
    if (inside)
        pch = m_pch + offset;
    memmove(m_pch + m_nLength, pch, nLength);
    m_nLength += nLength;
    m_pch[m_nLength] = '\0';
}

CString operator+(const CString& left, const CString& right)
{
    CString result(left);
    result += right;
    return result;
}

CString operator+(const CString& left, const char* right)
{
    CString result(left);
    result += right;
    return result;
}

CString operator+(const char* left, const CString& right)
{
    CString result(left);
    result += right;
    return result;
}

bool operator==(const CString& left, const CString& right)
{
    return left.GetLength() == right.GetLength() && strcmp(left, right) == 0;
}

bool operator==(const CString& left, const char* right)
{
    return strcmp(left, right != nullptr ? right : "") == 0;
}

bool operator==(const char* left, const CString& right)
{
    return right == left;
}

bool operator!=(const CString& left, const CString& right)
{
    return !(left == right);
}

bool operator!=(const CString& left, const char* right)
{
    return !(left == right);
}

bool operator!=(const char* left, const CString& right)
{
    return !(right == left);
}

CString AfxStringFromWide(const wchar_t* pwsz, int nLength)
{
    CString result;
    if (pwsz == nullptr || nLength == 0)
        return result;
    const int cb = ::WideCharToMultiByte(CP_ACP, 0, pwsz, nLength, nullptr, 0, nullptr, nullptr);
    if (cb <= 0)
        return result;
    char* pch = result.GetBuffer(cb);
    if (pch == nullptr)
        return result;
    const int written = ::WideCharToMultiByte(CP_ACP, 0, pwsz, nLength, pch, cb, nullptr, nullptr);
    // With nLength -1 the count includes the terminator.
    result.ReleaseBuffer(nLength < 0 && written > 0 ? written - 1 : written);
    return result;
}
