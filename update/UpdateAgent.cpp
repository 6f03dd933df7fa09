#include "update/UpdateAgent.h"
#include "framework/AfxHandles.h"
#include "update/UpdateTexts.h"

namespace {

// Always from the server, never from the cache: a stale version file or executable would defeat the update.
const DWORD kOpenFlags = INTERNET_FLAG_RELOAD | INTERNET_FLAG_RESYNCHRONIZE | INTERNET_FLAG_HYPERLINK |
                         INTERNET_FLAG_NEED_FILE;
const DWORD kCanonicalSize = 1024;
const DWORD kDownloadBlockSize = 4096;

// An error page must never pass for the version file or the executable.
bool HasSuccessStatus(HINTERNET request)
{
    DWORD status = 0;
    DWORD size = sizeof(status);
    if (!HttpQueryInfoA(request, HTTP_QUERY_STATUS_CODE | HTTP_QUERY_FLAG_NUMBER, &status, &size, nullptr))
        return false;
    return status >= 200 && status <= 299;
}

}

CUpdateAgent::CUpdateAgent()
    : m_hSession(InternetOpenA(kAgentName, INTERNET_OPEN_TYPE_PRECONFIG, nullptr, nullptr, 0))
{
}

CUpdateAgent::~CUpdateAgent()
{
    if (m_hSession)
        InternetCloseHandle(m_hSession);
}

bool CUpdateAgent::HasConnection()
{
    if (!m_hSession)
        return false;
    DWORD flags = 0;
    return InternetGetConnectedState(&flags, 0) != FALSE;
}

HINTERNET CUpdateAgent::OpenRemote(CString& url)
{
    char canonical[kCanonicalSize];
    DWORD length = sizeof(canonical);
    // Without a canonical form there is nothing trustworthy to open, nor to hand back.
    if (!InternetCanonicalizeUrlA(url, canonical, &length, ICU_BROWSER_MODE))
        return nullptr;
    canonical[sizeof(canonical) - 1] = '\0';

    CInternetHandle request(InternetOpenUrlA(m_hSession, canonical, nullptr, 0, kOpenFlags, 0));
    url = canonical;
    if (!request || !HasSuccessStatus(request.Get()))
        return nullptr;
    return request.Release();
}

bool CUpdateAgent::ReadChunk(HINTERNET hRequest, void* buffer, DWORD size)
{
    // The count alone decides: a failed read and the end of the data both deliver nothing.
    DWORD read = 0;
    InternetReadFile(hRequest, buffer, size, &read);
    return read > 0;
}

bool CUpdateAgent::SaveRemoteToFile(HINTERNET hRequest, const char* path)
{
    CKernelHandle file(CreateFileA(path, GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, CREATE_ALWAYS,
                                   FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file.IsValid())
        return false;

    char block[kDownloadBlockSize];
    for (;;) {
        DWORD read = 0;
        if (!InternetReadFile(hRequest, block, sizeof(block), &read))
            return false;
        if (read == 0)
            return true;
        DWORD written = 0;
        WriteFile(file.Get(), block, read, &written, nullptr);
        if (written != read)
            return false;
    }
}
