#pragma once
#include <windows.h>

#include <string>

#include "framework/AfxHandles.h"
#include "hands/Wait.h"

// A process the test started; killed at destruction if it still runs.
class ChildProcess
{
public:
    ChildProcess() = default;
    ~ChildProcess() { Kill(); }
    ChildProcess(const ChildProcess&) = delete;
    ChildProcess& operator=(const ChildProcess&) = delete;

    // commandLine "": the path in double quotes, as the shell starts a program.
    bool Start(const std::string& exe, const std::string& commandLine = "", const std::string& currentDir = "");
    DWORD Pid() const { return GetProcessId(m_process.Get()); }
    HANDLE Handle() const { return m_process.Get(); }
    bool Running() const { return m_process.IsValid() && WaitForSingleObject(m_process.Get(), 0) == WAIT_TIMEOUT; }
    bool WaitExit(DWORD timeoutMs = kWaitMs)
    {
        return !m_process.IsValid() || WaitForSingleObject(m_process.Get(), timeoutMs) == WAIT_OBJECT_0;
    }
    void Kill()
    {
        if (Running() && TerminateProcess(m_process.Get(), 1))
            WaitExit();
    }

private:
    CKernelHandle m_process;
};
