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

const DWORD kTimeoutMs = 30000;
// The shell's own timer fires this long after its window was initialised.
const DWORD kUpdateDelayMs = 20000;
const char kMainCaption[] = "Zelmora " QUOREL_TEST_HOST;

// Returns once the window's thread has handled everything posted before, or is inside a modal box.
bool Settled(HWND window)
{
    DWORD_PTR result = 0;
    return SendMessageTimeoutA(window, WM_NULL, 0, 0, SMTO_NORMAL, kTimeoutMs, &result) != 0;
}

class UpdateTimer : public ::testing::Test {
protected:
    void SetUp() override
    {
        // The variants talk to a fixed port, which another test program may still hold for a moment.
        const DWORD start = GetTickCount();
        server = std::make_unique<HttpServer>(TestHostPort());
        while (!server->Ok() && GetTickCount() - start < 60000) {
            server.reset();
            Sleep(250);
            server = std::make_unique<HttpServer>(TestHostPort());
        }
        ASSERT_TRUE(server->Ok());
        TearDown();
    }

    void TearDown() override
    {
        KillQuorelProcesses();
        ResetInstallState();
        DeleteFileA((TempFolder() + "Quorel.exe").c_str());
    }

    // Starts the 3.2.0.0 shell from the app folder, the current directory elsewhere. The installed copy, with
    // its shortcuts placed, is at 3.2.0.1: neither the old nor a new copy installs itself.
    void StartShell(const std::string& version, const std::string& executable)
    {
        KillQuorelProcesses();
        ASSERT_TRUE(MakeDirs(InstallFolder()));
        ASSERT_TRUE(CopyTo(VariantExe("v3201"), InstalledExe()));
        ASSERT_TRUE(WriteWholeFile(MarkerLink(), ""));
        server->Set("/update/update.txt", HttpResponse{200, "text/plain", "", version});
        server->Set("/update/Quorel.exe", HttpResponse{200, "application/octet-stream", "", executable});
        exePath = appFolder.File("Quorel.exe");
        oldBytes = ReadWholeFile(VariantExe("v3200"));
        ASSERT_TRUE(CopyTo(VariantExe("v3200"), exePath));
        DeleteFileA(appFolder.File("OldExecutable.bak").c_str());
        started = GetTickCount();
        ASSERT_TRUE(shell.Start(exePath, "", elsewhere.Path()));
        window = WaitForWindow(kMainCaption, nullptr, kTimeoutMs, shell.Pid());
        ASSERT_NE(nullptr, window);
    }

    void FireTimer(UINT_PTR id = 1) { ASSERT_TRUE(PostMessageA(window, WM_TIMER, id, 0)); }

    HWND WaitForBox(const char* caption) { return WaitForWindow(caption, "#32770", kTimeoutMs, shell.Pid()); }

    void Answer(HWND box, int button)
    {
        ASSERT_NE(nullptr, box);
        ASSERT_TRUE(PressButton(box, button));
        ASSERT_TRUE(WaitForWindowGone(box, kTimeoutMs));
    }

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
    StartShell("3.2", ReadWholeFile(VariantExe("v3201")));
    // Another timer's message goes to default processing only.
    FireTimer(2);
    FireTimer();
    ASSERT_TRUE(server->WaitFor("/update/update.txt", kTimeoutMs));
    ASSERT_TRUE(Settled(window));
    for (const char* caption : {"有新版更新", "更新成功！", "更新失败！"})
        EXPECT_TRUE(FindWindows(caption, "#32770", shell.Pid()).empty()) << caption;
    // The first tick stopped the shell's own timer: no second check when its interval is over.
    const DWORD waited = GetTickCount() - started;
    const DWORD rest = waited < kUpdateDelayMs + 5000 ? kUpdateDelayMs + 5000 - waited : 0;
    EXPECT_FALSE(server->WaitForCount("/update/update.txt", 2, rest));
    EXPECT_EQ(1u, server->Count("/update/update.txt"));
    EXPECT_EQ(0u, server->Count("/update/Quorel.exe"));
    EXPECT_TRUE(IsWindow(window));
}

TEST_F(UpdateTimer, ResultBoxesAndTheRestart)
{
    const std::string newer = ReadWholeFile(VariantExe("v3201"));
    // A file of the same name in the current directory must never be started instead.
    const std::string decoy = elsewhere.File("Quorel.exe");
    ASSERT_TRUE(CopyTo(VariantExe("v3210"), decoy));
    const char kFailed[] = "更新失败！";
    const char kFailureText[] = "对不起，更新失败！请手动至http://" QUOREL_TEST_HOST "下载更新程序。";
    const char kSucceeded[] = "更新成功！";
    const char kSuccessText[] = "更新成功！是否立刻重新启动程序以使更新生效？";
    const struct {
        const char* what;
        std::string executable;
        int download;  // the answer to the question
        const char* caption;
        const char* text;
        int answer;  // to the result box
    } cases[] = {
        {"download declined", newer, IDNO, kFailed, kFailureText, IDOK},
        {"an HTML page instead of the executable", "<html>Service unavailable</html>", IDYES, kFailed, kFailureText,
         IDOK},
        {"restart declined", newer, IDYES, kSucceeded, kSuccessText, IDNO},
        {"restart accepted", newer, IDYES, kSucceeded, kSuccessText, IDYES},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        StartShell("3.2.0.1", c.executable);
        FireTimer();
        Answer(WaitForBox("有新版更新"), c.download);
        HWND box = WaitForBox(c.caption);
        ASSERT_NE(nullptr, box);
        EXPECT_EQ(c.text, MessageBoxText(box));
        EXPECT_EQ(c.answer != IDOK, GetDlgItem(box, IDYES) != nullptr);
        Answer(box, c.answer);
        const bool swapped = c.caption == kSucceeded;
        EXPECT_TRUE(ReadWholeFile(exePath) == (swapped ? newer : oldBytes));
        EXPECT_TRUE(ReadWholeFile(appFolder.File("OldExecutable.bak")) == (swapped ? oldBytes : ""));
        if (c.answer != IDYES) {
            // The program goes on; closed later, it starts nothing.
            ASSERT_TRUE(Settled(window));
            EXPECT_TRUE(shell.Running());
            ASSERT_TRUE(PostMessageA(window, WM_CLOSE, 0, 0));
            EXPECT_TRUE(shell.WaitExit(kTimeoutMs));
            EXPECT_TRUE(ProcessesNamed("Quorel.exe").empty());
            continue;
        }
        // The old window closes and the new version starts from the running file's own path.
        EXPECT_TRUE(shell.WaitExit(kTimeoutMs));
        DWORD newPid = 0;
        ASSERT_TRUE(WaitForProcessOfImage(exePath, kTimeoutMs, &newPid, shell.Pid()));
        EXPECT_NE(nullptr, WaitForWindow(kMainCaption, nullptr, kTimeoutMs, newPid));
        EXPECT_TRUE(server->WaitFor("/touch/default/type/ipad/source/software?ver3.2.0.1", kTimeoutMs));
        EXPECT_TRUE(ProcessesWithImage(decoy).empty());
    }
}

}
