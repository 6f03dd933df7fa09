// Removal through the platform's own list of programs: Wine's uninstaller lists the entry and runs its
// command, whose boxes are answered as a user would. Each row starts from a real first run.
#include <gtest/gtest.h>
#include <shlobj.h>

#include "app/BuildConfig.h"
#include "hands/InstallState.h"
#include "hands/Processes.h"
#include "hands/Windows.h"
#include "install/InstallLocation.h"
#include "install/UninstallTexts.h"
#include "resource.h"
#include "support/ChildProcess.h"
#include "support/Files.h"
#include "support/HttpServer.h"
#include "update/UpdateTexts.h"

namespace {

const char kEntryKey[] = "Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\Zelmora";
const std::string kUninstaller = SpecialFolder(CSIDL_SYSTEM) + "\\uninstaller.exe";
const std::string kCaption = "Zelmora " QUOREL_TEST_HOST;

struct Row
{
    const char* name;
    int answer;                  // to the question
    int installedRuns = 0;       // 1: the updated copy runs on from the backup; 2: the installed copy is started anew
    const char* last = nullptr;  // the box after Yes
};

void PrintTo(const Row& row, std::ostream* out)
{
    *out << row.name;
}

// What `uninstaller --list` prints.
std::string Listed()
{
    SECURITY_ATTRIBUTES inherit = {sizeof inherit, nullptr, TRUE};
    HANDLE read = nullptr, write = nullptr;
    CreatePipe(&read, &write, &inherit, 0);
    SetHandleInformation(read, HANDLE_FLAG_INHERIT, 0);
    STARTUPINFOA startup = {sizeof startup};
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdOutput = startup.hStdError = write;
    PROCESS_INFORMATION process = {};
    std::string line = "\"" + kUninstaller + "\" --list", out;
    if (CreateProcessA(kUninstaller.c_str(), line.data(), nullptr, nullptr, TRUE, 0, nullptr, nullptr, &startup,
                       &process)) {
        CloseHandle(process.hThread);
        CloseHandle(process.hProcess);
    }
    CloseHandle(write);
    char buffer[4096];
    for (DWORD got = 0; ReadFile(read, buffer, sizeof buffer, &got, nullptr) && got;)
        out.append(buffer, got);
    CloseHandle(read);
    return out;
}

std::string EntryValue(const char* name)
{
    char value[MAX_PATH] = "";
    DWORD size = sizeof value;
    if (RegGetValueA(HKEY_LOCAL_MACHINE, kEntryKey, name, RRF_RT_REG_SZ, nullptr, value, &size) != ERROR_SUCCESS) {
        size = sizeof value;
        RegGetValueA(HKEY_CURRENT_USER, kEntryKey, name, RRF_RT_REG_SZ, nullptr, value, &size);
    }
    return value;
}

void SaveLink(const std::string& path, const char* target)
{
    CComApartment com;
    CComRef<IShellLinkA> link;
    CComRef<IPersistFile> file;
    std::wstring wide(path.begin(), path.end());
    ASSERT_TRUE(
        SUCCEEDED(CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER, IID_PPV_ARGS(link.Receive()))) &&
        SUCCEEDED(link->SetPath(target)) && SUCCEEDED(link->QueryInterface(IID_PPV_ARGS(file.Receive()))) &&
        SUCCEEDED(file->Save(wide.c_str(), TRUE)));
}

// A downloaded 3.2.0.0 started as on a new machine hands over to the installed copy, which places its
// shortcuts and is listed with its version.
DWORD FirstRun(TempDir& download)
{
    ChildProcess downloaded;
    EXPECT_TRUE(CopyTo(VariantExe("v3200"), download.File("Quorel.exe")));
    EXPECT_TRUE(downloaded.Start(download.File("Quorel.exe")) && downloaded.WaitExit());
    HWND window = WaitForWindow(kCaption.c_str(), "#32770", kWaitMs);
    EXPECT_TRUE(window);
    DWORD pid = 0;
    GetWindowThreadProcessId(window, &pid);
    EXPECT_NE(std::string::npos, Listed().find("Zelmora|||Zelmora"));
    EXPECT_EQ("3.2.0.0", EntryValue("DisplayVersion"));
    EXPECT_EQ(QUOREL_TEST_HOST, EntryValue("Publisher"));
    for (const std::string& link : ShortcutLinks())
        EXPECT_TRUE(WaitUntil([&] {
            return ReadLink(link).path.rfind(InstalledExe().substr(0, InstalledExe().size() - 4), 0) == 0;
        })) << link;
    return pid;
}

// Each existing file and folder of the install and its entry, as a text.
std::string Snapshot()
{
    std::string state = EntryValue("DisplayVersion");
    for (const std::string& entry : ListFolder(InstallFolder()))
        state += "|" + entry;
    for (const std::string& path : ShortcutLinks())
        state += FileExists(path) ? "|" + path : "";
    for (const std::string& path : ProgramGroups())
        state += DirExists(path) ? "|" + path : "";
    return state;
}

