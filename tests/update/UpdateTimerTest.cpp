// The update timer and the restart, driven in real copies of the shell that talk to the test host.
#include "support/Files.h"
#include "support/HttpServer.h"
#include "support/InstallState.h"
#include "support/Paths.h"
#include "support/Process.h"
#include "support/WindowFinder.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>

namespace {

const DWORD kWindowTimeoutMs = 30000;
const DWORD kExitTimeoutMs = 30000;
// The shell's own timer fires this long after its window was initialised.
const DWORD kUpdateDelayMs = 20000;
const UINT_PTR kUpdateTimerId = 1;
const char kMainCaption[] = "Zelmora " QUOREL_TEST_HOST;
const char kFailureText[] = "对不起，更新失败！请手动至http://" QUOREL_TEST_HOST "下载更新程序。";

// The variants talk to a fixed port, which another test program may still hold for a moment.
std::unique_ptr<HttpServer> ListenOnTestHost()
{
    DWORD start = GetTickCount();
    for (;;) {
        auto server = std::make_unique<HttpServer>(TestHostPort());
        if (server->Ok() || GetTickCount() - start > 60000)
            return server;
        server.reset();
        Sleep(250);
    }
}

// Returns once the window's thread has handled everything posted before, or is inside a modal box.
bool Settled(HWND window)
{
    DWORD_PTR result = 0;
    return SendMessageTimeoutA(window, WM_NULL, 0, 0, SMTO_NORMAL, kWindowTimeoutMs, &result) != 0;
}

class UpdateTimer : public ::testing::Test {
protected:
    void SetUp() override
    {
        KillQuorelProcesses();
        ResetInstallState();
        server = ListenOnTestHost();
        ASSERT_TRUE(server->Ok());
        DeleteFileA(DownloadTarget().c_str());
    }

    void TearDown() override
    {
        KillQuorelProcesses();
        ResetInstallState();
        DeleteFileA(DownloadTarget().c_str());
    }

    // An installed copy whose version keeps the started copy open, with its shortcuts already placed.
    void Install(const char* variant)
    {
        ASSERT_TRUE(MakeDirs(InstallFolder()));
        ASSERT_TRUE(CopyTo(VariantExe(variant), InstalledExe()));
        ASSERT_TRUE(WriteWholeFile(MarkerLink(), ""));
    }

    void Offer(const std::string& version, const std::string& executable)
    {
        server->Set("/update/update.txt", HttpResponse{200, "text/plain", "", version});
        server->Set("/update/Quorel.exe", HttpResponse{200, "application/octet-stream", "", executable});
    }

    // Starts the 3.2.0.0 shell from the app folder, with the current directory elsewhere.
    void StartShell()
    {
        exePath = appFolder.File("Quorel.exe");
        oldBytes = ReadWholeFile(VariantExe("v3200"));
        ASSERT_TRUE(CopyTo(VariantExe("v3200"), exePath));
        started = GetTickCount();
        ASSERT_TRUE(shell.Start(exePath, "", elsewhere.Path()));
        window = WaitForWindow(kMainCaption, nullptr, kWindowTimeoutMs, shell.Pid());
        ASSERT_NE(nullptr, window);
    }

    void FireTimer(UINT_PTR id = kUpdateTimerId) { ASSERT_TRUE(PostMessageA(window, WM_TIMER, id, 0)); }

    HWND WaitForBox(const char* caption) { return WaitForWindow(caption, "#32770", kWindowTimeoutMs, shell.Pid()); }

    void Answer(const char* caption, int button)
    {
        HWND box = WaitForBox(caption);
        ASSERT_NE(nullptr, box) << caption;
        ASSERT_TRUE(PressButton(box, button));
        ASSERT_TRUE(WaitForWindowGone(box, kWindowTimeoutMs));
    }

    bool AnyBoxShown()
    {
        const char* captions[] = {"有新版更新", "更新成功！", "更新失败！"};
        for (const char* caption : captions) {
            if (!FindWindows(caption, "#32770", shell.Pid()).empty())
                return true;
        }
        return false;
    }

    std::string DownloadTarget() const { return TempFolder() + "Quorel.exe"; }

