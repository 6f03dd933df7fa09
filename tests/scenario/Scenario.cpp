#include "scenario/Scenario.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <thread>

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

// The caption names the update server's host: the TLS front's for the https copies ("v3200s", "v3200u").
std::string Caption(const char* variant)
{
    return std::string("Zelmora ") + (variant[5] == 's'   ? QUOREL_TLS_HOST
                                      : variant[5] == 'u' ? QUOREL_UNTRUSTED_HOST
                                                          : QUOREL_TEST_HOST);
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

// Another process at the files that appear in a folder: it may read them, never write, move or delete
// them. Each new file is held open for reading, as a scanner would, until the intruder stops.
class Intruder
{
public:
    explicit Intruder(const std::string& folder) : m_folder(folder), m_before(ListFolder(folder)) {}
    ~Intruder() { Stop(); }
    void Start()
    {
        m_thread = std::thread([this] { Run(); });
    }
    void Stop()
    {
        m_stop = true;
        if (m_thread.joinable())
            m_thread.join();
        m_readers.clear();
    }
    int found = 0;
    std::string changed;  // the first change that went through

private:
    void Run()
    {
        while (!m_stop) {
            for (const std::string& entry : ListFolder(m_folder)) {
                const std::string path = m_folder + entry;
                if (entry == kBackupName || std::count(m_before.begin(), m_before.end(), entry))
                    continue;
                auto reader = std::make_unique<CKernelHandle>(
                    CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                nullptr, OPEN_EXISTING, 0, nullptr));
                if (!std::count(m_seen.begin(), m_seen.end(), entry) && reader->IsValid()) {
                    m_seen.push_back(entry);
                    ++found;
                    m_readers.push_back(std::move(reader));
                }
                CKernelHandle writer(CreateFileA(path.c_str(), GENERIC_WRITE,
                                                 FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                                 OPEN_EXISTING, 0, nullptr));
                if (writer.IsValid() && changed.empty())
                    changed = "opened for writing: " + entry;
                if (MoveFileExA(path.c_str(), (path + ".moved").c_str(), 0) && changed.empty())
                    changed = "moved: " + entry;
                if (DeleteFileA(path.c_str()) && changed.empty())
                    changed = "deleted: " + entry;
            }
            Sleep(5);
        }
    }

    const std::string m_folder;
    const std::vector<std::string> m_before;
    std::vector<std::string> m_seen;
    std::vector<std::unique_ptr<CKernelHandle>> m_readers;
    volatile bool m_stop = false;
    std::thread m_thread;
};

// Looks at a path over and over while the copy runs: each look finds nothing there, or one of two
// images whole; and a folder, which must stay empty.
class Sampler
{
public:
    Sampler(const std::string& path, std::string before, std::string after, const std::string& emptyFolder)
        : m_path(path),
          m_images{std::move(before), std::move(after)},
          m_folder(emptyFolder),
          m_thread([this] { Run(); })
    {
    }
    ~Sampler() { Stop(); }
    void Stop()
    {
        m_stop = true;
        if (m_thread.joinable())
            m_thread.join();
    }
    int looks = 0;
    int partial = 0;
    std::string put;  // the first file found in the folder

private:
    void Run()
    {
        for (; !m_stop; ++looks) {
            const std::string data = ReadWholeFile(m_path);
            partial += !data.empty() && data != m_images[0] && data != m_images[1];
            const std::vector<std::string> entries = ListFolder(m_folder);
            if (!entries.empty() && put.empty())
                put = entries.front();
        }
    }

    const std::string m_path;
    const std::string m_images[2];
    const std::string m_folder;
    volatile bool m_stop = false;
    std::thread m_thread;
};

