#include "scenario/Scenario.h"

#include <aclapi.h>
#include <gtest/gtest.h>
#include <sddl.h>

#include <algorithm>
#include <memory>

#include "QuorelBuildConfig.h"
#include "app/BuildConfig.h"
#include "install/InstallLocation.h"
#include "resource.h"
#include "support/Files.h"
#include "support/Process.h"
#include "support/WindowFinder.h"
#include "update/UpdateTexts.h"

namespace {

const char kVersionTarget[] = QUOREL_UPDATE_PATH "update.txt";
const char kEarlierBackup[] = "the image an earlier process still runs from";

// The address a copy of that variant asks for: "?ver" and its short version text ("3.2" for 3.2.0.0).
std::string WebTarget(const char* variant)
{
    const std::string version =
        variant[1] == 'n' ? "" : std::string{variant[1], '.', variant[2], '.', variant[3], '.', variant[4]};
    return QUOREL_WEBAPP_PATH +
           (version.size() == 7 && !version.compare(3, 4, ".0.0") ? version.substr(0, 3) : version);
}

// "v3201-vendor": that variant signed by that certificate of the test PKI.
std::string Image(const char* variant)
{
    return strchr(variant, '-') ? QUOREL_SIGNED_DIR "\\" + std::string(variant) + ".exe" : VariantExe(variant);
}

bool SameImage(const std::string& path, const char* variant)
{
    return variant ? ReadWholeFile(path) == ReadWholeFile(Image(variant)) : !FileExists(path);
}

ULONGLONG LastWrite(const std::string& path)
{
    WIN32_FILE_ATTRIBUTE_DATA data = {};
    GetFileAttributesExA(path.c_str(), GetFileExInfoStandard, &data);
    return ULONGLONG(data.ftLastWriteTime.dwHighDateTime) << 32 | data.ftLastWriteTime.dwLowDateTime;
}

// Inherited entries carry no mark under Wine: a file's DACL is compared with a new file's beside it.
std::string Dacl(const std::string& path)
{
    PSECURITY_DESCRIPTOR sd = nullptr;
    char* text = nullptr;
    GetNamedSecurityInfoA(path.c_str(), SE_FILE_OBJECT, DACL_SECURITY_INFORMATION, 0, 0, 0, 0, &sd);
    ConvertSecurityDescriptorToStringSecurityDescriptorA(sd, SDDL_REVISION_1, DACL_SECURITY_INFORMATION, &text, 0);
    const std::string dacl = text ? text : "";
    LocalFree(text);
    LocalFree(sd);
    return dacl;
}

// Points the prefix's common application-data folder elsewhere for as long as it lives.
struct CommonAppDataOverride
{
    static constexpr const char* kKey = "Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\User Shell Folders";
    char saved[1024] = "";
    DWORD size = sizeof saved;
    DWORD type = 0;
    const bool active;

    explicit CommonAppDataOverride(const char* value)
        : active(
              value &&
              !RegGetValueA(HKEY_LOCAL_MACHINE, kKey, "Common AppData", RRF_RT_ANY | RRF_NOEXPAND, &type, saved,
                            &size) &&
              !RegSetKeyValueA(HKEY_LOCAL_MACHINE, kKey, "Common AppData", REG_EXPAND_SZ, value, lstrlenA(value) + 1))
    {
    }
    ~CommonAppDataOverride()
    {
        active&& RegSetKeyValueA(HKEY_LOCAL_MACHINE, kKey, "Common AppData", type, saved, size);
    }
};

// A stranger's wininet.dll in the install folder, and Wine asked to prefer it for Quorel.exe, as Windows
// would (not version.dll: Wine's user32 imports it). A WINEDLLOVERRIDES set here would not reach the copy.
struct PlantedDll
{
    static constexpr const char* kApp = "Software\\Wine\\AppDefaults\\Quorel.exe";
    const std::string dll = InstallFolder() + "wininet.dll";
    const bool planted;

