#include "update/UpdateLog.h"

#include <shlobj.h>
#include <stdarg.h>
#include <wininet.h>

#include "framework/AfxHandles.h"
#include "framework/AfxPath.h"
#include "update/Versions.h"

namespace {

const char kLogFolder[] = "\\Quorelware";
const char kLogName[] = "\\update.log";
const int kLineSize = 1024;

// clang-format off
const char* const kKinds[] = {"none", "access denied", "held by another process", "disk full", "timeout", "DNS",
                              "cannot connect", "connection reset", "cancelled", "TLS"};
const struct { WORD error; BYTE kind; } kMeanings[] = {
    {ERROR_SUCCESS, 0}, {ERROR_ACCESS_DENIED, 1}, {ERROR_SHARING_VIOLATION, 2}, {ERROR_LOCK_VIOLATION, 2},
    {ERROR_DISK_FULL, 3}, {ERROR_INTERNET_TIMEOUT, 4}, {ERROR_INTERNET_CONNECTION_ABORTED, 4}, {WSAETIMEDOUT, 4},
    {ERROR_INTERNET_NAME_NOT_RESOLVED, 5}, {ERROR_INTERNET_CANNOT_CONNECT, 6}, {ERROR_INTERNET_CONNECTION_RESET, 7},
    {ERROR_INTERNET_OPERATION_CANCELLED, 8}, {ERROR_INTERNET_SEC_CERT_DATE_INVALID, 9},
    {ERROR_INTERNET_SEC_CERT_CN_INVALID, 9}, {ERROR_INTERNET_INVALID_CA, 9}, {ERROR_INTERNET_SEC_CERT_REV_FAILED, 9},
    {ERROR_INTERNET_SEC_CERT_ERRORS, 9}, {ERROR_INTERNET_SECURITY_CHANNEL_ERROR, 9},
    {ERROR_INTERNET_SEC_INVALID_CERT, 9},
};
// clang-format on

// The running copy's version, read once.
const char* RunningVersion()
{
    static char version[32];
    if (version[0] == '\0') {
        char path[MAX_PATH];
        const DWORD length = GetModuleFileNameA(nullptr, path, MAX_PATH);
        const CString text = length != 0 && length < MAX_PATH ? FullVersionText(path) : CString();
        lstrcpynA(version, text.IsEmpty() ? "-" : static_cast<const char*>(text), sizeof version);
    }
    return version;
}

// Keeps the newer half, from a line's start on.
void DropOlderHalf(HANDLE file, DWORD size)
{
    CHeapBlock content;
    DWORD read = 0;
    if (!content.Allocate(size) || SetFilePointer(file, 0, nullptr, FILE_BEGIN) != 0 ||
        !ReadFile(file, content.Get(), size, &read, nullptr) || read != size)
        return;
    const char* text = static_cast<const char*>(content.Get());
    DWORD from = size / 2;
    while (from < size && text[from++] != '\n') {
    }
    DWORD written = 0;
    SetFilePointer(file, 0, nullptr, FILE_BEGIN);
    WriteFile(file, text + from, size - from, &written, nullptr);
    SetEndOfFile(file);
}

void Append(const char* line)
{
    // In the platform's code page, as the program's texts are; the log is UTF-8.
    WCHAR wide[kLineSize];
    char utf8[3 * kLineSize];
    const int wideLength = MultiByteToWideChar(CP_ACP, 0, line, -1, wide, kLineSize);
    const int length =
        wideLength > 0 ? WideCharToMultiByte(CP_UTF8, 0, wide, -1, utf8, sizeof utf8, nullptr, nullptr) : 0;
    char path[MAX_PATH];
    if (length <= 1 || !SHGetSpecialFolderPathA(nullptr, path, CSIDL_LOCAL_APPDATA, TRUE) ||
        lstrlenA(path) + sizeof kLogFolder + sizeof kLogName > MAX_PATH)
        return;
    lstrcatA(path, kLogFolder);
    CreateDirectoryA(path, nullptr);
    lstrcatA(path, kLogName);
    CKernelHandle file(CreateFileA(path, GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ, nullptr, OPEN_ALWAYS,
                                   FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file.IsValid())
        return;
    const DWORD size = GetFileSize(file.Get(), nullptr);
    if (size == INVALID_FILE_SIZE)
        return;
    utf8[length - 1] = '\n';
    if (size + length > kUpdateLogLimit)
        DropOlderHalf(file.Get(), size);
    DWORD written = 0;
    SetFilePointer(file.Get(), 0, nullptr, FILE_END);
    WriteFile(file.Get(), utf8, length, &written, nullptr);
}

void LogLine(const char* step, const char* format, va_list arguments)
{
    const DWORD error = GetLastError();
    char line[kLineSize];
    SYSTEMTIME now;
    GetLocalTime(&now);
    int length = wsprintfA(line, "%04u-%02u-%02u %02u:%02u:%02u %s %s: ", now.wYear, now.wMonth, now.wDay, now.wHour,
                           now.wMinute, now.wSecond, RunningVersion(), step);
    char text[kLineSize];
    wvsprintfA(text, format, arguments);
    lstrcpynA(line + length, text, kLineSize - length);
    // What a server sent must not start a line of its own.
    for (char* c = line; *c; ++c) {
        if (static_cast<unsigned char>(*c) < ' ')
            *c = '?';
    }
    Append(line);
    SetLastError(error);
}

}  // namespace

void LogUpdate(const char* step, const char* format, ...)
{
    va_list arguments;
    va_start(arguments, format);
    LogLine(step, format, arguments);
    va_end(arguments);
}

bool LogStep(bool ok, const char* step)
{
    const DWORD error = GetLastError();
    if (ok)
        LogUpdate(step, "done");
    else
        LogUpdate(step, "failed, error %lu (%s)", error, ErrorMeaning(error));
    return ok;
}

const char* ErrorMeaning(DWORD error)
{
    for (const auto& known : kMeanings) {
        if (known.error == error)
            return kKinds[known.kind];
    }
    return error >= INTERNET_ERROR_BASE && error <= INTERNET_ERROR_LAST ? "WinINet" : "system";
}
