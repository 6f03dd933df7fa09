#include "update/UpdateAgent.h"
#include "framework/AfxHandles.h"
#include "update/TransferLimits.h"
#include "update/UpdateLog.h"
#include "update/UpdateTexts.h"

namespace {

// Always from the server, never from the cache: a stale version file or executable would defeat the update.
const DWORD kOpenFlags =
    INTERNET_FLAG_RELOAD | INTERNET_FLAG_RESYNCHRONIZE | INTERNET_FLAG_HYPERLINK | INTERNET_FLAG_NEED_FILE;
const DWORD kCanonicalSize = 1024;
// The unit of the per-block time limit, and the most a download reads at once.
const DWORD kTimedBlockSize = 4096;
const DWORD kDownloadBufferSize = 64 * 1024;

// An error page must never pass for the version file or the executable.
bool HasSuccessStatus(HINTERNET request)
{
    DWORD status = 0;
    DWORD size = sizeof(status);
    if (!HttpQueryInfoA(request, HTTP_QUERY_STATUS_CODE | HTTP_QUERY_FLAG_NUMBER, &status, &size, nullptr))
        return false;
    LogUpdate("answer", "HTTP %lu", status);
    return status >= 200 && status <= 299;
}

// WinINet follows redirects itself, Wine's even from https to plain http, where anyone on the way may
// answer: a request opened over https counts only if it also ended on an https address.
bool EndedSecure(HINTERNET request)
{
    const int kSchemeLength = 8;  // "https://"
    char address[kCanonicalSize];
    DWORD size = sizeof(address);
    if (!InternetQueryOptionA(request, INTERNET_OPTION_URL, address, &size) || size < DWORD(kSchemeLength))
        return false;
    address[kSchemeLength] = '\0';
    return lstrcmpiA(address, "https://") == 0;
}

void SetTimeout(HINTERNET handle, DWORD option, DWORD ms)
{
    InternetSetOptionA(handle, option, &ms, sizeof(ms));
}

ReadOutcome Failure()
{
    const DWORD error = GetLastError();
    return error == ERROR_INTERNET_TIMEOUT || error == ERROR_INTERNET_CONNECTION_ABORTED ? ReadOutcome::TimedOut
                                                                                         : ReadOutcome::Failed;
}

// Takes bytes as they arrive, so that a server that trickles is caught by the limit: a blocking read
// would wait for the whole buffer. Data when the buffer filled, End when the data ended first (*filled
// says what did arrive), TimedOut when the server fell silent or the buffer was not full within limitMs.
ReadOutcome FillBuffer(HINTERNET hRequest, char* buffer, DWORD size, DWORD* filled, DWORD limitMs)
{
    *filled = 0;
    const DWORD start = GetTickCount();
    while (*filled < size) {
        AnswerSentMessages();
        DWORD available = 0;
        if (!InternetQueryDataAvailable(hRequest, &available, 0, 0))
            return Failure();
        if (available == 0)
            return ReadOutcome::End;
        DWORD read = 0;
        const DWORD wanted = available < size - *filled ? available : size - *filled;
        if (!InternetReadFile(hRequest, buffer + *filled, wanted, &read))
            return Failure();
        if (read == 0)
            return ReadOutcome::End;
        *filled += read;
        if (*filled < size && GetTickCount() - start >= limitMs)
            return ReadOutcome::TimedOut;
    }
    return ReadOutcome::Data;
}

// The download's end: what arrived against what was announced and the limit, and on failure the last error.
bool LogDownload(bool ok, const char* how, ULONGLONG received, DWORD announced)
{
    const DWORD error = GetLastError();
    LogUpdate("download", "%s: %lu bytes received, %lu announced, limit %lu, last error %lu (%s)", how, DWORD(received),
              announced, DWORD(kTransferLimits.maxBytes), ok ? 0 : error, ErrorMeaning(ok ? 0 : error));
    return ok;
}

}  // namespace

CUpdateAgent::CUpdateAgent() : m_hSession(InternetOpenA(kAgentName, INTERNET_OPEN_TYPE_PRECONFIG, nullptr, nullptr, 0))
{
}

CUpdateAgent::~CUpdateAgent()
{
    // The owners close the connection, then the session.
}

bool CUpdateAgent::HasConnection()
{
    if (!m_hSession.IsValid())
        return false;
    DWORD flags = 0;
    return InternetGetConnectedState(&flags, 0) != FALSE;
}

