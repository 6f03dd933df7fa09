#include "scenario/Scenario.h"

#include <aclapi.h>
#include <commctrl.h>
#include <sddl.h>
#include <shlobj.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <map>
#include <memory>
#include <thread>

#include "app/BuildConfig.h"
#include "hands/InstallState.h"
#include "hands/Processes.h"
#include "hands/Windows.h"
#include "install/InstallLocation.h"
#include "resource.h"
#include "support/ChildProcess.h"
#include "support/Files.h"
#include "support/Probe.h"
#include "update/UpdateTexts.h"
#include "update/UpdateTimer.h"

namespace {

const char kVersionTarget[] = QUOREL_UPDATE_PATH "update.txt";
const char kEarlierBackup[] = "the image an earlier process still runs from";
const char kShellFolders[] = "Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\User Shell Folders";
const char kWineAppDefaults[] = "Software\\Wine\\AppDefaults\\Quorel.exe";
const DWORD kShareAll = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;
const char kStaleStaged[] = "Quo0123456789abcdef.tmp", kHeldStaged[] = "Quofedcba9876543210.tmp";

// A script of the Unix shell, which Wine starts by its Z: path, run in the folder that holds the install
// folder. Wine gives no process to wait on: the script leaves a mark there once it has succeeded.
bool RunUnix(const std::string& script)
{
    const std::string mark = SpecialFolder(CSIDL_COMMON_APPDATA) + "\\unix-script.done";
    ChildProcess shell;
    return shell.Start("Z:\\bin\\sh", "sh -c \"" + script + " && : >unix-script.done\"",
                       SpecialFolder(CSIDL_COMMON_APPDATA)) &&
           WaitUntil([&] { return DeleteFileA(mark.c_str()) != FALSE; }, 10000);
}

// Who but SYSTEM, Administrators and the owner may add files or folders to the folder.
std::string OthersWhoMayAdd(const std::string& folder)
{
    PSID owner = nullptr;
    PACL dacl = nullptr;
    PSECURITY_DESCRIPTOR security = nullptr;
    if (GetNamedSecurityInfoA(folder.c_str(), SE_FILE_OBJECT, OWNER_SECURITY_INFORMATION | DACL_SECURITY_INFORMATION,
                              &owner, nullptr, &dacl, nullptr, &security))
        return "unread";
    std::string others = dacl ? "" : "everyone (no DACL)";
    for (WORD i = 0; dacl && i < dacl->AceCount; ++i) {
        ACCESS_ALLOWED_ACE* ace = nullptr;
        char* sid = nullptr;
        if (GetAce(dacl, i, reinterpret_cast<void**>(&ace)) && (ace->Mask & (FILE_ADD_FILE | FILE_ADD_SUBDIRECTORY)) &&
            !EqualSid(&ace->SidStart, owner) && ConvertSidToStringSidA(&ace->SidStart, &sid))
            others += strcmp(sid, "S-1-5-18") && strcmp(sid, "S-1-5-32-544") ? sid + std::string(" ") : "";
        LocalFree(sid);
    }
    LocalFree(security);
    return others;
}

// The address a copy asks for: "?ver" and its short version text ("3.2" for 3.2.0.0).
std::string WebTarget(const Variant& copy)
{
    const std::string version = copy.version;
    const bool shortForm = version.size() > 4 && version.compare(version.size() - 4, 4, ".0.0") == 0;
    return QUOREL_WEBAPP_PATH + (shortForm ? version.substr(0, version.size() - 4) : version);
}

std::string Caption(const Variant& copy)
{
    return std::string("Zelmora ") + copy.host;
}

bool Released(const Variant& copy)
{
    return copy.build && !strcmp(copy.build, kV3201Released.build);
}

std::string Image(const Variant& copy)
{
    if (Released(copy))
        return QUOREL_SIGNED_DIR "\\release\\update\\Quorel.exe";
    return copy.signer ? QUOREL_SIGNED_DIR "\\" + std::string(copy.build) + "-" + copy.signer + ".exe"
                       : VariantExe(copy.build);
}

std::string Name(const Variant& copy)
{
    if (!copy.build)
        return "no file";
    return copy.signer ? std::string(copy.build) + "-" + copy.signer : copy.build;
}

// Which of the copies (name and bytes) the file is; a short file reads as its text.
std::string Identify(const std::string& path, const std::map<std::string, std::string>& copies)
{
    if (!FileExists(path))
        return Name(kNoCopy);
    const std::string data = ReadWholeFile(path);
    for (const auto& [name, image] : copies) {
        if (data == image)
            return name;
    }
    return data.size() < 100 ? data : std::to_string(data.size()) + " bytes of another file";
}

ULONGLONG LastWrite(const std::string& path)
{
    WIN32_FILE_ATTRIBUTE_DATA data = {};
    GetFileAttributesExA(path.c_str(), GetFileExInfoStandard, &data);
    return ULONGLONG(data.ftLastWriteTime.dwHighDateTime) << 32 | data.ftLastWriteTime.dwLowDateTime;
}

std::vector<std::string> Unknown(const std::string& folder, const std::vector<std::string>& known)
{
    std::vector<std::string> entries = ListFolder(folder);
    std::erase_if(entries, [&](const std::string& entry) { return std::count(known.begin(), known.end(), entry); });
    return entries;
}

std::string LogFolder()
{
    return SpecialFolder(CSIDL_LOCAL_APPDATA) + "\\Quorelware";
}

// Looks at the machine over and over on a thread of its own while the copy runs, until stopped.
std::jthread Repeatedly(std::function<void()> look)
{
    return std::jthread([look](std::stop_token stop) {
        while (!stop.stop_requested())
            look();
    });
}

// The window's thread takes a sent message within ms: it is not stuck in a wait of its own.
bool Answers(HWND window, DWORD ms)
{
    DWORD_PTR ignored = 0;
    return SendMessageTimeoutA(window, WM_NULL, 0, 0, SMTO_NORMAL, ms, &ignored) != 0;
}

void Answer(HWND box, int answer)
{
    if (answer == kByEnter || answer == kByEscape)
        PostMessageA(GetDlgItem(box, IDOK), WM_KEYDOWN, answer == kByEnter ? VK_RETURN : VK_ESCAPE, 1);
    else if (answer == kByCloseBox)
        PostMessageA(box, WM_SYSCOMMAND, SC_CLOSE, 0);
    else
        PressButton(box, answer);
}

// The download window between the question and the next box: what it shows, that it and the main window
// answer while the bar moves, and, cancelled, that it goes within a second.
void WatchDownload(Progress progress, HWND window, DWORD shell)
{
    HWND dialog = WaitForWindow(QUOREL_QUESTION_CAPTION, "#32770", kWaitMs, shell);
    HWND bar = FindWindowExA(dialog, nullptr, "msctls_progress32", nullptr);
    ASSERT_TRUE(dialog && bar) << "no download window";
    EXPECT_EQ(QUOREL_DOWNLOAD_TEXT, MessageBoxText(dialog));
    EXPECT_EQ("Cancel", BoxButtons(dialog));
    EXPECT_EQ(window, GetWindow(dialog, GW_OWNER));
    auto position = [&] {
        DWORD_PTR value = 0;
        SendMessageTimeoutA(bar, PBM_GETPOS, 0, 0, SMTO_NORMAL, 1000, &value);
        return value;
    };
    for (int move = 0; move < 3; ++move) {
        const DWORD_PTR before = position();
        EXPECT_TRUE(WaitUntil([&] { return position() > before; })) << "the bar stood still at " << before;
        EXPECT_FALSE(IsWindowEnabled(window)) << "the main window takes input during the download";
        for (HWND answering : {dialog, window})
            EXPECT_TRUE(Answers(answering, 1000));
    }
    if (progress == Progress::Cancelled)
        PressButton(dialog, IDCANCEL);
    EXPECT_TRUE(WaitUntil([&] { return !IsWindow(dialog); }, progress == Progress::Cancelled ? 1000 : kWaitMs))
        << "the download window stayed";
}

void CheckLooks(HWND window)
{
    // The control's window is the dialog's only child and fills it but for the last of 445 dialog units.
    HWND browser = FindWindowExA(window, nullptr, nullptr, nullptr);
    ASSERT_TRUE(browser);
    EXPECT_EQ(nullptr, FindWindowExA(window, browser, nullptr, nullptr));
    RECT client, control;
    GetClientRect(window, &client);
    GetWindowRect(browser, &control);
    MapWindowPoints(nullptr, window, reinterpret_cast<POINT*>(&control), 2);
    EXPECT_EQ((std::vector<LONG>{0, 0, client.right}), (std::vector<LONG>{control.left, control.top, control.right}));
    EXPECT_GT(control.bottom, 400);
    // One dialog unit high, whatever the font makes of it.
    EXPECT_GE(client.bottom - control.bottom, 1);
    EXPECT_LE(client.bottom - control.bottom, 3);
    // Both icon groups share their images, so the platform hands out one shared icon for both.
    EXPECT_EQ("icon=none big=128 small=128 menu=" QUOREL_ABOUT_MENU " after separator, once", Probe(window));
    EXPECT_TRUE(WaitUntil([&] { return !(GetWindowLongA(window, GWL_EXSTYLE) & WS_EX_ACCEPTFILES); }))
        << "drops are still accepted after the page reported status";
}

// One row, run in phases: the machine prepared, the copy launched, its window driven through the
// boxes, the window closed, and what stands afterwards verified. A phase that cannot go on ends the
// row with a fatal failure.
class ScenarioRun
{
public:
    explicit ScenarioRun(const Scenario& scenario) : s(scenario) {}
    ~ScenarioRun()
    {
        Undo();
        if (s.installFolder == InstallDir::Linked)
            RunUnix("rm -f Quorelware");
    }
    void Run()
    {
        for (void (ScenarioRun::*phase)() :
             {&ScenarioRun::PrepareMachine, &ScenarioRun::ChangeSettings, &ScenarioRun::PrepareServer,
              &ScenarioRun::Launch, &ScenarioRun::DriveWindow, &ScenarioRun::Close}) {
            (this->*phase)();
            if (testing::Test::HasFatalFailure() || testing::Test::IsSkipped())
                return;
        }
        VerifyFiles();
        VerifyShortcuts();
        VerifyRequests();
    }

private:
    void PrepareMachine()
    {
        KillProcesses(kInstalledExeName);
        ResetInstallState();
        ASSERT_TRUE(CopyTo(VariantExe(kV3210.build), elsewhere.File(kInstalledExeName)));
        if (s.installed.build) {
            // The link leads from the common application-data folder to the copy's own temporary folder.
            std::string target = ".." + elsewhere.Path().substr(2);
            std::replace(target.begin(), target.end(), '\\', '/');
            ASSERT_TRUE(s.installFolder == InstallDir::Linked ? RunUnix("ln -s " + target + " Quorelware")
                                                              : MakeDirs(InstallFolder()));
            ASSERT_TRUE(CopyTo(Image(s.installed), InstalledExe()));
        }
        // A null DACL: every user may do anything there.
        if (s.installFolder == InstallDir::Open) {
            ASSERT_FALSE(SetNamedSecurityInfoA(InstallFolder().data(), SE_FILE_OBJECT, DACL_SECURITY_INFORMATION,
                                               nullptr, nullptr, nullptr, nullptr));
        }
        // Left by a download that was killed, and one still under way in another process.
        if (s.leftovers) {
            ASSERT_TRUE(WriteWholeFile(InstallFolder() + kStaleStaged, "") &&
                        WriteWholeFile(InstallFolder() + kHeldStaged, ""));
            held.Reset(CreateFileA((InstallFolder() + kHeldStaged).c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                                   OPEN_EXISTING, 0, nullptr));
        }
        if (s.installed.build && s.placed) {
            ASSERT_TRUE(WriteWholeFile(InstallFolder() + kShortcutFileName, ""));
        }
        for (const std::string& group : s.groups ? ProgramGroups() : std::vector<std::string>())
            ASSERT_TRUE(MakeDirs(group)) << group;
        s.quickLaunch ? (void)MakeDirs(QuickLaunchFolder()) : RemoveTree(QuickLaunchFolder());

        folder = s.fromInstallPath ? InstallFolder() : app.Path();
        // A leading '*' pads the name so that the path has 257 characters: beyond the command-line copy.
        std::string name = s.fileName;
        if (name[0] == '*') {
            name.replace(0, 1, 257 - folder.size() - name.size() + 1, 'd');
            ASSERT_TRUE(MakeDirs(folder + name.substr(0, name.rfind('\\'))));
        }
        exe = folder + name;
        backup = folder + kBackupName;
        if (!s.fromInstallPath) {
            ASSERT_TRUE(CopyTo(Image(s.running), exe));
        }
        if (s.held == Held::Backup) {
            ASSERT_TRUE(WriteWholeFile(backup, kEarlierBackup));
        }
        if (s.held != Held::Nothing && s.held < Held::GapBriefly) {
            const std::string path = s.held == Held::Backup ? backup : s.held == Held::Installed ? InstalledExe() : exe;
            // Read access shared, moving and deleting not: as a scanner or a program that maps the file.
            held.Reset(CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr));
            ASSERT_TRUE(held.IsValid());
        }
        // Under the long folder the install path would not fit in MAX_PATH.
        longFolder = app.File(std::string(240 - app.Path().size(), 'p'));
        ASSERT_TRUE(MakeDirs(longFolder));
        tempBefore = ListFolder(TempFolder());
        // What may stand beside the copy: what stood there, the backup and the shortcut marker.
        known = ListFolder(folder);
        known.insert(known.end(), {kBackupName, kShortcutFileName});
        RemoveTree(LogFolder());
        if (s.logBlocked) {
            ASSERT_TRUE(WriteWholeFile(LogFolder(), "a file where the log's folder would be"));
            undo.push_back([] { DeleteFileA(LogFolder().c_str()); });
        }
    }

