#pragma once
#include <windows.h>
#include <wininet.h>
#include "update/UpdateHandles.h"
#include "framework/AfxString.h"
#include "update/DownloadProgress.h"
#include "update/StagedFile.h"
#include "update/UpdateResult.h"

// What one bounded read of a response came to.
enum class ReadOutcome
{
    Data,      // bytes arrived
    End,       // the response ended before any byte
    TimedOut,  // the server fell silent, or too slow for the read's limit
    Failed,    // the connection or the read failed
};

// The shell's one Internet session, its transfers, the version operations and the update procedure.
class CUpdateAgent
{
public:
    CUpdateAgent();
    virtual ~CUpdateAgent();
    CUpdateAgent(const CUpdateAgent&) = delete;
    CUpdateAgent& operator=(const CUpdateAgent&) = delete;

    // Session and transfers. Every wait is bounded (update/TransferLimits.h). OpenRemote gives a request
    // for the address in its canonical form, sent and answered with success, or none. A download goes
    // into a file the caller holds open, ends within its size and time limits, and shows itself in the
    // progress window, which can stop it.
    bool HasConnection();
    CInternetHandle OpenRemote(const char* url);
    ReadOutcome ReadChunk(HINTERNET hRequest, void* buffer, DWORD size, DWORD* read);
    bool SaveRemoteToFile(HINTERNET hRequest, HANDLE file, CDownloadProgress* progress = nullptr);

    // File versions and their order.
    CString RunningModulePath();
    CString ReadVersionText(const char* path);
    int CompareVersionText(CString first, CString second);
    bool ConsistsOfDigits(const char* text);

    // The update procedure and the swap it ends with.
    UpdateResult RunUpdate(const char* baseUrl);
    SwapResult SwapExecutable(CString runningPath, CStagedFile& download);

private:
    // Declared first, so closed last: the connection below belongs to it.
    CInternetHandle m_hSession;
    // The connection to the server of the latest request, kept for the next request to the same server;
    // closing it would close its requests, which belong to the callers.
    CInternetHandle m_hConnection;
    CString m_strConnectionOrigin;
};

extern CUpdateAgent g_updateAgent;