    std::unique_ptr<HttpServer> server;
    TempDir appFolder;
    TempDir elsewhere;
    ChildProcess shell;
    std::string exePath;
    std::string oldBytes;
    HWND window = nullptr;
    DWORD started = 0;
};

TEST_F(UpdateTimer, NothingNewerIsSilentAndTheTimerFiresOnce)
{
    Install("v3200");
    Offer("3.2", ReadWholeFile(VariantExe("v3201")));
    StartShell();
    // Another timer's message goes to default processing only.
    FireTimer(2);
    FireTimer();
    ASSERT_TRUE(server->WaitFor("/update/update.txt", kWindowTimeoutMs));
    ASSERT_TRUE(Settled(window));
    EXPECT_FALSE(AnyBoxShown());
    // The shell's own timer was stopped by the first tick: no second check when its interval is over.
    DWORD waited = GetTickCount() - started;
    DWORD rest = waited < kUpdateDelayMs + 5000 ? kUpdateDelayMs + 5000 - waited : 0;
    EXPECT_FALSE(server->WaitForCount("/update/update.txt", 2, rest));
    EXPECT_EQ(1u, server->Count("/update/update.txt"));
    EXPECT_EQ(0u, server->Count("/update/Quorel.exe"));
    EXPECT_TRUE(shell.Running());
    EXPECT_TRUE(IsWindow(window));
}

TEST_F(UpdateTimer, DeclinedOrFailedDownloadShowsTheFailureBox)
{
    const struct {
        const char* what;
        std::string executable;
        int answer;
    } cases[] = {
        {"declined", ReadWholeFile(VariantExe("v3201")), IDNO},
        {"an HTML page instead of the executable", "<html><body>Service unavailable</body></html>", IDYES},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        KillQuorelProcesses();
        Install("v3200");
        Offer("3.2.0.1", c.executable);
        StartShell();
        FireTimer();
        Answer("有新版更新", c.answer);
        HWND box = WaitForBox("更新失败！");
        ASSERT_NE(nullptr, box);
        EXPECT_EQ(kFailureText, MessageBoxText(box));
        EXPECT_NE(nullptr, GetDlgItem(box, IDOK));
        EXPECT_EQ(nullptr, GetDlgItem(box, IDYES));
        ASSERT_TRUE(PressButton(box, IDOK));
        ASSERT_TRUE(WaitForWindowGone(box, kWindowTimeoutMs));
        ASSERT_TRUE(Settled(window));
        EXPECT_TRUE(shell.Running());
        EXPECT_TRUE(ReadWholeFile(exePath) == oldBytes);
        EXPECT_FALSE(FileExists(appFolder.File("OldExecutable.bak")));
        EXPECT_FALSE(FileExists(DownloadTarget()));
    }
}

TEST_F(UpdateTimer, AcceptedRestartStartsTheNewVersionFromItsOwnPath)
{
    // Installed at 3.2.0.1, so neither the old nor the new copy installs itself.
    Install("v3201");
    const std::string newer = ReadWholeFile(VariantExe("v3201"));
    Offer("3.2.0.1", newer);
    // A file of the same name in the current directory must never be started instead.
    const std::string decoy = elsewhere.File("Quorel.exe");
    ASSERT_TRUE(CopyTo(VariantExe("v3210"), decoy));
    StartShell();
    ASSERT_TRUE(server->WaitFor("/touch/default/type/ipad/source/software?ver3.2", kWindowTimeoutMs));

    FireTimer();
    Answer("有新版更新", IDYES);
    HWND box = WaitForBox("更新成功！");
    ASSERT_NE(nullptr, box);
    EXPECT_EQ("更新成功！是否立刻重新启动程序以使更新生效？", MessageBoxText(box));
    ASSERT_TRUE(PressButton(box, IDYES));

    EXPECT_TRUE(WaitForWindowGone(window, kExitTimeoutMs));
    EXPECT_TRUE(shell.WaitExit(kExitTimeoutMs));
    DWORD newPid = 0;
    ASSERT_TRUE(WaitForProcessOfImage(exePath, kExitTimeoutMs, &newPid, shell.Pid()));
    EXPECT_NE(nullptr, WaitForWindow(kMainCaption, nullptr, kWindowTimeoutMs, newPid));
    EXPECT_TRUE(server->WaitFor("/touch/default/type/ipad/source/software?ver3.2.0.1", kWindowTimeoutMs));
    EXPECT_TRUE(ReadWholeFile(exePath) == newer);
    EXPECT_TRUE(ReadWholeFile(appFolder.File("OldExecutable.bak")) == oldBytes);
    EXPECT_TRUE(ProcessesWithImage(decoy).empty());
}

TEST_F(UpdateTimer, DeclinedRestartKeepsTheProgramRunning)
{
    Install("v3201");
    const std::string newer = ReadWholeFile(VariantExe("v3201"));
    Offer("3.2.0.1", newer);
    StartShell();
    FireTimer();
    Answer("有新版更新", IDYES);
    Answer("更新成功！", IDNO);
    ASSERT_TRUE(Settled(window));
    EXPECT_TRUE(shell.Running());
    EXPECT_TRUE(IsWindow(window));
    // The swap stays: the next start runs the new executable.
    EXPECT_TRUE(ReadWholeFile(exePath) == newer);
    EXPECT_TRUE(ReadWholeFile(appFolder.File("OldExecutable.bak")) == oldBytes);
    std::vector<DWORD> running = ProcessesWithImage(exePath);
    EXPECT_TRUE(running.empty() || (running.size() == 1 && running[0] == shell.Pid()));
}

TEST_F(UpdateTimer, ClosingWithoutARestartStartsNothing)
{
    Install("v3200");
    StartShell();
    ASSERT_TRUE(PostMessageA(window, WM_CLOSE, 0, 0));
    EXPECT_TRUE(shell.WaitExit(kExitTimeoutMs));
    EXPECT_TRUE(ProcessesNamed("Quorel.exe").empty());
    EXPECT_EQ(0u, server->Count("/update/update.txt"));
}

}
