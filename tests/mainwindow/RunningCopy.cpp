#include "mainwindow/RunningCopy.h"

#include <string.h>

#include "support/InstallState.h"
#include "support/Paths.h"
#include "support/WindowFinder.h"

const char* MainCaption()
{
    return "Zelmora " QUOREL_TEST_HOST;
}

RunningCopy::RunningCopy(const char* variant, const char* fileName, const char* installed)
    : m_server(new HttpServer(TestHostPort()))
{
    KillQuorelProcesses();
    ResetInstallState();
    if (installed == nullptr)
        installed = strcmp(variant, "vnone") == 0 ? "v3200" : variant;
    MakeDirs(InstallFolder());
    CopyTo(VariantExe(installed), InstalledExe());
    WriteWholeFile(MarkerLink(), "");

    HttpResponse page;
    page.contentType = "text/html";
    page.body = "<html><body>Zelmora</body></html>";
    m_server->SetPrefix("/touch/", page);

    m_exe = m_dir.File(fileName);
    if (!CopyTo(VariantExe(variant), m_exe))
        return;
    if (!m_process.Start(m_exe, "", m_dir.Path()))
        return;
    m_window = WaitForWindow(MainCaption(), "#32770", kWaitMs, m_process.Pid());
}

RunningCopy::~RunningCopy()
{
    m_process.Kill();
    KillQuorelProcesses();
}

void RunningCopy::PostAndSettle(UINT message, WPARAM wParam, LPARAM lParam)
{
    // A WM_TIMER with id 1 posted after the message makes the copy ask for the version file once the
    // message has been handled: queued messages are handled in order.
    m_server->ClearRequests();
    PostMessageA(m_window, message, wParam, lParam);
    PostMessageA(m_window, WM_TIMER, 1, 0);
    m_server->WaitFor("/update/update.txt", kWaitMs);
}
