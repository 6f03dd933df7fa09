#pragma once
// A copy of a test build of Quorel.exe, started from a temporary folder while the same version is
// already installed and its shortcuts placed, so that the copy stays open as the user's window.
#include <windows.h>

#include <memory>
#include <string>

#include "support/Files.h"
#include "support/HttpServer.h"
#include "support/Process.h"

class RunningCopy
{
public:
    // variant: "v3200", "v3210", "vnone"...; fileName: the copy's name in its folder; installed: the
    // installed copy's variant (by default the same version, or 3.2.0.0 for the copy without one).
    explicit RunningCopy(const char* variant, const char* fileName = "Quorel.exe", const char* installed = nullptr);
    ~RunningCopy();

    bool Started() const { return m_window != nullptr; }
    HWND Window() const { return m_window; }
    DWORD Pid() const { return m_process.Pid(); }
    ChildProcess& Process() { return m_process; }
    HttpServer& Server() { return *m_server; }
    const std::string& ExePath() const { return m_exe; }

    // Posts the message and waits until the window has handled everything posted before it.
    void PostAndSettle(UINT message, WPARAM wParam, LPARAM lParam);

private:
    std::unique_ptr<HttpServer> m_server;
    TempDir m_dir;
    std::string m_exe;
    ChildProcess m_process;
    HWND m_window = nullptr;
};

const char* MainCaption();   // "Zelmora <test host>"
const DWORD kWaitMs = 30000;
