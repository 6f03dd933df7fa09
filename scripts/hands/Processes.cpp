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
    // The snapshot names each file: only processes of that name are opened for their full path.
    const std::string name = image.substr(image.find_last_of('\\') + 1);
    for (BOOL more = Process32First(snapshot.Get(), &entry); more; more = Process32Next(snapshot.Get(), &entry)) {
        if (lstrcmpiA(entry.szExeFile, name.c_str()) != 0)
            continue;
        const std::string path = ProcessImage(entry.th32ProcessID);
        if (!path.empty() && (name == image || lstrcmpiA(path.c_str(), image.c_str()) == 0))
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