    // What the row changes outside its own folders, each with the step that puts it back.
    void ChangeSettings()
    {
        if (s.commonAppData) {
            const std::string value = strcmp(s.commonAppData, "long") ? s.commonAppData : longFolder;
            char saved[1024] = "";
            DWORD size = sizeof saved, type = 0;
            ASSERT_FALSE(RegGetValueA(HKEY_LOCAL_MACHINE, kShellFolders, "Common AppData", RRF_RT_ANY | RRF_NOEXPAND,
                                      &type, saved, &size));
            ASSERT_FALSE(RegSetKeyValueA(HKEY_LOCAL_MACHINE, kShellFolders, "Common AppData", REG_EXPAND_SZ,
                                         value.c_str(), DWORD(value.size() + 1)));
            undo.push_back(
                [=] { RegSetKeyValueA(HKEY_LOCAL_MACHINE, kShellFolders, "Common AppData", type, saved, size); });
        }
        if (s.plantedDll) {
            // Wine asked to prefer it for Quorel.exe, as Windows would (not version.dll: Wine's user32 imports
            // it). A WINEDLLOVERRIDES set here would not reach the copy.
            const std::string dll = InstallFolder() + "wininet.dll";
            ASSERT_TRUE(CopyTo(QUOREL_PLANTED_DIR "wininet.dll", dll));
            ASSERT_FALSE(RegSetKeyValueA(HKEY_CURRENT_USER, (kWineAppDefaults + std::string("\\DllOverrides")).c_str(),
                                         "wininet", REG_SZ, "native,builtin", sizeof "native,builtin"));
            undo.push_back([dll] {
                EXPECT_FALSE(FileExists(dll + ".loaded")) << "the planted wininet.dll was loaded";
                RegDeleteTreeA(HKEY_CURRENT_USER, kWineAppDefaults);
                DeleteFileA((dll + ".loaded").c_str());
                DeleteFileA(dll.c_str());
            });
        }
        if (s.unixScript) {
            ASSERT_TRUE(RunUnix(s.unixScript));
            undo.push_back([] { RunUnix("chown -R 0 Quorelware && chmod 0755 Quorelware"); });
        }
        if (!s.otherDrive)
            return;
        // The drive the test wrapper maps to a folder on a file system of its own.
        const std::string otherTemp = "T:\\quorel-temp\\";
        if (GetDriveTypeA("T:\\") == DRIVE_NO_ROOT_DIR)
            GTEST_SKIP() << "no drive T: on another file system";
        RemoveTree(otherTemp);
        ASSERT_TRUE(MakeDirs(otherTemp));
        const std::string savedTemp = TempFolder();
        for (const char* variable : {"TMP", "TEMP"})
            SetEnvironmentVariableA(variable, otherTemp.c_str());
        undo.push_back([savedTemp] {
            for (const char* variable : {"TMP", "TEMP"})
                SetEnvironmentVariableA(variable, savedTemp.c_str());
        });
        // Each look at the running path finds nothing there, or one of the two images whole.
        sampler = Repeatedly([this, otherTemp, old = ReadWholeFile(exe), update = ReadWholeFile(Image(s.exe))] {
            ++looks;
            const std::string data = ReadWholeFile(exe);
            partial += !data.empty() && data != old && data != update;
            const std::vector<std::string> put = ListFolder(otherTemp);
            if (!put.empty() && putOnOtherDrive.empty())
                putOnOtherDrive = put.front();
        });
    }