class Uninstall : public ::testing::TestWithParam<Row>
{};

TEST_P(Uninstall, Run)
{
    const Row& row = GetParam();
    KillProcesses(kInstalledExeName);
    ResetInstallState();
    MakeDirs(QuickLaunchFolder());
    RegDeleteKeyA(HKEY_LOCAL_MACHINE, kEntryKey);
    RegDeleteKeyA(HKEY_CURRENT_USER, kEntryKey);
    HttpServer server(static_cast<unsigned short>(atoi(strchr(QUOREL_TEST_HOST, ':') + 1)));
    server.SetPrefix(QUOREL_UPDATE_PATH "update.txt", HttpResponse{200, "text/plain", "3.2.0.1"});
    server.SetPrefix(QUOREL_UPDATE_PATH,
                     HttpResponse{200, "application/octet-stream", ReadWholeFile(VariantExe("v3201"))});
    TempDir download;
    const DWORD installed = FirstRun(download);
    HWND window = WaitForWindow(kCaption.c_str(), "#32770", kWaitMs, installed);
    // Updated in place without a restart: 3.2.0.1 at the install path, 3.2.0.0 its backup.
    PostMessageA(window, WM_TIMER, 1, 0);
    for (auto [caption, answer] : {std::pair{QUOREL_QUESTION_CAPTION, IDYES}, {QUOREL_SUCCESS_CAPTION, IDNO}})
        ASSERT_TRUE(PressButton(WaitForWindow(caption, "#32770", kWaitMs, installed), answer)) << caption;
    EXPECT_TRUE(WaitUntil([] { return EntryValue("DisplayVersion") == "3.2.0.1"; }));
    if (row.installedRuns != 1)
        KillProcesses(kInstalledExeName);
    ChildProcess running;
    if (row.installedRuns == 2)
        ASSERT_TRUE(running.Start(InstalledExe()) && WaitForWindow(kCaption.c_str(), "#32770", kWaitMs, running.Pid()));
    // A user's own file, a staged file left by a cut-off update, a shortcut of ours that now leads elsewhere.
    const std::string own = InstallFolder() + "notes.txt", other = ShortcutLinks()[4];
    ASSERT_TRUE(WriteWholeFile(own, "mine") && WriteWholeFile(InstallFolder() + "Quo0123456789abcdef.tmp", ""));
    SaveLink(other, "C:\\windows\\notepad.exe");
    const std::string before = Snapshot();
    const std::vector<std::string> tempBefore = ListFolder(TempFolder());

    ChildProcess uninstaller;
    ASSERT_TRUE(uninstaller.Start(kUninstaller, "uninstaller --remove Zelmora"));
    HWND box = WaitForWindow(QUOREL_UNINSTALL_CAPTION, "#32770", kWaitMs);
    ASSERT_TRUE(box);
    EXPECT_EQ(QUOREL_UNINSTALL_QUESTION, MessageBoxText(box));
    EXPECT_EQ("YesNo", BoxButtons(box));
    PressButton(box, row.answer);
    if (row.last) {
        EXPECT_TRUE(WaitUntil([&] { return !IsWindow(box); }));
        box = WaitForWindow(QUOREL_UNINSTALL_CAPTION, "#32770", kWaitMs);
        EXPECT_EQ(row.last, MessageBoxText(box));
        PressButton(box, IDOK);
    }
    EXPECT_TRUE(uninstaller.WaitExit());
    // The copy that did the work ends with its last box, and is gone from the temporary folder then.
    EXPECT_TRUE(WaitUntil([&] {
        return ListFolder(TempFolder()) == tempBefore && !FindTopWindow(QUOREL_UNINSTALL_CAPTION, "#32770");
    })) << "left in the temporary folder, or a box open";
    if (row.answer == IDNO || row.installedRuns) {
        EXPECT_EQ(before, Snapshot());
        EXPECT_EQ(row.installedRuns != 0, !ProcessesOf(kInstalledExeName).empty());
        KillProcesses(kInstalledExeName);
        return;
    }
    EXPECT_EQ(std::string::npos, Listed().find("Zelmora"));
    EXPECT_EQ("|notes.txt|" + other, Snapshot());
    EXPECT_EQ("C:\\windows\\notepad.exe", ReadLink(other).path);
    // Installed again as on a new machine.
    FirstRun(download);
    KillProcesses(kInstalledExeName);
    DeleteFileA(own.c_str());
}

const Row kRows[] = {
    {"RemovedWithYes", IDYES, 0, QUOREL_UNINSTALL_DONE},
    {"NoChangesNothing", IDNO},
    {"RunningInstalledCopyChangesNothing", IDYES, 2, QUOREL_UNINSTALL_RUNNING},
    {"CopyRunningOnAfterAnUpdateChangesNothing", IDYES, 1, QUOREL_UNINSTALL_RUNNING},
};

INSTANTIATE_TEST_SUITE_P(Quorel, Uninstall, ::testing::ValuesIn(kRows),
                         [](const ::testing::TestParamInfo<Row>& info) { return std::string(info.param.name); });

}  // namespace