// The request is made step by step rather than by InternetOpenUrlA: that call sends before its request
// can be given timeouts, and does not take the session's everywhere (not under Wine), so a silent server
// would hold it for good.
CInternetHandle CUpdateAgent::OpenRemote(const char* url)
{
    char canonical[kCanonicalSize];
    DWORD length = sizeof(canonical);
    // Without a canonical form there is nothing trustworthy to open.
    if (!InternetCanonicalizeUrlA(url, canonical, &length, ICU_BROWSER_MODE))
        return CInternetHandle();
    canonical[sizeof(canonical) - 1] = '\0';

    char host[INTERNET_MAX_HOST_NAME_LENGTH];
    URL_COMPONENTSA parts;
    ZeroMemory(&parts, sizeof(parts));
    parts.dwStructSize = sizeof(parts);
    parts.lpszHostName = host;
    parts.dwHostNameLength = sizeof(host);
    parts.dwUrlPathLength = 1;  // a pointer into the address: path and query follow each other there
    if (!InternetCrackUrlA(canonical, 0, 0, &parts) ||
        (parts.nScheme != INTERNET_SCHEME_HTTP && parts.nScheme != INTERNET_SCHEME_HTTPS))
        return CInternetHandle();
    char object[kCanonicalSize];
    lstrcpynA(object, parts.dwUrlPathLength != 0 ? parts.lpszUrlPath : "/", sizeof(object));
    // A fragment is the browser's, never the server's.
    for (char* c = object; *c; ++c) {
        if (*c == '#') {
            *c = '\0';
            break;
        }
    }
    const DWORD secure = parts.nScheme == INTERNET_SCHEME_HTTPS ? INTERNET_FLAG_SECURE : 0;

    // Scheme, host and port: everything before the path.
    const int pathOffset =
        parts.dwUrlPathLength != 0 ? static_cast<int>(parts.lpszUrlPath - canonical) : lstrlenA(canonical);
    char origin[kCanonicalSize];
    lstrcpynA(origin, canonical, pathOffset + 1);
    if (!m_hConnection.IsValid() || lstrcmpA(m_strConnectionOrigin, origin) != 0) {
        m_hConnection = CInternetHandle(
            InternetConnectA(m_hSession.Get(), host, parts.nPort, nullptr, nullptr, INTERNET_SERVICE_HTTP, 0, 0));
        m_strConnectionOrigin = m_hConnection.IsValid() ? origin : "";
        if (!m_hConnection.IsValid())
            return CInternetHandle();
    }

    CInternetHandle request(
        HttpOpenRequestA(m_hConnection.Get(), "GET", object, nullptr, nullptr, nullptr, kOpenFlags | secure, 0));
    if (!request.IsValid())
        return request;
    // Set before the send, where every platform takes them: connecting, sending, waiting for the answer.
    SetTimeout(request.Get(), INTERNET_OPTION_CONNECT_TIMEOUT, kTransferLimits.answerMs);
    SetTimeout(request.Get(), INTERNET_OPTION_SEND_TIMEOUT, kTransferLimits.answerMs);
    SetTimeout(request.Get(), INTERNET_OPTION_RECEIVE_TIMEOUT, kTransferLimits.answerMs);
    AnswerSentMessages();
    LogUpdate("request", "%s", canonical);
    if (!LogStep(HttpSendRequestA(request.Get(), nullptr, 0, nullptr, 0), "send") || !HasSuccessStatus(request.Get()) ||
        (secure && !EndedSecure(request.Get())))
        return CInternetHandle();
    // Silence within the body has its own limit; a platform that keeps the send's timeout (Wine) keeps an
    // equal one.
    SetTimeout(request.Get(), INTERNET_OPTION_RECEIVE_TIMEOUT, kTransferLimits.silenceMs);
    return request;
}

ReadOutcome CUpdateAgent::ReadChunk(HINTERNET hRequest, void* buffer, DWORD size, DWORD* read)
{
    const ReadOutcome outcome = FillBuffer(hRequest, static_cast<char*>(buffer), size, read, kTransferLimits.blockMs);
    // Whatever arrived before the end is data all the same.
    return outcome == ReadOutcome::End && *read > 0 ? ReadOutcome::Data : outcome;
}

bool CUpdateAgent::SaveRemoteToFile(HINTERNET hRequest, HANDLE file, CDownloadProgress* progress)
{
    // A server that closes cleanly before the announced length has sent only part of the file; one that
    // announces more than any release can be is refused before its first byte.
    DWORD announced = 0;
    DWORD announcedSize = sizeof(announced);
    const bool hasLength = HttpQueryInfoA(hRequest, HTTP_QUERY_CONTENT_LENGTH | HTTP_QUERY_FLAG_NUMBER, &announced,
                                          &announcedSize, nullptr) != FALSE;
    if (hasLength && announced > kTransferLimits.maxBytes)
        return LogDownload(false, "announced over the size limit", 0, announced);
    // Whatever has arrived is taken at once, up to the buffer: a read per 4096 bytes would make the
    // transfer the slowest part of a fast line. Each 4096 bytes keep their own time limit all the same.
    const DWORD start = GetTickCount();
    DWORD blockStart = start;
    ULONGLONG total = 0;
    char buffer[kDownloadBufferSize];
    for (;;) {
        AnswerSentMessages(progress ? progress->Window() : nullptr);
        if (progress && progress->Cancelled())
            return LogDownload(false, "cancelled by the user", total, announced);
        const DWORD now = GetTickCount();
        if (now - start >= kTransferLimits.downloadMs)
            return LogDownload(false, "over its time limit", total, announced);
        if (now - blockStart >= kTransferLimits.blockMs)
            return LogDownload(false, "too slow", total, announced);
        DWORD available = 0;
        DWORD read = 0;
        if (!InternetQueryDataAvailable(hRequest, &available, 0, 0) ||
            (available != 0 &&
             !InternetReadFile(hRequest, buffer, available < sizeof(buffer) ? available : sizeof(buffer), &read)))
            return LogDownload(false, "connection failed", total, announced);
        if (read == 0)
            return LogDownload(!hasLength || total == announced, "ended", total, announced);
        if ((total + read) / kTimedBlockSize != total / kTimedBlockSize)
            blockStart = GetTickCount();
        total += read;
        if (total > kTransferLimits.maxBytes)
            return LogDownload(false, "over the size limit", total, announced);
        if (progress)
            progress->Show(total, hasLength ? announced : 0);
        DWORD written = 0;
        WriteFile(file, buffer, read, &written, nullptr);
        if (written != read)
            return LogDownload(false, "not written to disk", total, announced);
    }
}
