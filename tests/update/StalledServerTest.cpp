// A silent, a trickling and a short-changing update server, met by a real copy of the shell: every case ends
// within its limit, with its result, and the window keeps answering messages all along.
#include "support/Files.h"
#include "support/HttpServer.h"
#include "support/InstallState.h"
#include "support/Paths.h"
#include "support/Process.h"
#include "support/WindowFinder.h"
#include "update/TransferLimits.h"

#include <gtest/gtest.h>

#include <atomic>
#include <memory>
#include <string>
#include <thread>

namespace {

const DWORD kTimeoutMs = 60000;
const char kMainCaption[] = "Zelmora " QUOREL_TEST_HOST;
const char kAboutCaption[] = "关于 Tovrask";
const UINT kAboutCommand = 0x0010;
// A message box takes up to 2 s to come up under Wine; and the polling for it.
const DWORD kSlackMs = 4000;

// QUOREL_SHIPPED_LIMITS=1 runs the cases against a copy built with the shipped limits, to measure them.
bool ShippedLimits()
{
    char value[8] = "";
    return GetEnvironmentVariableA("QUOREL_SHIPPED_LIMITS", value, sizeof(value)) && value[0] == '1';
}
DWORD Limit(DWORD shippedMs) { return ShippedLimits() ? shippedMs : shippedMs / QUOREL_TEST_LIMIT_DIVISOR; }

// Pings the window with sent messages and keeps the longest wait for an answer.
class FreezeMeter {
public:
    explicit FreezeMeter(HWND window) : thread_([this, window] {
        while (!stop_) {
            const DWORD start = GetTickCount();
            DWORD_PTR result = 0;
            SendMessageTimeoutA(window, WM_NULL, 0, 0, SMTO_NORMAL, kTimeoutMs, &result);
            const DWORD waited = GetTickCount() - start;
            if (waited > longest_)
                longest_ = waited;
            Sleep(20);  // a pace for the pings, not a synchronisation
        }
    }) {}
    ~FreezeMeter() { Stop(); }
    DWORD Stop()
    {
        stop_ = true;
        if (thread_.joinable())
            thread_.join();
        return longest_;
    }

private:
    std::atomic<bool> stop_{false};
    std::atomic<DWORD> longest_{0};
    std::thread thread_;
};

enum class Stage { VersionFile, AfterYes };

struct StallCase {
    const char* what;
    Stage stage;
    HttpResponse response;  // for the version file or the executable
    DWORD boundMs;          // from the timer (or the Yes) to the end
};

class StalledServer : public ::testing::Test {
protected:
    void SetUp() override
    {
        const DWORD start = GetTickCount();
        server = std::make_unique<HttpServer>(TestHostPort());
        while (!server->Ok() && GetTickCount() - start < kTimeoutMs) {
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

    void Run(const StallCase& c)
    {
        SCOPED_TRACE(c.what);
        TearDown();
        server->ClearScripts();
        // A newer copy installed with its shortcuts: the started copy neither installs nor places anything.
        ASSERT_TRUE(MakeDirs(InstallFolder()));
        ASSERT_TRUE(CopyTo(VariantExe("v3201"), InstalledExe()));
        ASSERT_TRUE(WriteWholeFile(MarkerLink(), ""));
        const std::string newer = ReadWholeFile(VariantExe("v3201"));
        server->Set("/update/update.txt",
                    c.stage == Stage::VersionFile ? c.response : HttpResponse{200, "text/plain", "", "3.2.0.1"});
        HttpResponse exe = c.stage == Stage::AfterYes ? c.response : HttpResponse{};
        exe.body = newer;
        server->Set("/update/Quorel.exe", exe);

        const char* variant = ShippedLimits() ? "v3200shipped" : "v3200";
        const std::string exePath = folder.File("Quorel.exe");
        ASSERT_TRUE(CopyTo(VariantExe(variant), exePath));
        const std::string oldBytes = ReadWholeFile(exePath);
        ChildProcess shell;
        ASSERT_TRUE(shell.Start(exePath));
        HWND window = WaitForWindow(kMainCaption, nullptr, kTimeoutMs, shell.Pid());
        ASSERT_NE(nullptr, window);

        FreezeMeter meter(window);
        DWORD start = GetTickCount();
        ASSERT_TRUE(PostMessageA(window, WM_TIMER, 1, 0));
        HWND end = nullptr;
        if (c.stage == Stage::AfterYes) {
            HWND question = WaitForWindow("有新版更新", "#32770", kTimeoutMs, shell.Pid());
            ASSERT_NE(nullptr, question);
            start = GetTickCount();
            ASSERT_TRUE(PressButton(question, IDYES));
            end = WaitForWindow("更新失败！", "#32770", kTimeoutMs, shell.Pid());
        } else {
            // Posted, the About command is handled only once the update has returned; no box came before it.
            ASSERT_TRUE(PostMessageA(window, WM_SYSCOMMAND, kAboutCommand, 0));
            end = WaitForWindow(kAboutCaption, "#32770", kTimeoutMs, shell.Pid());
            for (const char* caption : {"有新版更新", "更新成功！", "更新失败！"})
                EXPECT_TRUE(FindWindows(caption, "#32770", shell.Pid()).empty()) << caption;
        }
        const DWORD took = GetTickCount() - start;
        const DWORD freeze = meter.Stop();
        ASSERT_NE(nullptr, end) << "no end after " << took << " ms";
        printf("[ freeze   ] %s: ended after %lu ms, window unanswered for at most %lu ms\n", c.what, took, freeze);
        EXPECT_LE(took, c.boundMs + kSlackMs);
        EXPECT_LE(freeze, Limit(kBlockLimitMs)) << "the window stopped answering for longer than a block may take";
        ASSERT_TRUE(PressButton(end, IDOK));
        ASSERT_TRUE(WaitForWindowGone(end, kTimeoutMs));
        DWORD_PTR result = 0;
        EXPECT_NE(0, SendMessageTimeoutA(window, WM_NULL, 0, 0, SMTO_NORMAL, 5000, &result)) << "the window hangs";
        EXPECT_TRUE(shell.Running());
        EXPECT_TRUE(ReadWholeFile(exePath) == oldBytes) << "the program changed";
        EXPECT_FALSE(FileExists(folder.File("OldExecutable.bak")));
        EXPECT_FALSE(FileExists(TempFolder() + "Quorel.exe")) << "left in the temporary folder";
    }

    std::unique_ptr<HttpServer> server;
    TempDir folder;
};

HttpResponse Stalling()
{
    HttpResponse r;
    r.stall = true;
    return r;
}

HttpResponse Trickling(DWORD ms)
{
    HttpResponse r{200, "application/octet-stream", "", ""};
    r.trickleMs = ms;
    return r;
}

TEST_F(StalledServer, EveryCaseEndsWithinItsLimitAndTheWindowKeepsAnswering)
{
    HttpResponse halfSent{200, "application/octet-stream", "", ""};
    // The whole executable, announced as twice its size, then a clean close.
    halfSent.contentLength = ReadWholeFile(VariantExe("v3201")).size() * 2;
    const StallCase cases[] = {
        {"version file never answered", Stage::VersionFile, Stalling(), Limit(kAnswerLimitMs)},
        // Headers, then nothing: the first byte would come after the server has stopped.
        {"executable silent after Yes", Stage::AfterYes, Trickling(INFINITE), Limit(kSilenceLimitMs)},
        // A byte every 2 s with the shipped limits; the block's limit is noticed at the next byte.
        {"executable trickling after Yes", Stage::AfterYes, Trickling(Limit(kBlockLimitMs) / 15),
         Limit(kBlockLimitMs) + Limit(kBlockLimitMs) / 15},
        {"executable half its Content-Length", Stage::AfterYes, halfSent, 0},
    };
    for (const StallCase& c : cases)
        Run(c);
}

}
