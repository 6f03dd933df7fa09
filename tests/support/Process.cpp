#include "support/Process.h"

#include <tlhelp32.h>

#include <utility>

namespace {

const DWORD kPollMs = 50;
const DWORD kKillWaitMs = 10000;

class SnapshotHandle {
public:
    SnapshotHandle() : handle_(CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0)) {}
    ~SnapshotHandle() { if (handle_ != INVALID_HANDLE_VALUE) CloseHandle(handle_); }
    SnapshotHandle(const SnapshotHandle&) = delete;
    SnapshotHandle& operator=(const SnapshotHandle&) = delete;
    HANDLE Get() const { return handle_; }

private:
    HANDLE handle_;
};

class ProcessHandle {
public:
    ProcessHandle(DWORD access, DWORD pid) : handle_(OpenProcess(access, FALSE, pid)) {}
    ~ProcessHandle() { if (handle_) CloseHandle(handle_); }
    ProcessHandle(const ProcessHandle&) = delete;
    ProcessHandle& operator=(const ProcessHandle&) = delete;
    HANDLE Get() const { return handle_; }

private:
    HANDLE handle_;
};

template <class Visit>
void ForEachProcess(Visit visit)
{
    SnapshotHandle snapshot;
    if (snapshot.Get() == INVALID_HANDLE_VALUE)
        return;
    PROCESSENTRY32 entry = {};
    entry.dwSize = sizeof(entry);
    for (BOOL more = Process32First(snapshot.Get(), &entry); more; more = Process32Next(snapshot.Get(), &entry))
        visit(entry);
}

}  // namespace

std::string ProcessImage(DWORD pid)
{
    ProcessHandle process(PROCESS_QUERY_LIMITED_INFORMATION, pid);
    if (!process.Get())
        return std::string();
    char path[MAX_PATH * 2] = "";
    DWORD size = sizeof(path);
    if (!QueryFullProcessImageNameA(process.Get(), 0, path, &size))
        return std::string();
    return path;
}

ChildProcess::~ChildProcess()
{
    Kill();
    Close();
}

ChildProcess::ChildProcess(ChildProcess&& other) noexcept
    : process_(std::exchange(other.process_, nullptr)), pid_(std::exchange(other.pid_, 0))
{
}

ChildProcess& ChildProcess::operator=(ChildProcess&& other) noexcept
{
    if (this != &other) {
        Kill();
        Close();
        process_ = std::exchange(other.process_, nullptr);
        pid_ = std::exchange(other.pid_, 0);
    }
    return *this;
}

bool ChildProcess::Start(const std::string& exePath, const std::string& commandLine, const std::string& currentDir)
{
    Kill();
    Close();
    std::string line = commandLine.empty() ? "\"" + exePath + "\"" : commandLine;
    STARTUPINFOA si = {};
    si.cb = sizeof(si);
    PROCESS_INFORMATION pi = {};
    if (!CreateProcessA(exePath.c_str(), &line[0], nullptr, nullptr, FALSE, 0, nullptr,
                        currentDir.empty() ? nullptr : currentDir.c_str(), &si, &pi))
        return false;
    CloseHandle(pi.hThread);
    process_ = pi.hProcess;
    pid_ = pi.dwProcessId;
    return true;
}

bool ChildProcess::Running() const
{
    return process_ && WaitForSingleObject(process_, 0) == WAIT_TIMEOUT;
}

bool ChildProcess::WaitExit(DWORD timeoutMs)
{
    return !process_ || WaitForSingleObject(process_, timeoutMs) == WAIT_OBJECT_0;
}

DWORD ChildProcess::ExitCode() const
{
    DWORD code = STILL_ACTIVE;
    if (process_)
        GetExitCodeProcess(process_, &code);
    return code;
}

void ChildProcess::Kill()
{
    if (!Running())
        return;
    TerminateProcess(process_, 1);
    WaitForSingleObject(process_, kKillWaitMs);
}

void ChildProcess::Close()
{
    if (process_)
        CloseHandle(process_);
    process_ = nullptr;
    pid_ = 0;
}

std::vector<DWORD> ProcessesWithImage(const std::string& winPath)
{
    std::vector<DWORD> pids;
    ForEachProcess([&](const PROCESSENTRY32& entry) {
        if (entry.th32ProcessID == 0)
            return;
        std::string image = ProcessImage(entry.th32ProcessID);
        if (!image.empty() && lstrcmpiA(image.c_str(), winPath.c_str()) == 0)
            pids.push_back(entry.th32ProcessID);
    });
    return pids;
}

std::vector<DWORD> ProcessesNamed(const std::string& fileName)
{
    std::vector<DWORD> pids;
    ForEachProcess([&](const PROCESSENTRY32& entry) {
        if (entry.th32ProcessID != 0 && lstrcmpiA(entry.szExeFile, fileName.c_str()) == 0)
            pids.push_back(entry.th32ProcessID);
    });
    return pids;
}

bool WaitForProcessOfImage(const std::string& winPath, DWORD timeoutMs, DWORD* pid, DWORD excludePid)
{
    DWORD start = GetTickCount();
    for (;;) {
        for (DWORD found : ProcessesWithImage(winPath)) {
            if (found == excludePid)
                continue;
            if (pid)
                *pid = found;
            return true;
        }
        if (GetTickCount() - start >= timeoutMs)
            return false;
        Sleep(kPollMs);
    }
}

bool WaitForProcessExit(DWORD pid, DWORD timeoutMs)
{
    ProcessHandle process(SYNCHRONIZE, pid);
    if (!process.Get())
        return true;
    return WaitForSingleObject(process.Get(), timeoutMs) == WAIT_OBJECT_0;
}

bool KillProcess(DWORD pid)
{
    ProcessHandle process(PROCESS_TERMINATE | SYNCHRONIZE, pid);
    if (!process.Get())
        return false;
    if (!TerminateProcess(process.Get(), 1))
        return false;
    return WaitForSingleObject(process.Get(), kKillWaitMs) == WAIT_OBJECT_0;
}