    explicit PlantedDll(bool plant)
        : planted(plant && CopyTo(QUOREL_PLANTED_DIR "wininet.dll", dll) &&
                  !RegSetKeyValueA(HKEY_CURRENT_USER, (std::string(kApp) + "\\DllOverrides").c_str(), "wininet", REG_SZ,
                                   "native,builtin", sizeof "native,builtin"))
    {
    }
    ~PlantedDll()
    {
        EXPECT_FALSE(planted && FileExists(dll + ".loaded")) << "the planted wininet.dll was loaded";
        if (!planted)
            return;
        RegDeleteTreeA(HKEY_CURRENT_USER, kApp);
        DeleteFileA((dll + ".loaded").c_str());
        DeleteFileA(dll.c_str());
    }
};

void Answer(HWND box, int answer)
{
    if (answer == kByEnter || answer == kByEscape)
        PostMessageA(GetDlgItem(box, IDOK), WM_KEYDOWN, answer == kByEnter ? VK_RETURN : VK_ESCAPE, 1);
    else if (answer == kByCloseBox)
        PostMessageA(box, WM_SYSCOMMAND, SC_CLOSE, 0);
    else
        PressButton(box, answer);
}

void CheckLooks(HWND window)
{
    // The control's window is the dialog's only child and fills it but for the last of 445 dialog units.
    HWND browser = FindWindowExA(window, nullptr, nullptr, nullptr);
    ASSERT_TRUE(browser && !FindWindowExA(window, browser, nullptr, nullptr));
    RECT client, control;
    GetClientRect(window, &client);
    GetWindowRect(browser, &control);
    MapWindowPoints(nullptr, window, reinterpret_cast<POINT*>(&control), 2);
    EXPECT_TRUE(control.left == 0 && control.top == 0 && control.right == client.right && control.bottom > 400);
    EXPECT_TRUE(client.bottom - control.bottom >= 1 && client.bottom - control.bottom <= 3);
    // Both icon groups share their images, so the platform hands out one shared icon for both.
    EXPECT_EQ("icon=none big=128 small=128 menu=" QUOREL_ABOUT_MENU " after separator, once", Probe(window));
    EXPECT_TRUE(WaitUntil([&] { return !(GetWindowLongA(window, GWL_EXSTYLE) & WS_EX_ACCEPTFILES); }))
        << "drops are still accepted after the page reported status";
}

void CheckShortcuts(const Scenario& s, const std::string& shellExe)
{
    const std::vector<std::string> links = ShortcutLinks();
    for (size_t i = 0; i < links.size(); ++i) {
        SCOPED_TRACE(links[i]);
        const LinkInfo info = ReadLink(links[i]);
        // The marker only where the install folder exists, Quick Launch only where its folder does.
        const bool placed =
            s.links ? !(i == 0 && !DirExists(InstallFolder())) && !(i == 6 && !s.quickLaunch) : i == 0 && s.placed;
        EXPECT_EQ(placed, FileExists(links[i]));
        if (!s.links || !info.ok)
            continue;
        // The desktop shortcut names the running executable less its last four characters.
        EXPECT_EQ(i == 1 ? shellExe.substr(0, shellExe.size() - 4) : InstalledExe(), info.path);
        EXPECT_LE(LastWrite(links[0]), LastWrite(links[i])) << "written before the marker";
    }
    for (const std::string& group : ProgramGroups())
        EXPECT_EQ(s.groups || s.links, DirExists(group)) << group;
    EXPECT_EQ(s.quickLaunch, DirExists(QuickLaunchFolder()));
}

}  // namespace

