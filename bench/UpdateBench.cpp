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
#include "update/UpdateAgent.h"

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

void BenchDownload()
{
    const size_t kSize = 16 * 1024 * 1024;
    HttpServer server;
    HttpResponse response;
    response.contentType = "application/octet-stream";
    response.body.assign(kSize, 'Q');
    server.SetPrefix("/update/Quorel.exe", response);

    TempDir dir;
    double best = 1e9;
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
    }
    Report("download of 16 MB over loopback, best of 3", best, "s");
    Report("download throughput", kSize / best / (1024 * 1024), "MB/s");
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

    KillProcesses("Quorel.exe");
    ResetInstallState();
    MakeDirs(InstallFolder());
    CopyTo(VariantExe("v3200"), InstalledExe());
    WriteWholeFile(ShortcutLinks().front(), "");
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
    BenchDownload();
    BenchStart();
    return 0;
}
