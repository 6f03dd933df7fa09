// Signed shells accept only their own publisher's programs, in the update and in the self-installation.
// The copies were signed by the build with its throwaway PKI, whose root the prefix trusts.
#include "support/Files.h"
#include "support/HttpServer.h"
#include "support/InstallState.h"
#include "support/Paths.h"
#include "support/Process.h"
#include "support/WindowFinder.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <string>
#include <vector>

namespace {

const DWORD kTimeoutMs = 60000;
const char kMainCaption[] = "Zelmora " QUOREL_TEST_HOST;
const char kFailureText[] = "对不起，更新失败！请手动至http://" QUOREL_TEST_HOST "下载更新程序。";

// "v3201-vendor": the variant signed by that certificate of the test PKI.
std::string Signed(const char* copy)
{
    return WinPath(std::string(QUOREL_SIGNED_DIR "/") + copy + ".exe");
}

// One byte in the middle of the code changed after signing.
std::string Tampered(std::string image)
{
    const IMAGE_DOS_HEADER* dos = reinterpret_cast<const IMAGE_DOS_HEADER*>(image.data());
    const IMAGE_NT_HEADERS* nt = reinterpret_cast<const IMAGE_NT_HEADERS*>(image.data() + dos->e_lfanew);
    const IMAGE_SECTION_HEADER* code = IMAGE_FIRST_SECTION(nt);
    image[code->PointerToRawData + code->SizeOfRawData / 2] ^= 0x01;
    return image;
}

std::vector<std::string> TempEntries()
{
    std::vector<std::string> names = ListFolder(TempFolder());
    std::sort(names.begin(), names.end());
    return names;
}

class SignedShell : public ::testing::Test {
protected:
    void SetUp() override
    {
        // The variants talk to a fixed port, which another test program may still hold for a moment.
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

    // The running copy, or the installed one, of the file at that path.
    void Place(const std::string& from, const std::string& to)
    {
        ASSERT_FALSE(ReadWholeFile(from).empty()) << from;
        ASSERT_TRUE(MakeDirs(to.substr(0, to.rfind('\\') + 1)));
        ASSERT_TRUE(CopyTo(from, to));
    }

    HWND WaitForBox(const char* caption, DWORD pid) { return WaitForWindow(caption, "#32770", kTimeoutMs, pid); }

    void Answer(HWND box, int button)
    {
        ASSERT_NE(nullptr, box);
        ASSERT_TRUE(PressButton(box, button));
        ASSERT_TRUE(WaitForWindowGone(box, kTimeoutMs));
    }

    std::unique_ptr<HttpServer> server;
    TempDir appFolder;
};

TEST_F(SignedShell, UpdateIsSwappedInOnlyFromTheSamePublisher)
{
    const std::string vendorShell = Signed("v3200-vendor");
    const std::string unsignedShell = VariantExe("v3200");
    const struct {
        const char* what;
        std::string running;
        std::string offered;
        bool accepted;
    } cases[] = {
        {"the same publisher", vendorShell, ReadWholeFile(Signed("v3201-vendor")), true},
        {"the publisher's renewed certificate", vendorShell, ReadWholeFile(Signed("v3201-renewed")), true},
        {"unsigned", vendorShell, ReadWholeFile(VariantExe("v3201")), false},
        {"another publisher", vendorShell, ReadWholeFile(Signed("v3201-other")), false},
        {"a self-made copy of the publisher's name", vendorShell, ReadWholeFile(Signed("v3201-impostor")), false},
        {"the publisher's name from an untrusted authority", vendorShell, ReadWholeFile(Signed("v3201-forged")), false},
        {"a byte changed after signing", vendorShell, Tampered(ReadWholeFile(Signed("v3201-vendor"))), false},
        {"an unsigned shell and an unsigned update", unsignedShell, ReadWholeFile(VariantExe("v3201")), true},
    };
    const std::string exePath = appFolder.File("Quorel.exe");
    const std::string backup = appFolder.File("OldExecutable.bak");
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        TearDown();
        DeleteFileA(backup.c_str());
        // The installed copy is newer and placed: the shell neither installs itself nor places shortcuts.
        Place(VariantExe("v3201"), InstalledExe());
        ASSERT_TRUE(WriteWholeFile(MarkerLink(), ""));
        Place(c.running, exePath);
        const std::string runningBytes = ReadWholeFile(exePath);
        server->Set("/update/update.txt", HttpResponse{200, "text/plain", "", "3.2.0.1"});
        server->Set("/update/Quorel.exe", HttpResponse{200, "application/octet-stream", "", c.offered});
        const std::vector<std::string> tempBefore = TempEntries();

        ChildProcess shell;
        ASSERT_TRUE(shell.Start(exePath));
        HWND window = WaitForWindow(kMainCaption, nullptr, kTimeoutMs, shell.Pid());
        ASSERT_NE(nullptr, window);
        ASSERT_TRUE(PostMessageA(window, WM_TIMER, 1, 0));
        Answer(WaitForBox("有新版更新", shell.Pid()), IDYES);

        if (!c.accepted) {
            HWND box = WaitForBox("更新失败！", shell.Pid());
            EXPECT_NE(nullptr, box) << "no failure box";
            if (!box)
                continue;
            EXPECT_EQ(kFailureText, MessageBoxText(box));
            Answer(box, IDOK);
            EXPECT_TRUE(ReadWholeFile(exePath) == runningBytes) << "the program changed";
            EXPECT_FALSE(FileExists(backup));
            EXPECT_EQ(tempBefore, TempEntries());
            EXPECT_TRUE(shell.Running());
            continue;
        }
        HWND box = WaitForBox("更新成功！", shell.Pid());
        EXPECT_NE(nullptr, box) << "no success box";
        if (!box)
            continue;
        Answer(box, IDYES);
        EXPECT_TRUE(shell.WaitExit(kTimeoutMs));
        EXPECT_TRUE(ReadWholeFile(exePath) == c.offered) << "not swapped in";
        EXPECT_TRUE(ReadWholeFile(backup) == runningBytes) << "no backup of the running program";
        DWORD restarted = 0;
        EXPECT_TRUE(WaitForProcessOfImage(exePath, kTimeoutMs, &restarted, shell.Pid()));
        EXPECT_NE(nullptr, WaitForWindow(kMainCaption, nullptr, kTimeoutMs, restarted));
        EXPECT_TRUE(server->WaitFor("/touch/default/type/ipad/source/software?ver3.2.0.1", kTimeoutMs));
    }
}

TEST_F(SignedShell, SignedInstalledCopyGivesWayOnlyToItsPublisher)
{
    const struct {
        const char* what;
        std::string running;
        bool installs;
    } cases[] = {
        {"an unsigned newer copy", VariantExe("v3201"), false},
        {"another publisher's newer copy", Signed("v3201-other"), false},
        {"the publisher's newer copy", Signed("v3201-renewed"), true},
    };
    const std::string installed = ReadWholeFile(Signed("v3200-vendor"));
    const std::string downloaded = appFolder.File("Quorel.exe");
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        TearDown();
        Place(Signed("v3200-vendor"), InstalledExe());
        ASSERT_TRUE(WriteWholeFile(MarkerLink(), ""));
        Place(c.running, downloaded);

        ChildProcess started;
        ASSERT_TRUE(started.Start(downloaded));
        if (c.installs) {
            // It hands over to the installed copy, now its own image, and closes.
            DWORD installedPid = 0;
            EXPECT_TRUE(WaitForProcessOfImage(InstalledExe(), kTimeoutMs, &installedPid));
            EXPECT_TRUE(started.WaitExit(kTimeoutMs));
            EXPECT_TRUE(ReadWholeFile(InstalledExe()) == ReadWholeFile(c.running)) << "not installed";
            continue;
        }
        // As if the installed copy were newer: this copy stays open and nothing is started.
        EXPECT_NE(nullptr, WaitForWindow(kMainCaption, "#32770", kTimeoutMs, started.Pid()));
        EXPECT_TRUE(started.Running());
        EXPECT_TRUE(ProcessesWithImage(InstalledExe()).empty()) << "the installed copy was started";
        EXPECT_TRUE(ReadWholeFile(InstalledExe()) == installed) << "the installed copy changed";
    }
}

}  // namespace
