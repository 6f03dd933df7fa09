#pragma once

#include <windows.h>

#include <string>
#include <vector>

// A process the test started; the destructor kills it if it is still running.
class ChildProcess {
public:
    ChildProcess() = default;
    ~ChildProcess();
    ChildProcess(const ChildProcess&) = delete;
    ChildProcess& operator=(const ChildProcess&) = delete;
    ChildProcess(ChildProcess&& other) noexcept;
    ChildProcess& operator=(ChildProcess&& other) noexcept;

    // commandLine "" means the exe path in double quotes, as the shell starts a program;
    // currentDir "" inherits the test's current directory.
    bool Start(const std::string& exePath, const std::string& commandLine = "",
               const std::string& currentDir = "");
    bool Started() const { return process_ != nullptr; }
    DWORD Pid() const { return pid_; }
    HANDLE Handle() const { return process_; }
    bool Running() const;
    bool WaitExit(DWORD timeoutMs);  // true once the process has ended
    DWORD ExitCode() const;          // STILL_ACTIVE while running
    void Kill();                     // terminates and waits for the end

private:
    void Close();

    HANDLE process_ = nullptr;
    DWORD pid_ = 0;
};

// The full Windows path of the process's image; empty when it cannot be queried.
std::string ProcessImage(DWORD pid);
// Processes whose image is exactly that Windows path (case-insensitive).
std::vector<DWORD> ProcessesWithImage(const std::string& winPath);
// Processes whose image file name (any folder) is that name, e.g. "Quorel.exe".
std::vector<DWORD> ProcessesNamed(const std::string& fileName);
// Polls until a process of that image runs, other than excludePid; its id goes to *pid.
bool WaitForProcessOfImage(const std::string& winPath, DWORD timeoutMs, DWORD* pid = nullptr,
                           DWORD excludePid = 0);
// True once the process has ended (or never existed).
bool WaitForProcessExit(DWORD pid, DWORD timeoutMs);
bool KillProcess(DWORD pid);