    void PrepareServer()
    {
        server.reset(new HttpServer(static_cast<unsigned short>(atoi(strchr(QUOREL_TEST_HOST, ':') + 1))));
        ASSERT_TRUE(server->Ok());
        HttpResponse version{s.version ? 200 : 404, "text/plain", s.version ? s.version : ""};
        HttpResponse executable{s.exe.build ? 200 : 404, "application/octet-stream",
                                s.exe.build ? ReadWholeFile(Image(s.exe)) : ""};
        if (Released(s.exe))
            version.body = ReadWholeFile(QUOREL_SIGNED_DIR "\\release\\update\\update.txt");
        if (s.shape)
            s.shape(version, executable);
        if (s.redirect) {
            server->SetPrefix(s.redirect, version);
            version = {302};
            version.location = "http://" QUOREL_TEST_HOST + std::string(s.redirect);
        }
        server->SetPrefix(QUOREL_WEBAPP_PATH, HttpResponse{200, "text/html", "<html><body>Zelmora</body></html>"});
        server->SetPrefix(kVersionTarget, version);
        server->SetPrefix(QUOREL_UPDATE_PATH, executable);
    }

    void Launch()
    {
        if (s.installedRuns) {
            ASSERT_TRUE(installedCopy.Start(InstalledExe(), InstalledExe()));
            ASSERT_TRUE(WaitForWindow(Caption(s.installed).c_str(), "#32770", kWaitMs, installedCopy.Pid()));
        }
        std::string commandLine = s.commandLine;
        if (commandLine.find("%s") != std::string::npos)
            commandLine.replace(commandLine.find("%s"), 2, exe);
        const DWORD starting = GetTickCount();
        ASSERT_TRUE(started.Start(exe, commandLine, elsewhere.Path()));
        // The started copy holds the window, or the installed copy it handed over to.
        shell = started.Pid();
        if (s.end == End::HandsOver) {
            ASSERT_TRUE(started.WaitExit()) << "the started copy did not hand over";
            ASSERT_TRUE(WaitUntil([&] { return (shell = Newcomer(InstalledExe(), 0)) != 0; })) << "nothing started";
        }
        window = WaitForWindow(Caption(s.running).c_str(), "#32770", kWaitMs, shell);
        ASSERT_TRUE(window) << "no main window";
        // Without a message, the row's bound is from the start to the window.
        EXPECT_LE(GetTickCount() - starting, s.maxMs && !s.trigger.message ? s.maxMs : kWaitMs) << "ms to the window";
        // Held while it runs, for its exit code: a fault in the teardown ends it with an exception's code.
        shellProcess.Reset(OpenProcess(SYNCHRONIZE | PROCESS_QUERY_LIMITED_INFORMATION, FALSE, shell));
        EXPECT_TRUE(WaitUntil([&] { return Requested(WebTarget(s.running)); })) << WebTarget(s.running);
    }

