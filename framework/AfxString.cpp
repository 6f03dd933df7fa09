#include "framework/AfxString.h"
#include <stdlib.h>
#include <string.h>

HINSTANCE AfxGetResourceHandle();

namespace {
// Bounds a loaded string; nothing in a desktop shell's texts comes near it.
const int kMaxGrownLength = 1 << 20;

int LengthOf(const char* psz)
{
    return psz != nullptr ? lstrlenA(psz) : 0;
}
}  // namespace

CString::CString() : m_pch(nullptr), m_nLength(0), m_nCapacity(0)
{
}

CString::CString(const char* psz) : CString()
{
    Assign(psz, LengthOf(psz));
}

CString::CString(const CString& other) : CString()
{
    Assign(other.m_pch, other.m_nLength);
}

CString::CString(CString&& other) noexcept
    : m_pch(other.m_pch),
      m_nLength(other.m_nLength),
      m_nCapacity(other.m_nCapacity)
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

// psz may point into this string's own buffer: Assign moves the bytes without growing it first.
CString& CString::operator=(const char* psz)
{
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

void CString::Empty()
{
    free(m_pch);
    m_pch = nullptr;
    m_nLength = 0;
    m_nCapacity = 0;
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
