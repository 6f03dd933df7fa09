#include "support/ChildProcess.h"

bool ChildProcess::Start(const std::string& exe, const std::string& commandLine, const std::string& currentDir)
{
    Kill();
    std::string line = commandLine.empty() ? "\"" + exe + "\"" : commandLine;
    STARTUPINFOA startup = {sizeof startup};
    PROCESS_INFORMATION info = {};
    if (!CreateProcessA(exe.c_str(), &line[0], nullptr, nullptr, FALSE, 0, nullptr,
                        currentDir.empty() ? nullptr : currentDir.c_str(), &startup, &info))
        return false;
    CloseHandle(info.hThread);
    m_process.Reset(info.hProcess);
    return true;
}
