#include "e2e/Story.h"

#include <algorithm>

#include "support/InstallState.h"
#include "support/Paths.h"
#include "support/WindowFinder.h"

const char kMainCaption[] = "Zelmora " QUOREL_TEST_HOST;
const char kQuestionCaption[] = "有新版更新";
const char kSuccessCaption[] = "更新成功！";
const char kFailureCaption[] = "更新失败！";
const char kWebAppPath[] = "/touch/default/type/ipad/source/software";

namespace {

const char kWebAppPage[] = "<html><head><title>Zelmora</title></head><body>fitting room</body></html>";

std::string DownloadTarget()
{
    return TempFolder() + "Quorel.exe";
}

}  // namespace

std::string WebAppTarget(const char* version)
{
    return std::string(kWebAppPath) + "?ver" + version;
}

void Story::SetUp()
{
    KillQuorelProcesses();
    ResetInstallState();
    DeleteFileA(DownloadTarget().c_str());

    // The shells talk to a fixed port, which the previous test program may still hold for a moment.
    const DWORD start = GetTickCount();
    server = std::make_unique<HttpServer>(TestHostPort());
    while (!server->Ok() && GetTickCount() - start < kWaitMs) {
        server.reset();
        Sleep(250);
        server = std::make_unique<HttpServer>(TestHostPort());
    }
    ASSERT_TRUE(server->Ok()) << "port " << TestHostPort();
    server->SetPrefix(kWebAppPath, HttpResponse{200, "text/html", "", kWebAppPage});
    tempBefore_ = ListFolder(TempFolder());
}

void Story::TearDown()
{
    downloaded.Kill();
    KillQuorelProcesses();
    ResetInstallState();
    DeleteFileA(DownloadTarget().c_str());
    server.reset();
}

void Story::OfferUpdate(const std::string& versionText, const HttpResponse& executable)
{
    server->Set("/update/update.txt", HttpResponse{200, "text/plain", "", versionText});
    server->Set("/update/Quorel.exe", executable);
}

Shell Story::FirstRun(const char* variant)
{
    Shell shell;
    const std::string copy = downloads.File("Quorel.exe");
    if (!CopyTo(VariantExe(variant), copy) || !downloaded.Start(copy, "", downloads.Path())) {
        ADD_FAILURE() << "could not start " << copy;
        return shell;
    }
    if (!downloaded.WaitExit(kWaitMs)) {
        ADD_FAILURE() << "the downloaded copy did not end";
        return shell;
    }
    if (!WaitForProcessOfImage(InstalledExe(), kWaitMs, &shell.pid)) {
        ADD_FAILURE() << "no installed copy was started";
        return shell;
    }
    shell.window = WaitForWindow(kMainCaption, "#32770", kWaitMs, shell.pid);
    if (!shell.window)
        ADD_FAILURE() << "the installed copy opened no window";
    return shell;
}

Shell Story::StartInstalledAgain(ChildProcess& process)
{
    Shell shell;
    if (!process.Start(InstalledExe(), "", InstallFolder())) {
        ADD_FAILURE() << "could not start " << InstalledExe();
        return shell;
    }
    shell.pid = process.Pid();
    shell.window = WaitForWindow(kMainCaption, "#32770", kWaitMs, shell.pid);
    if (!shell.window)
        ADD_FAILURE() << "the second instance opened no window";
    return shell;
}

void Story::FireUpdateTimer(const Shell& shell)
{
    ASSERT_TRUE(PostMessageA(shell.window, WM_TIMER, 1, 0));
}

std::vector<std::string> Story::NewTempEntries() const
{
    // The download folder was made before the snapshot, so only what the shells left counts.
    std::vector<std::string> added;
    for (const std::string& name : ListFolder(TempFolder())) {
        if (std::find(tempBefore_.begin(), tempBefore_.end(), name) == tempBefore_.end())
            added.push_back(name);
    }
    return added;
}

::testing::AssertionResult Answer(DWORD pid, const char* caption, int button, std::string* text)
{
    HWND box = WaitForWindow(caption, "#32770", kWaitMs, pid);
    if (!box)
        return ::testing::AssertionFailure() << "no box \"" << caption << "\" appeared";
    if (text)
        *text = MessageBoxText(box);
    if (!PressButton(box, button))
        return ::testing::AssertionFailure() << "could not press button " << button;
    if (!WaitForWindowGone(box, kWaitMs))
        return ::testing::AssertionFailure() << "the box \"" << caption << "\" stayed";
    return ::testing::AssertionSuccess();
}

bool Settled(HWND window)
{
    DWORD_PTR result = 0;
    return SendMessageTimeoutA(window, WM_NULL, 0, 0, SMTO_NORMAL, kWaitMs, &result) != 0;
}

bool SameImage(const std::string& path, const char* variant)
{
    const std::string image = ReadWholeFile(VariantExe(variant));
    return !image.empty() && ReadWholeFile(path) == image;
}

::testing::AssertionResult IntactInstalledShell(const Shell& shell, const char* variant)
{
    const std::vector<DWORD> running = ProcessesWithImage(InstalledExe());
    if (std::find(running.begin(), running.end(), shell.pid) == running.end())
        return ::testing::AssertionFailure() << "the shell no longer runs";
    if (!IsWindow(shell.window) || !IsWindowVisible(shell.window))
        return ::testing::AssertionFailure() << "the shell's window is gone";
    if (!SameImage(InstalledExe(), variant))
        return ::testing::AssertionFailure() << "the installed copy is not the image of " << variant;
    if (FileExists(InstallFolder() + "OldExecutable.bak"))
        return ::testing::AssertionFailure() << "a backup was made";
    return ::testing::AssertionSuccess();
}
