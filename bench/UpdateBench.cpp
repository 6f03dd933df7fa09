// Measures what users wait for: the window's start, a download through the update agent, and the
// version operations; and what the process holds in memory while doing it.
#include <windows.h>
#include <psapi.h>
#include <stdio.h>

#include <string>

#include "hands/Processes.h"
#include "hands/Windows.h"
#include "support/ChildProcess.h"
#include "support/Files.h"
#include "support/HttpServer.h"
#include "app/BuildConfig.h"
#include "app/BuildConfig.h"
#include "update/UpdateAgent.h"
#include "update/UpdateTexts.h"

namespace {

double Seconds(const LARGE_INTEGER& from, const LARGE_INTEGER& to)
{
    LARGE_INTEGER frequency;
    QueryPerformanceFrequency(&frequency);
    return double(to.QuadPart - from.QuadPart) / double(frequency.QuadPart);
}

LARGE_INTEGER Now()
{
    LARGE_INTEGER now;
    QueryPerformanceCounter(&now);
    return now;
}

void Report(const char* what, double value, const char* unit)
{
    printf("%-46s %12.3f %s\n", what, value, unit);
}

// The same bytes from the same loopback server through a plain socket: what the line itself allows.
bool PlainFetch(const HttpServer& server, const char* target, size_t size)
{
    CSocket socket(::socket(AF_INET, SOCK_STREAM, IPPROTO_TCP));
    sockaddr_in address = {};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    const std::string url = server.Url("");
    address.sin_port = htons(static_cast<unsigned short>(atoi(url.c_str() + url.rfind(':') + 1)));
    if (connect(socket.Get(), reinterpret_cast<sockaddr*>(&address), sizeof address) != 0)
        return false;
    const std::string request = std::string("GET ") + target + " HTTP/1.1\r\nHost: 127.0.0.1\r\n\r\n";
    send(socket.Get(), request.data(), int(request.size()), 0);
    static char buffer[1 << 20];
    size_t total = 0;
    for (int got; (got = recv(socket.Get(), buffer, sizeof buffer, 0)) > 0;)
        total += size_t(got);
    return total > size;
}

void BenchDownload(size_t megabytes)
{
    const size_t size = megabytes * 1024 * 1024;
    HttpServer server;
    HttpResponse response;
    response.contentType = "application/octet-stream";
    response.body.assign(size, 'Q');
    server.SetPrefix("/update/Quorel.exe", response);

    TempDir dir;
    double best = 1e9, plain = 1e9;
    for (int run = 0; run < 3; ++run) {
        LARGE_INTEGER start = Now();
        CInternetHandle request = g_updateAgent.OpenRemote(server.Url("/update/Quorel.exe").c_str());
        CStagedFile target;
        const bool saved = request.IsValid() && target.Create(dir.Path().c_str()) &&
                           g_updateAgent.SaveRemoteToFile(request.Get(), target.Handle());
        request.Reset();
        double elapsed = Seconds(start, Now());
        if (!saved) {
            printf("download failed\n");
            return;
        }
        best = elapsed < best ? elapsed : best;
        start = Now();
        if (!PlainFetch(server, "/update/Quorel.exe", size)) {
            printf("plain fetch failed\n");
            return;
        }
        elapsed = Seconds(start, Now());
        plain = elapsed < plain ? elapsed : plain;
    }
    char what[64];
    snprintf(what, sizeof what, "download of %u MB through the agent, best of 3", unsigned(megabytes));
    Report(what, best, "s");
    snprintf(what, sizeof what, "the same through a plain socket, best of 3");
    Report(what, plain, "s");
    Report("agent throughput", size / best / (1024 * 1024), "MB/s");
}

// The machine as a user has it: 3.2.0.0 installed, its shortcuts placed, nothing running.
void InstallV3200WithShortcuts()
{
    KillProcesses("Quorel.exe");
    ResetInstallState();
    MakeDirs(InstallFolder());
    CopyTo(VariantExe("v3200"), InstalledExe());
    WriteWholeFile(ShortcutLinks().front(), "");
}

// What the user waits for: a copy with the shipped limits offered a 40 MB release, from Yes to the
// success box.
void BenchUpdate()
{
    HttpServer server(static_cast<unsigned short>(atoi(strchr(QUOREL_TEST_HOST, ':') + 1)));
    std::string release = ReadWholeFile(VariantExe("v3201"));
    release.resize(40 * 1024 * 1024, 'Q');  // beyond the image: still the whole program, version 3.2.0.1
    server.SetPrefix("/touch/", HttpResponse{200, "text/html", "<html><body>bench</body></html>"});
    server.SetPrefix(QUOREL_UPDATE_PATH "update.txt", HttpResponse{200, "text/plain", "3.2.0.1"});
    server.SetPrefix(QUOREL_UPDATE_PATH "Quorel.exe", HttpResponse{200, "application/octet-stream", release});

    InstallV3200WithShortcuts();
    TempDir dir;
    const std::string exe = dir.File("Quorel.exe");
    CopyTo(QUOREL_BENCH_COPY, exe);
    ChildProcess process;
    process.Start(exe, "", dir.Path());
    HWND window = WaitForWindow("Zelmora " QUOREL_TEST_HOST, "#32770", 30000, process.Pid());
    PostMessageA(window, WM_TIMER, 1, 0);
    HWND question = WaitForWindow(QUOREL_QUESTION_CAPTION, "#32770", 30000, process.Pid());
    HWND success = nullptr;
    LARGE_INTEGER start = Now();
    if (question && PressButton(question, IDYES))
        success = WaitForWindow(QUOREL_SUCCESS_CAPTION, "#32770", 120000, process.Pid());
    const double elapsed = Seconds(start, Now());
    if (success) {
        Report("40 MB update, from Yes to the success box", elapsed, "s");
        PressButton(success, IDNO);
    } else {
        printf("40 MB update: no success box\n");
    }
    KillProcesses("Quorel.exe");
    ResetInstallState();
}

void BenchVersions()
{
    const int kCalls = 200000;
    LARGE_INTEGER start = Now();
    int sum = 0;
    for (int i = 0; i < kCalls; ++i)
        sum += g_updateAgent.CompareVersionText("3.2.0.1", "3.2");
    Report("CompareVersionText(3.2.0.1, 3.2), per call", Seconds(start, Now()) / kCalls * 1e6, "us");

    const std::string exe = VariantExe("v3200");
    const int kReads = 2000;
    start = Now();
    for (int i = 0; i < kReads; ++i)
        sum += g_updateAgent.ReadVersionText(exe.c_str()).GetLength();
    Report("ReadVersionText(Quorel.exe), per call", Seconds(start, Now()) / kReads * 1e6, "us");
    if (sum == 42)
        printf(" ");
}

void BenchStart()
{
    HttpServer server(static_cast<unsigned short>(atoi(strchr(QUOREL_TEST_HOST, ':') + 1)));
    HttpResponse page;
    page.contentType = "text/html";
    page.body = "<html><body>bench</body></html>";
    server.SetPrefix("/touch/", page);

    InstallV3200WithShortcuts();
    TempDir dir;
    const std::string exe = dir.File("Quorel.exe");
    CopyTo(VariantExe("v3200"), exe);

    double windowTotal = 0, requestTotal = 0;
    const int kRuns = 5;
    SIZE_T peak = 0;
    for (int run = 0; run < kRuns; ++run) {
        ChildProcess process;
        LARGE_INTEGER start = Now();
        process.Start(exe, "", dir.Path());
        HWND window = WaitForWindow("Zelmora " QUOREL_TEST_HOST, "#32770", 30000, process.Pid());
        windowTotal += Seconds(start, Now());
        WaitUntil([&] { return server.Count("/touch/") > size_t(run); }, 30000);
        requestTotal += Seconds(start, Now());
        PROCESS_MEMORY_COUNTERS counters = {};
        counters.cb = sizeof counters;
        if (GetProcessMemoryInfo(process.Handle(), &counters, sizeof counters))
            peak = counters.PeakWorkingSetSize > peak ? counters.PeakWorkingSetSize : peak;
        if (window != nullptr)
            PostMessageA(window, WM_CLOSE, 0, 0);
        process.WaitExit(30000);
    }
    Report("start to main window, mean of 5", windowTotal / kRuns, "s");
    Report("start to web application request, mean of 5", requestTotal / kRuns, "s");
    Report("peak working set of the running shell", peak / 1024.0, "KB");
    KillProcesses("Quorel.exe");
    ResetInstallState();
}

}  // namespace

int main()
{
    printf("Quorel benchmark (under Wine: Wine's own overhead is included)\n");
    BenchVersions();
    BenchDownload(16);
    BenchDownload(40);
    BenchUpdate();
    BenchStart();
    return 0;
}
