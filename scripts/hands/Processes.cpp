#include "hands/Processes.h"

#include <tlhelp32.h>

#include "framework/AfxHandles.h"
#include "hands/Wait.h"

std::string ProcessImage(DWORD pid)
{
    CKernelHandle process(OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, pid));
    char path[MAX_PATH * 2] = "";
    DWORD size = sizeof path;
    return process.IsValid() && QueryFullProcessImageNameA(process.Get(), 0, path, &size) ? path : "";
}

std::vector<DWORD> ProcessesOf(const std::string& image)
{
    std::vector<DWORD> pids;
    CKernelHandle snapshot(CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0));
    PROCESSENTRY32 entry = {sizeof entry};
    for (BOOL more = Process32First(snapshot.Get(), &entry); more; more = Process32Next(snapshot.Get(), &entry)) {
        const std::string path = ProcessImage(entry.th32ProcessID);
        if (!path.empty() &&
            (lstrcmpiA(path.c_str(), image.c_str()) == 0 || lstrcmpiA(entry.szExeFile, image.c_str()) == 0))
            pids.push_back(entry.th32ProcessID);
    }
    return pids;
}

void KillProcesses(const std::string& image)
{
    for (DWORD pid : ProcessesOf(image)) {
        CKernelHandle process(OpenProcess(PROCESS_TERMINATE | SYNCHRONIZE, FALSE, pid));
        if (process.IsValid() && TerminateProcess(process.Get(), 1))
            WaitForSingleObject(process.Get(), kWaitMs);
    }
}
