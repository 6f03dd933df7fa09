#include "update/Versions.h"
#include "update/UpdateAgent.h"
#include "framework/AfxHandles.h"
#include <string.h>

namespace {

const int kMaxComponents = 4;
// "65535.65535.65535.65535" and its terminator.
const int kVersionTextSize = 24;

// The significant digits of each component: leading zeros stripped, so that the length orders the magnitude
// and no component, however long, has to fit an integer. A missing component has no digits, which is 0.
struct VersionDigits
{
    const char* digits[kMaxComponents];
    size_t length[kMaxComponents];
};

bool QueryFixedInfo(void* block, VS_FIXEDFILEINFO*& info)
{
    UINT size = 0;
    void* value = nullptr;
    if (!VerQueryValueA(block, "\\", &value, &size) || !value || size < sizeof(VS_FIXEDFILEINFO))
        return false;
    info = static_cast<VS_FIXEDFILEINFO*>(value);
    return true;
}

int CompareDigits(const VersionDigits& first, const VersionDigits& second)
{
    for (int i = 0; i < kMaxComponents; ++i) {
        if (first.length[i] != second.length[i])
            return first.length[i] > second.length[i] ? 1 : -1;
        int order = first.length[i] == 0 ? 0 : memcmp(first.digits[i], second.digits[i], first.length[i]);
        if (order != 0)
            return order > 0 ? 1 : -1;
    }
    return 0;
}

}  // namespace

CString FullVersionText(const char* path)
{
    CString result;
    DWORD handle = 0;
    DWORD size = GetFileVersionInfoSizeA(path, &handle);
    if (size == 0)
        return result;
    CHeapBlock block(size);
    VS_FIXEDFILEINFO* info = nullptr;
    if (!block.Get() || !GetFileVersionInfoA(path, 0, size, block.Get()) || !QueryFixedInfo(block.Get(), info))
        return result;
    return FullVersionText(info->dwFileVersionMS, info->dwFileVersionLS);
}

CString FullVersionText(DWORD ms, DWORD ls)
{
    char text[kVersionTextSize];
    wsprintfA(text, "%d.%d.%d.%d", int(HIWORD(ms)), int(LOWORD(ms)), int(HIWORD(ls)), int(LOWORD(ls)));
    return CString(text);
}

CString CUpdateAgent::RunningModulePath()
{
    char path[MAX_PATH];
    DWORD length = GetModuleFileNameA(GetModuleHandleA(nullptr), path, sizeof(path));
    // A truncated path names some other file; better none than that one.
    if (length == 0 || length >= sizeof(path))
        return CString();
    path[length] = '\0';
    return CString(path);
}

CString CUpdateAgent::ReadVersionText(const char* path)
{
    CString result;
    try {
        DWORD handle = 0;
        DWORD size = GetFileVersionInfoSizeA(path, &handle);
        if (size == 0)
            throw 1;
        CHeapBlock block(size);
        if (!block.Get())
            throw 1;
        if (!GetFileVersionInfoA(path, 0, size, block.Get()))
            throw 1;
        VS_FIXEDFILEINFO* info = nullptr;
        if (!QueryFixedInfo(block.Get(), info))
            throw 1;
        DWORD ms = info->dwFileVersionMS;
        DWORD ls = info->dwFileVersionLS;
        char text[kVersionTextSize];
        if (ls != 0) {
            wsprintfA(text, "%d.%d.%d.%d", int(ms >> 16), int(ms & 0xFFFF), int(ls >> 16), int(ls & 0xFFFF));
            result = text;
        } else if (ms != 0) {
            wsprintfA(text, "%d.%d", int(ms >> 16), int(ms & 0xFFFF));
            result = text;
        }
    } catch (...) {
        return CString();
    }
    return result;
}

int CUpdateAgent::CompareVersionText(CString first, CString second)
{
    // Splits a private copy in place. "." is never the second byte of a code page 936 character,
    // so a byte-wise split cannot cut one in half.
    auto parse = [this](CString& text, VersionDigits& out) -> bool {
        char* p = text.GetBuffer(text.GetLength());
        int count = 0;
        for (;;) {
            while (*p == '.')
                ++p;
            if (*p == '\0')
                break;
            char* component = p;
            while (*p != '\0' && *p != '.')
                ++p;
            if (*p == '.')
                *p++ = '\0';
            if (count == kMaxComponents || !ConsistsOfDigits(component))
                return false;
            while (*component == '0')
                ++component;
            out.digits[count] = component;
            out.length[count] = strlen(component);
            ++count;
        }
        return count > 0;
    };

    VersionDigits firstDigits = {};
    VersionDigits secondDigits = {};
    if (!parse(first, firstDigits))
        return -21;
    if (!parse(second, secondDigits))
        return -22;
    return CompareDigits(firstDigits, secondDigits);
}

bool CUpdateAgent::ConsistsOfDigits(const char* text)
{
    for (; *text != '\0'; ++text) {
        if (*text < '0' || *text > '9')
            return false;
    }
    return true;
}