// Points the copies' temporary folder elsewhere for as long as it lives.
struct TemporaryFolder
{
    const std::string saved = TempFolder();
    const bool active;
    explicit TemporaryFolder(const char* folder) : active(folder != nullptr)
    {
        for (const char* variable : {"TMP", "TEMP"})
            active&& SetEnvironmentVariableA(variable, folder);
    }
    ~TemporaryFolder()
    {
        for (const char* variable : {"TMP", "TEMP"})
            active&& SetEnvironmentVariableA(variable, saved.c_str());
    }
};

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
    ASSERT_TRUE(s.fromInstallPath || CopyTo(Image(s.running), exe));
    ASSERT_TRUE(s.held != Held::Backup || WriteWholeFile(backup, kEarlierBackup));
    const std::string heldPath = s.held == Held::Backup ? backup : s.held == Held::Installed ? InstalledExe() : exe;
    // Read access shared, moving and deleting not: as a scanner or a program that maps the file.
    CKernelHandle held(s.held == Held::Nothing ? nullptr
                                               : CreateFileA(heldPath.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                                                             OPEN_EXISTING, 0, nullptr));
    ASSERT_TRUE(s.held == Held::Nothing || held.IsValid());
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
    if (s.redirect) {
        server.SetPrefix(s.redirect, version);
        version = {302};
        version.location = "http://" QUOREL_TEST_HOST + std::string(s.redirect);
    }
    server.SetPrefix(QUOREL_WEBAPP_PATH, HttpResponse{200, "text/html", "<html><body>Zelmora</body></html>"});
    server.SetPrefix(kVersionTarget, version);
    server.SetPrefix(QUOREL_UPDATE_PATH, executable);
    auto requested = [&](const std::string& target) {
        const std::vector<HttpRequest> all = server.Requests();
        return std::any_of(all.begin(), all.end(), [&](const HttpRequest& r) { return r.target == target; });
    };
    const std::vector<std::string> tempBefore = ListFolder(TempFolder());
    const std::vector<std::string> folderBefore = ListFolder(folder);

    // The drive the test wrapper maps to a folder on a file system of its own.
    const std::string otherTemp = "T:\\quorel-temp\\";
    if (s.otherDrive && GetDriveTypeA("T:\\") == DRIVE_NO_ROOT_DIR)
        GTEST_SKIP() << "no drive T: on another file system";
    ASSERT_TRUE(!s.otherDrive || (RemoveTree(otherTemp), MakeDirs(otherTemp)));
    TemporaryFolder temporaryFolder(s.otherDrive ? otherTemp.c_str() : nullptr);
    std::unique_ptr<Sampler> sampler(s.otherDrive ? new Sampler(exe, ReadWholeFile(exe), executable.body, otherTemp)
                                                  : nullptr);
    Intruder intruder(folder);

    ChildProcess installedCopy;
    ASSERT_TRUE(!s.installedRuns ||
                (installedCopy.Start(InstalledExe(), InstalledExe()) &&
                 WaitForWindow(Caption(s.installed).c_str(), "#32770", kWaitMs, installedCopy.Pid())));
    std::string commandLine = s.commandLine;
    if (commandLine.find("%s") != std::string::npos)
        commandLine.replace(commandLine.find("%s"), 2, exe);
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
    HWND window = WaitForWindow(Caption(s.running).c_str(), "#32770", kWaitMs, shell);
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
    DWORD answered = triggered;
    if (s.intruder)
        intruder.Start();
    for (const Box& expected : s.boxes) {
        SCOPED_TRACE(expected.caption);
        HWND box = WaitForWindow(expected.caption, "#32770", kWaitMs, shell);
        ASSERT_TRUE(box) << "the box did not appear";
        EXPECT_GE(GetTickCount() - answered, expected.notBeforeMs) << "the box came too soon";
        EXPECT_EQ(expected.text, MessageBoxText(box));
        EXPECT_EQ(expected.buttons, BoxButtons(box));
        EXPECT_EQ(std::string("icon=") + expected.icon, Probe(box));
        EXPECT_FALSE(IsWindowEnabled(window)) << "the box is not modal over the main window";
        Answer(box, expected.answer);
        answered = GetTickCount();
        ASSERT_TRUE(WaitUntil([&] { return !IsWindow(box); })) << "the box stayed";
        // How long a scanner holds the file: the update must wait it out.
        if (s.held == Held::ImageBriefly && held.IsValid()) {
            Sleep(3000);
            held.Close();
        }
        DWORD_PTR ignored = 0;
        // After the last box of a restart the window closes.
        const bool closing = s.end == End::Restarts && &expected == &s.boxes.back();
        EXPECT_TRUE(!s.answersMs || closing ||
                    SendMessageTimeoutA(window, WM_NULL, 0, 0, SMTO_NORMAL, s.answersMs, &ignored));
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
        EXPECT_TRUE(WaitForWindow(Caption(s.runningAfter).c_str(), "#32770", kWaitMs, restarted));
        EXPECT_TRUE(WaitUntil([&] { return requested(WebTarget(s.runningAfter)); }));
        EXPECT_TRUE(ProcessesOf(elsewhere.File(kInstalledExeName)).empty()) << "the decoy was started";
    } else {
        EXPECT_EQ(0u, newcomer(exe, shell) + newcomer(kInstalledExeName, shell)) << "a copy was started";
    }
    EXPECT_TRUE(!s.installedRuns || installedCopy.Running()) << "the running installed copy ended";
    KillProcesses(kInstalledExeName);
    commonAppData.reset();

    held.Close();
    intruder.Stop();
    EXPECT_TRUE(!s.intruder || intruder.found > 0) << "no new file appeared beside the copy";
    EXPECT_EQ("", intruder.changed);
    if (sampler) {
        sampler->Stop();
        EXPECT_EQ(0, sampler->partial) << "part of a file at the running path, in " << sampler->looks << " looks";
        EXPECT_EQ("", sampler->put) << "put in the temporary folder on the other drive";
    }
    EXPECT_TRUE(SameImage(exe, s.runningAfter ? s.runningAfter : s.running)) << "the running path";
    EXPECT_TRUE(s.backupAfter            ? SameImage(backup, s.backupAfter)
                : s.held == Held::Backup ? ReadWholeFile(backup) == kEarlierBackup
                                         : !FileExists(backup));
    // A running installed copy is never replaced.
    const char* installed = s.end == End::HandsOver && !s.installedRuns ? s.running : s.installed;
    EXPECT_TRUE(s.fromInstallPath || SameImage(InstalledExe(), installed)) << "the installed copy";
    for (const std::string& entry : ListFolder(InstallFolder()))
        EXPECT_TRUE(entry == kInstalledExeName || entry == kShortcutFileName || entry == kBackupName) << entry;
    for (const std::string& entry : ListFolder(folder))
        EXPECT_TRUE(entry == kBackupName || std::count(folderBefore.begin(), folderBefore.end(), entry))
            << "left beside the copy: " << entry;
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