void RunScenario(const Scenario& s)
{
    KillProcesses(kInstalledExeName);
    ResetInstallState();
    TempDir app;
    TempDir elsewhere;  // the current directory, with a decoy that a restart must never start
    ASSERT_TRUE(CopyTo(VariantExe("v3210"), elsewhere.File(kInstalledExeName)));
    ASSERT_TRUE(!(s.installed || s.placed) || MakeDirs(InstallFolder()));
    ASSERT_TRUE(!s.installed || CopyTo(Image(s.installed), InstalledExe()));
    ASSERT_TRUE(!s.placed || WriteWholeFile(ShortcutLinks().front(), ""));
    for (const std::string& group : ProgramGroups())
        ASSERT_TRUE(!s.groups || MakeDirs(group));
    s.quickLaunch ? (void)MakeDirs(QuickLaunchFolder()) : RemoveTree(QuickLaunchFolder());

    const std::string folder = s.fromInstallPath ? InstallFolder() : app.Path();
    // A leading '*' pads the name so that the path has 257 characters: beyond the command-line copy.
    std::string name = s.fileName;
    if (name[0] == '*') {
        name.replace(0, 1, 257 - folder.size() - name.size() + 1, 'd');
        ASSERT_TRUE(MakeDirs(folder + name.substr(0, name.rfind('\\'))));
    }
    const std::string exe = folder + name;
    const std::string backup = folder + kBackupName;
    const std::string download = TempFolder() + (s.fileName[0] == '*' ? kInstalledExeName : name.c_str());
    ASSERT_TRUE(s.fromInstallPath || CopyTo(Image(s.running), exe));
    DeleteFileA(download.c_str());
    SECURITY_ATTRIBUTES own = {sizeof own, nullptr, FALSE};
    ASSERT_TRUE(!s.privateDownload || ConvertStringSecurityDescriptorToSecurityDescriptorA(
                                          "D:P(A;;FA;;;OW)", SDDL_REVISION_1, &own.lpSecurityDescriptor, nullptr));
    CKernelHandle(s.privateDownload ? CreateFileA(download.c_str(), GENERIC_WRITE, 0, &own, CREATE_ALWAYS, 0, 0) : 0);
    LocalFree(own.lpSecurityDescriptor);
    const std::string fresh = folder + "fresh";  // what the folder gives a file of its own
    ASSERT_TRUE(!s.privateDownload || (WriteWholeFile(fresh, "") && Dacl(download) != Dacl(fresh)));
    ASSERT_TRUE(s.held != Held::Backup || WriteWholeFile(backup, kEarlierBackup));
    CKernelHandle held(s.held == Held::Nothing
                           ? nullptr
                           : CreateFileA((s.held == Held::Backup ? backup : download).c_str(), GENERIC_READ,
                                         FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_ALWAYS, 0, nullptr));
    // Under the long folder the install path would not fit in MAX_PATH.
    const std::string longFolder = app.File(std::string(240 - app.Path().size(), 'p'));
    ASSERT_TRUE(MakeDirs(longFolder));
    std::unique_ptr<CommonAppDataOverride> commonAppData(new CommonAppDataOverride(
        s.commonAppData && !strcmp(s.commonAppData, "long") ? longFolder.c_str() : s.commonAppData));

    HttpServer server(static_cast<unsigned short>(atoi(strchr(QUOREL_TEST_HOST, ':') + 1)));
    ASSERT_TRUE(server.Ok());
    HttpResponse version{s.version ? 200 : 404, "text/plain", s.version ? s.version : ""};
    HttpResponse executable{s.exe ? 200 : 404, "application/octet-stream", s.exe ? ReadWholeFile(Image(s.exe)) : ""};
    if (s.shape)
        s.shape(version, executable);
    server.SetPrefix(QUOREL_WEBAPP_PATH, HttpResponse{200, "text/html", "<html><body>Zelmora</body></html>"});
    server.SetPrefix(kVersionTarget, version);
    server.SetPrefix(QUOREL_UPDATE_PATH, executable);
    auto requested = [&](const std::string& target) {
        const std::vector<HttpRequest> all = server.Requests();
        return std::any_of(all.begin(), all.end(), [&](const HttpRequest& r) { return r.target == target; });
    };
    const std::vector<std::string> tempBefore = ListFolder(TempFolder());

    ChildProcess installedCopy;
    ASSERT_TRUE(!s.installedRuns || (installedCopy.Start(InstalledExe(), InstalledExe()) &&
                                     WaitForWindow(QUOREL_CAPTION_STR, "#32770", kWaitMs, installedCopy.Pid())));
    std::string commandLine = s.commandLine;
    if (commandLine.find("%s") != std::string::npos)
        commandLine.replace(commandLine.find("%s"), 2, exe);
    std::unique_ptr<PlantedDll> planted(new PlantedDll(s.plantedDll));
    ASSERT_EQ(s.plantedDll, planted->planted);
    ChildProcess started;
    ASSERT_TRUE(started.Start(exe, commandLine, elsewhere.Path()));

    // The shell is the process that ends up holding the window: the started copy, or the installed
    // copy it handed over to.
    DWORD shell = started.Pid();
    const std::string shellExe = s.end == End::HandsOver ? InstalledExe() : exe;
    auto newcomer = [&](const std::string& image, DWORD old) {
        for (DWORD pid : ProcessesOf(image)) {
            if (pid != old && pid != installedCopy.Pid())
                return pid;
        }
        return DWORD(0);
    };
    if (s.end == End::HandsOver) {
        ASSERT_TRUE(started.WaitExit()) << "the started copy did not hand over";
        ASSERT_TRUE(WaitUntil([&] { return (shell = newcomer(InstalledExe(), 0)) != 0; })) << "nothing started";
    }
    HWND window = WaitForWindow(QUOREL_CAPTION_STR, "#32770", kWaitMs, shell);
    ASSERT_TRUE(window) << "no main window";
    // Held while it runs, for its exit code: a fault in the teardown ends it with an exception's code.
    CKernelHandle shellProcess(OpenProcess(SYNCHRONIZE | PROCESS_QUERY_LIMITED_INFORMATION, FALSE, shell));
    const DWORD opened = GetTickCount();
    EXPECT_TRUE(WaitUntil([&] { return requested(WebTarget(s.running)); })) << WebTarget(s.running);

    if (s.trigger.message == kRealTimer) {
        PostMessageA(window, WM_TIMER, 2, 0);  // another timer's tick is only passed on
        EXPECT_TRUE(WaitUntil([&] { return server.Count(kVersionTarget) > 0; }, 30000));
        EXPECT_GE(GetTickCount() - opened, 18000u) << "the update check did not wait for its timer";
    } else if (s.trigger.message == WM_KEYDOWN) {
        // To the dialog and to the control, where the focus is.
        for (HWND target : {window, FindWindowExA(window, nullptr, nullptr, nullptr)}) {
            PostMessageA(target, WM_KEYDOWN, s.trigger.wParam, 1);
            PostMessageA(target, WM_KEYUP, s.trigger.wParam, 0xC0000001);
        }
    } else if (s.trigger.message) {
        PostMessageA(window, s.trigger.message, s.trigger.wParam, 0);
    }
    const DWORD triggered = GetTickCount();
    for (const Box& expected : s.boxes) {
        SCOPED_TRACE(expected.caption);
        HWND box = WaitForWindow(expected.caption, "#32770", kWaitMs, shell);
        ASSERT_TRUE(box) << "the box did not appear";
        EXPECT_EQ(expected.text, MessageBoxText(box));
        EXPECT_EQ(expected.buttons, BoxButtons(box));
        EXPECT_EQ(std::string("icon=") + expected.icon, Probe(box));
        EXPECT_FALSE(IsWindowEnabled(window)) << "the box is not modal over the main window";
        Answer(box, expected.answer);
        ASSERT_TRUE(WaitUntil([&] { return !IsWindow(box); })) << "the box stayed";
        DWORD_PTR ignored = 0;
        EXPECT_TRUE(!s.answersMs || SendMessageTimeoutA(window, WM_NULL, 0, 0, SMTO_NORMAL, s.answersMs, &ignored));
    }

    if (s.end == End::Stays || s.end == End::HandsOver) {
        // A tick posted behind a message is handled after it: its request shows the message was handled.
        const size_t checks = server.Count(kVersionTarget);
        const bool posted = s.trigger.message && s.trigger.message != WM_TIMER && s.trigger.message != kRealTimer;
        EXPECT_TRUE(!posted || (PostMessageA(window, WM_TIMER, 1, 0) &&
                                WaitUntil([&] { return server.Count(kVersionTarget) > checks; })));
        DWORD_PTR ignored = 0;
        EXPECT_TRUE(SendMessageTimeoutA(window, WM_NULL, 0, 0, SMTO_NORMAL, kWaitMs, &ignored)) << "not responding";
        EXPECT_TRUE(!s.maxMs || GetTickCount() - triggered <= s.maxMs) << GetTickCount() - triggered << " ms";
        for (const char* caption :
             {QUOREL_QUESTION_CAPTION, QUOREL_SUCCESS_CAPTION, QUOREL_FAILURE_CAPTION, QUOREL_ABOUT_CAPTION})
            EXPECT_FALSE(FindTopWindow(caption, "#32770", shell)) << "an unexpected box: " << caption;
        EXPECT_TRUE(IsWindowEnabled(window) && IsWindowVisible(window));
        if (s.looks)
            CheckLooks(window);
        EXPECT_TRUE(s.trigger.message != kRealTimer ||
                    !WaitUntil([&] { return server.Count(kVersionTarget) > 1; }, 22000))
            << "the timer fired again";
        PostMessageA(window, WM_CLOSE, 0, 0);  // closed now, it starts nothing
    }
    DWORD exitCode = STILL_ACTIVE;
    EXPECT_EQ(WAIT_OBJECT_0, WaitForSingleObject(shellProcess.Get(), kWaitMs)) << "the window did not close";
    EXPECT_TRUE(GetExitCodeProcess(shellProcess.Get(), &exitCode) && exitCode == 0) << "exit code " << exitCode;
    if (s.end == End::Restarts) {
        DWORD restarted = 0;
        EXPECT_TRUE(WaitUntil([&] { return (restarted = newcomer(exe, shell)) != 0; })) << "no restart";
        EXPECT_TRUE(WaitForWindow(QUOREL_CAPTION_STR, "#32770", kWaitMs, restarted));
        EXPECT_TRUE(WaitUntil([&] { return requested(WebTarget(s.runningAfter)); }));
        EXPECT_TRUE(ProcessesOf(elsewhere.File(kInstalledExeName)).empty()) << "the decoy was started";
    } else {
        EXPECT_EQ(0u, newcomer(exe, shell) + newcomer(kInstalledExeName, shell)) << "a copy was started";
    }
    EXPECT_TRUE(!s.installedRuns || installedCopy.Running()) << "the running installed copy ended";
    KillProcesses(kInstalledExeName);
    commonAppData.reset();
    planted.reset();

    held.Close();
    if (s.held == Held::Download)
        DeleteFileA(download.c_str());  // only the test's own handle kept it
    EXPECT_TRUE(SameImage(exe, s.runningAfter ? s.runningAfter : s.running)) << "the running path";
    EXPECT_TRUE(!s.privateDownload || Dacl(exe) == Dacl(fresh)) << "the program kept its download's permissions";
    EXPECT_TRUE(s.backupAfter            ? SameImage(backup, s.backupAfter)
                : s.held == Held::Backup ? ReadWholeFile(backup) == kEarlierBackup
                                         : !FileExists(backup));
    // A running installed copy is never replaced.
    const char* installed = s.end == End::HandsOver && !s.installedRuns ? s.running : s.installed;
    EXPECT_TRUE(s.fromInstallPath || SameImage(InstalledExe(), installed)) << "the installed copy";
    for (const std::string& entry : ListFolder(InstallFolder()))
        EXPECT_TRUE(entry == kInstalledExeName || entry == kShortcutFileName || entry == kBackupName) << entry;
    for (const std::string& entry : ListFolder(TempFolder()))
        EXPECT_TRUE(std::count(tempBefore.begin(), tempBefore.end(), entry))
            << "left in the temporary folder: " << entry;
    EXPECT_TRUE(ListFolder(longFolder).empty());
    CheckShortcuts(s, shellExe);

    const size_t versionRequests = server.Count(kVersionTarget);
    const size_t exeRequests = server.Count(QUOREL_UPDATE_PATH) - versionRequests;
    EXPECT_TRUE(s.versionRequests < 0 || size_t(s.versionRequests) == versionRequests) << versionRequests;
    EXPECT_TRUE(s.exeRequests < 0 || size_t(s.exeRequests) == exeRequests) << exeRequests;
    for (const HttpRequest& request : server.Requests())
        EXPECT_TRUE(request.target.compare(0, 8, QUOREL_UPDATE_PATH) ||
                    request.head.find("\r\nUser-Agent: " + std::string(kAgentName) + "\r\n") != std::string::npos);
    ResetInstallState();
}
