// The release check's judge: reads a live update server as an installed copy does, with the program's
// own code and its shipped limits, and says whether a copy of a version and publisher will update.
//   quorel-judge.exe check BASE_URL RUNNING.exe [publisher]   exit 0 only when that copy will update
//   quorel-judge.exe trust ROOT.cer...                         trusts roots machine-wide in this (throwaway) prefix
// With "publisher" only RUNNING.exe's publisher counts: it stands for any older copy of it.
#include <windows.h>
#include <wincrypt.h>
#include <shlobj.h>
#include <stdio.h>
#include <string.h>

#include "framework/Afx.h"
#include "update/ReleaseRule.h"
#include "update/Restart.h"
#include "update/TransferLimits.h"
#include "update/UpdateAgent.h"
#include "update/UpdateLog.h"
#include "update/Versions.h"

CWinApp theJudgeApp;
CUpdateAgent g_updateAgent;
const TransferLimits kTransferLimits = {kAnswerLimitMs, kSilenceLimitMs, kBlockLimitMs, kDownloadLimitMs,
                                        kMaxExecutableBytes};
const DWORD kStartWaitMs = kStartLimitMs;

namespace {

const DWORD kVersionFileLimit = 4096;

struct CCertStoreTraits
{
    using Handle = HCERTSTORE;
    static HCERTSTORE Invalid() { return nullptr; }
    static bool IsValid(HCERTSTORE store) { return store != nullptr; }
    static void Close(HCERTSTORE store) { CertCloseStore(store, 0); }
};

int Trust(int count, char** files)
{
    CScopedHandle<CCertStoreTraits> root(CertOpenStore(
        CERT_STORE_PROV_SYSTEM_A, 0, 0, CERT_SYSTEM_STORE_LOCAL_MACHINE | CERT_STORE_OPEN_EXISTING_FLAG, "Root"));
    for (int i = 0; i < count; ++i) {
        wchar_t path[MAX_PATH];
        CCertContext certificate;
        if (!root.IsValid() || !MultiByteToWideChar(CP_ACP, 0, files[i], -1, path, MAX_PATH) ||
            !CryptQueryObject(CERT_QUERY_OBJECT_FILE, path, CERT_QUERY_CONTENT_FLAG_CERT, CERT_QUERY_FORMAT_FLAG_ALL, 0,
                              nullptr, nullptr, nullptr, nullptr, nullptr,
                              reinterpret_cast<const void**>(certificate.Receive())) ||
            !CertAddCertificateContextToStore(root.Get(), certificate.Get(), CERT_STORE_ADD_REPLACE_EXISTING,
                                              nullptr)) {
            printf("cannot trust %s\n", files[i]);
            return 2;
        }
    }
    return 0;
}

// The log the program's own code wrote during the check, in this prefix.
void LogPath(char (&path)[MAX_PATH])
{
    path[0] = '\0';
    if (SHGetSpecialFolderPathA(nullptr, path, CSIDL_LOCAL_APPDATA, FALSE))
        lstrcatA(path, "\\Quorelware\\update.log");
}

int Verdict(const char* line)
{
    char path[MAX_PATH];
    LogPath(path);
    FILE* log = fopen(path, "rb");
    char text[1024];
    while (log && fgets(text, sizeof text, log))
        printf("  program's log: %s", text);
    if (log)
        fclose(log);
    printf("%s\n", line);
    return 1;
}

// Headers that let a proxy or CDN answer with yesterday's update.txt.
bool Cacheable(HINTERNET request)
{
    char control[512] = "";
    DWORD size = sizeof control;
    HttpQueryInfoA(request, HTTP_QUERY_CACHE_CONTROL, control, &size, nullptr);
    _strlwr(control);
    const bool forbidden = strstr(control, "no-cache") || strstr(control, "no-store");
    const char* age = strstr(control, "max-age=");
    bool cacheable = false;
    if (!forbidden && age && atol(age + 8) > 0) {
        printf("update.txt: Cache-Control \"%s\" lets a proxy serve an old version\n", control);
        cacheable = true;
    }
    SYSTEMTIME expires;
    size = sizeof expires;
    FILETIME expiry, now;
    GetSystemTimeAsFileTime(&now);
    if (!forbidden &&
        HttpQueryInfoA(request, HTTP_QUERY_EXPIRES | HTTP_QUERY_FLAG_SYSTEMTIME, &expires, &size, nullptr) &&
        SystemTimeToFileTime(&expires, &expiry) && CompareFileTime(&expiry, &now) > 0) {
        printf("update.txt: Expires lies in the future: a proxy may serve an old version\n");
        cacheable = true;
    }
    return cacheable;
}

int Check(const char* baseUrl, const char* asPath, bool anyOlder)
{
    char log[MAX_PATH];
    LogPath(log);
    DeleteFileA(log);
    CString versionUrl(baseUrl);
    versionUrl += "update.txt";
    CInternetHandle versionRequest = g_updateAgent.OpenRemote(versionUrl);
    if (!versionRequest.IsValid())
        return Verdict("will not update: update.txt could not be fetched");
    char buffer[kVersionFileLimit + 1] = {};
    DWORD length = 0;
    const ReadOutcome read = g_updateAgent.ReadChunk(versionRequest.Get(), buffer, kVersionFileLimit, &length);
    const bool cacheable = Cacheable(versionRequest.Get());
    versionRequest.Reset();
    if (read != ReadOutcome::Data)
        return Verdict("will not update: update.txt is empty or could not be read");
    const CString offered(buffer);
    if (g_updateAgent.CompareVersionText(offered, offered) != 0) {
        if (length >= 3 && memcmp(buffer, "\xEF\xBB\xBF", 3) == 0)
            printf("update.txt: starts with a byte-order mark (EF BB BF)\n");
        if (strstr(buffer, "\r\n"))
            printf("update.txt: holds a CRLF line break\n");
        else if (strchr(buffer, '\n'))
            printf("update.txt: holds an LF line break\n");
        if (strlen(buffer) != length)
            printf("update.txt: holds a zero byte\n");
        return Verdict("will not update: every copy ignores update.txt: it must be the bare version, digits and "
                       "dots only");
    }
    printf("update.txt: offers %s\n", buffer);

    const CString asVersion = FullVersionText(asPath);
    if (!anyOlder && asVersion.IsEmpty())
        return Verdict("will not update: the running copy given has no version");
    if (!anyOlder && g_updateAgent.CompareVersionText(offered, asVersion) != 1) {
        printf("the offer %s is not newer than the running %s\n", buffer, static_cast<const char*>(asVersion));
        return Verdict("will not update: nothing newer is offered");
    }

    CString exeUrl(baseUrl);
    exeUrl += "Quorel.exe";
    CInternetHandle exeRequest = g_updateAgent.OpenRemote(exeUrl);
    char temp[MAX_PATH];
    CStagedFile download;
    const DWORD tempLength = GetTempPathA(MAX_PATH, temp);
    if (!exeRequest.IsValid() || tempLength == 0 || tempLength >= MAX_PATH || !download.Create(temp) ||
        !g_updateAgent.SaveRemoteToFile(exeRequest.Get(), download.Handle()) || !download.Flush())
        return Verdict("will not update: Quorel.exe could not be downloaded whole");
    const char* rule = RefusedRule(download.Handle(), download.Path(), offered, asPath);
    if (rule) {
        char line[256];
        const char* why = rule[0] == 'm'   ? "built for another machine"
                          : rule[0] == 'w' ? "not a whole executable"
                          : rule[0] == 'v' ? "its file version is not the one update.txt offers"
                                           : "not signed by the running copy's publisher under a trusted root";
        wsprintfA(line, "will not update: every copy refuses the served Quorel.exe by its %s rule: %s", rule, why);
        return Verdict(line);
    }
    if (cacheable)
        return Verdict("may not update: a proxy may keep serving an old update.txt");
    if (!anyOlder)
        printf("will update: a copy of %s of that publisher takes %s\n", static_cast<const char*>(asVersion), buffer);
    else
        printf("will update: a copy older than %s of the served exe's publisher takes it\n", buffer);
    return 0;
}

}  // namespace

int main(int argc, char** argv)
{
    if (argc >= 3 && strcmp(argv[1], "trust") == 0)
        return Trust(argc - 2, argv + 2);
    if ((argc == 4 || argc == 5) && strcmp(argv[1], "check") == 0)
        return Check(argv[2], argv[3], argc == 5);
    printf("usage: quorel-judge check BASE_URL RUNNING.exe [publisher] | trust ROOT.cer...\n");
    return 2;
}