    void DriveWindow()
    {
        const DWORD opened = GetTickCount();
        EXPECT_TRUE(s.held < Held::GapBriefly || Probe(window, "QuorelWatchMoves") == "moves watched");
        if (s.trigger.message == kRealTimer) {
            PostMessageA(window, WM_TIMER, 2, 0);  // another timer's tick is only passed on
            EXPECT_TRUE(WaitUntil([&] { return server->Count(kVersionTarget) > 0; }, kUpdateDelayMs + 10000));
            EXPECT_GE(GetTickCount() - opened, kUpdateDelayMs - 2000) << "the update check did not wait for its timer";
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
        DWORD answered = triggered;
        if (s.intruder)
            intruder = Repeatedly([this] { Intrude(); });
        for (const Box& expected : s.boxes) {
            SCOPED_TRACE(expected.caption);
            HWND box = WaitForWindow(expected.caption, "#32770", kWaitMs, shell);
            ASSERT_TRUE(box) << "the box did not appear";
            EXPECT_GE(GetTickCount() - answered, expected.notBeforeMs) << "the box came too soon";
            EXPECT_LE(GetTickCount() - answered, expected.notAfterMs) << "the box came too late";
            EXPECT_EQ(expected.text, MessageBoxText(box));
            EXPECT_EQ(expected.buttons, BoxButtons(box));
            EXPECT_EQ(std::string("icon=") + expected.icon, Probe(box));
            EXPECT_FALSE(IsWindowEnabled(window)) << "the box is not modal over the main window";
            Answer(box, expected.answer);
            answered = GetTickCount();
            if (s.held >= Held::GapBriefly && &expected == &s.boxes.front())
                TakeTheEmptyPath();
            ASSERT_TRUE(WaitUntil([&] { return !IsWindow(box); })) << "the box stayed";
            if (s.progress != Progress::None && &expected == &s.boxes.front())
                WatchDownload(s.progress, window, shell);
            // How long a scanner holds the file: the update must wait it out.
            if (s.held == Held::ImageBriefly && held.IsValid()) {
                Sleep(3000);
                held.Reset();
            }
            // After the last box of a restart the window closes.
            if (s.answersMs && !(s.end == End::Restarts && &expected == &s.boxes.back())) {
                EXPECT_TRUE(Answers(window, s.answersMs));
            }
        }
        if (s.maxMs && s.boxes.empty() && s.trigger.message) {
            // A silent check holds the window until it ends.
            EXPECT_TRUE(WaitUntil([&] { return server->Count(kVersionTarget) > 0; }));
            EXPECT_TRUE(TickHandledBehind()) << "the check never ended";
        }
        if (s.maxMs && (s.end == End::Stays || s.end == End::HandsOver)) {
            EXPECT_LE(GetTickCount() - triggered, s.maxMs) << "ms from the trigger to the end of the check";
        }
    }

    void Close()
    {
        if (s.end == End::Stays || s.end == End::HandsOver) {
            if (s.trigger.message && s.trigger.message != WM_TIMER && s.trigger.message != kRealTimer) {
                EXPECT_TRUE(TickHandledBehind()) << "the message hung";
            }
            EXPECT_TRUE(Answers(window, kWaitMs)) << "not responding";
            for (const char* caption :
                 {QUOREL_QUESTION_CAPTION, QUOREL_SUCCESS_CAPTION, QUOREL_FAILURE_CAPTION, QUOREL_ABOUT_CAPTION})
                EXPECT_EQ(nullptr, FindTopWindow(caption, "#32770", shell)) << "an unexpected window: " << caption;
            EXPECT_TRUE(IsWindowEnabled(window));
            EXPECT_TRUE(IsWindowVisible(window));
            if (s.looks)
                CheckLooks(window);
            if (s.trigger.message == kRealTimer) {
                EXPECT_FALSE(WaitUntil([&] { return server->Count(kVersionTarget) > 1; }, kUpdateDelayMs + 2000))
                    << "the timer fired again";
            }
            PostMessageA(window, WM_CLOSE, 0, 0);  // closed now, it starts nothing
        }
        DWORD exitCode = STILL_ACTIVE;
        EXPECT_EQ(WAIT_OBJECT_0, WaitForSingleObject(shellProcess.Get(), kWaitMs)) << "the window did not close";
        GetExitCodeProcess(shellProcess.Get(), &exitCode);
        EXPECT_EQ(0u, exitCode);
        if (s.end == End::Restarts) {
            DWORD restarted = 0;
            // Outside the install folder the release hands over to the installed copy.
            const std::string image = s.fromInstallPath ? exe : InstalledExe();
            EXPECT_TRUE(WaitUntil([&] { return (restarted = Newcomer(image, shell)) != 0; })) << "no restart";
            EXPECT_TRUE(WaitForWindow(Caption(finalCopy).c_str(), "#32770", kWaitMs, restarted));
            EXPECT_TRUE(WaitUntil([&] { return Requested(WebTarget(finalCopy)); }));
            EXPECT_EQ(0u, ProcessesOf(elsewhere.File(kInstalledExeName)).size()) << "the decoy was started";
        } else {
            EXPECT_EQ(0u, Newcomer(exe, shell) + Newcomer(kInstalledExeName, shell)) << "a copy was started";
        }
        if (s.installedRuns) {
            EXPECT_TRUE(installedCopy.Running()) << "the running installed copy ended";
        }
        KillProcesses(kInstalledExeName);
        Undo();
        held.Reset();
    }

    void VerifyFiles()
    {
        intruder = {};  // stops and joins
        sampler = {};
        EXPECT_EQ(s.intruder, !intruded.empty()) << "new files beside the copy that the intruder found";
        intruded.clear();
        EXPECT_EQ("", changed);
        EXPECT_EQ(0, partial) << "part of a file at the running path, in " << looks << " looks";
        EXPECT_EQ("", putOnOtherDrive) << "put in the temporary folder on the other drive";
        const std::string backedUp = s.after == After::Updated      ? Name(s.running)
                                     : s.after == After::RolledBack ? Name(s.exe)
                                     : s.held == Held::Backup       ? kEarlierBackup
                                                                    : Name(kNoCopy);
        std::map<std::string, std::string> expected = {{exe, Name(finalCopy)}, {backup, backedUp}}, actual;
        // A running installed copy is never replaced.
        if (!s.fromInstallPath)
            expected[InstalledExe()] = Name(s.end == End::Restarts                        ? s.exe
                                            : s.end == End::HandsOver && !s.installedRuns ? s.running
                                                                                          : s.installed);
        std::map<std::string, std::string> copies;
        for (const Variant& copy : {s.installed, s.running, s.exe}) {
            if (copy.build)
                copies.emplace(Name(copy), ReadWholeFile(Image(copy)));
        }
        for (const auto& [path, name] : expected)
            actual[path] = Identify(path, copies);
        EXPECT_EQ(expected, actual);
        const std::vector<std::string> none;
        EXPECT_EQ(none, Unknown(InstallFolder(), {kInstalledExeName, kShortcutFileName, kBackupName, kHeldStaged}));
        EXPECT_EQ(s.leftovers, FileExists(InstallFolder() + kHeldStaged)) << "the staged file another process held";
        if (s.installFolder != InstallDir::Linked && DirExists(InstallFolder())) {
            EXPECT_EQ("", OthersWhoMayAdd(InstallFolder())) << "may add to the install folder";
        }
        EXPECT_EQ(none, Unknown(folder, known)) << "left beside the copy";
        EXPECT_EQ(none, Unknown(TempFolder(), tempBefore)) << "left in the temporary folder";
        EXPECT_EQ(none, ListFolder(longFolder));
        const std::string log = ReadWholeFile(LogFolder() + "\\update.log");
        if (s.log) {
            EXPECT_NE(std::string::npos, log.find(s.log)) << log;
        }
        if (s.logBlocked) {
            EXPECT_EQ("", log);
        }
    }

    void VerifyShortcuts()
    {
        const std::string marker = InstallFolder() + kShortcutFileName;
        const std::string desktop = SpecialFolder(CSIDL_DESKTOPDIRECTORY) + kLinkInFolder;
        const std::string quickLaunch = SpecialFolder(CSIDL_APPDATA) + kLinkInQuickLaunch;
        const std::string shellExe = s.end == End::HandsOver ? InstalledExe() : exe;
        for (const std::string& link : ShortcutLinks()) {
            SCOPED_TRACE(link);
            // The marker only where the install folder exists, Quick Launch only where its folder does.
            const bool placed =
                s.links ? !(link == marker && !DirExists(InstallFolder())) && !(link == quickLaunch && !s.quickLaunch)
                        : link == marker && s.installed.build && s.placed;
            EXPECT_EQ(placed, FileExists(link));
            const LinkInfo info = ReadLink(link);
            if (!s.links || !info.ok)
                continue;
            // The desktop shortcut names the running executable less its last four characters.
            EXPECT_EQ(link == desktop ? shellExe.substr(0, shellExe.size() - 4) : InstalledExe(), info.path);
            EXPECT_LE(LastWrite(marker), LastWrite(link)) << "written before the marker";
        }
        for (const std::string& group : ProgramGroups())
            EXPECT_EQ(s.groups || s.links, DirExists(group)) << group;
        EXPECT_EQ(s.quickLaunch, DirExists(QuickLaunchFolder()));
    }

    void VerifyRequests()
    {
        const size_t versionRequests = server->Count(kVersionTarget);
        if (s.versionRequests >= 0) {
            EXPECT_EQ(size_t(s.versionRequests), versionRequests) << "requests for the version file";
        }
        if (s.exeRequests >= 0) {
            EXPECT_EQ(size_t(s.exeRequests), server->Count(QUOREL_UPDATE_PATH) - versionRequests)
                << "requests for the executable";
        }
        const std::string agent = "\r\nUser-Agent: " + std::string(kAgentName) + "\r\n";
        for (const HttpRequest& request : server->Requests()) {
            if (request.target.compare(0, 8, QUOREL_UPDATE_PATH) == 0) {
                EXPECT_NE(std::string::npos, request.head.find(agent)) << request.head;
            }
        }
        ResetInstallState();
    }

    // Puts back what the row changed outside its own folders, last change first.
    void Undo()
    {
        for (; !undo.empty(); undo.pop_back())
            undo.back()();
    }

    // Another process at each new file beside the copy: it may read, never change one.
    void Intrude()
    {
        for (const std::string& entry : ListFolder(folder)) {
            if (std::count(known.begin(), known.end(), entry))
                continue;
            const std::string path = folder + entry;
            CKernelHandle reader(
                CreateFileA(path.c_str(), GENERIC_READ, kShareAll, nullptr, OPEN_EXISTING, 0, nullptr));
            if (reader.IsValid() && !intruded.count(entry))
                intruded.emplace(entry, std::move(reader));
            CKernelHandle writer(
                CreateFileA(path.c_str(), GENERIC_WRITE, kShareAll, nullptr, OPEN_EXISTING, 0, nullptr));
            const char* change = writer.IsValid()                                          ? "opened for writing: "
                                 : MoveFileExA(path.c_str(), (path + ".moved").c_str(), 0) ? "moved: "
                                 : DeleteFileA(path.c_str())                               ? "deleted: "
                                                                                           : nullptr;
            if (change && changed.empty())
                changed = change + entry;
        }
        Sleep(5);  // a scanner's pace, not a wait for anything
    }

    // Whatever the swap does meanwhile, the session may not end while the path is not the program's.
    void TakeTheEmptyPath()
    {
        ASSERT_EQ(WAIT_OBJECT_0, WaitForSingleObject(gap.Get(), kWaitMs)) << "no swap";
        held.Reset(CreateFileA(exe.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, 0, nullptr));
        SetEvent(taken.Get());
        ASSERT_TRUE(held.IsValid()) << "the path was not empty";
        ASSERT_TRUE(s.held == Held::GapBriefly || WaitForSingleObject(rollback.Get(), kWaitMs) == WAIT_OBJECT_0)
            << "no rollback";
        DWORD_PTR may = TRUE;
        EXPECT_TRUE(SendMessageTimeoutA(window, WM_QUERYENDSESSION, 0, 0, SMTO_NORMAL, 2000, &may));
        EXPECT_EQ(DWORD_PTR(FALSE), may) << "the session may end";
        if (s.held == Held::GapBriefly)
            Sleep(3000);  // how long it is held: the swap must wait it out
        held.Reset();
    }

    // A tick posted now is handled only after what the window is busy with: its request shows that ended.
    bool TickHandledBehind()
    {
        const size_t checks = server->Count(kVersionTarget);
        PostMessageA(window, WM_TIMER, kUpdateTimerId, 0);
        return WaitUntil([&] { return server->Count(kVersionTarget) > checks; });
    }

    bool Requested(const std::string& target) const
    {
        const std::vector<HttpRequest> all = server->Requests();
        return std::any_of(all.begin(), all.end(), [&](const HttpRequest& r) { return r.target == target; });
    }

    // A process of that image started by the copy: neither the old one nor the installed copy already running.
    DWORD Newcomer(const std::string& image, DWORD old) const
    {
        for (DWORD pid : ProcessesOf(image)) {
            if (pid != old && pid != installedCopy.Pid())
                return pid;
        }
        return 0;
    }

    const Scenario& s;
    const Variant& finalCopy = s.after == After::Updated ? s.exe : s.running;  // at the started copy's path at the end
    TempDir app, elsewhere;  // elsewhere: the current directory, with a decoy that a restart must never start
    std::string folder, exe, backup, longFolder;
    std::vector<std::string> tempBefore, known;
    std::vector<std::function<void()>> undo;
    CKernelHandle held;
    CKernelHandle gap{CreateEventA(nullptr, FALSE, FALSE, "QuorelGap")},
        taken{CreateEventA(nullptr, TRUE, FALSE, "QuorelTaken")},
        rollback{CreateEventA(nullptr, TRUE, FALSE, "QuorelRollback")};
    std::unique_ptr<HttpServer> server;
    ChildProcess installedCopy, started;
    DWORD shell = 0;  // the process that ends up holding the window
    HWND window = nullptr;
    CKernelHandle shellProcess;
    // What the watchers found; they stop before any of it goes.
    std::map<std::string, CKernelHandle> intruded;  // each new file stays open for reading, as a scanner holds it
    std::string changed;                            // the first change the intruder made
    int looks = 0, partial = 0;
    std::string putOnOtherDrive;
    std::jthread intruder, sampler;
};

}  // namespace

void RunScenario(const Scenario& s)
{
    ScenarioRun(s).Run();
}
