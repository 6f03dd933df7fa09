// A copy that cannot install itself stays the user's window, and places no shortcut to a missing file.
#include <gtest/gtest.h>

#include <windows.h>

#include <string>

#include "support/Files.h"
#include "support/InstallState.h"
#include "support/Paths.h"
#include "support/Process.h"
#include "support/WindowFinder.h"

namespace {

const DWORD kTimeoutMs = 30000;
const char kMainCaption[] = "Zelmora " QUOREL_TEST_HOST;

class InstallFailure : public ::testing::Test {
protected:
    void SetUp() override { Reset(); }
    void TearDown() override { Reset(); }
    void Reset()
    {
        KillQuorelProcesses();
        DeleteFileA(blocker.c_str());
        ResetInstallState();
    }

    // The install folder's own name taken by a file: the folder can be neither created nor written.
    const std::string blocker = InstallFolder().substr(0, InstallFolder().size() - 1);
    TempDir downloads;
};

TEST_F(InstallFailure, AnUnwritableInstallFolderWithNothingInstalledKeepsTheRunningCopyOpen)
{
    ASSERT_TRUE(WriteWholeFile(blocker, "not a folder"));
    const std::string exe = downloads.File("Quorel.exe");
    ASSERT_TRUE(CopyTo(VariantExe("v3201"), exe));
    ChildProcess started;
    ASSERT_TRUE(started.Start(exe));
    // A copy that closes itself does so inside its initialisation, before its window is shown.
    ASSERT_NE(nullptr, WaitForWindow(kMainCaption, "#32770", kTimeoutMs, started.Pid()));
    EXPECT_TRUE(started.Running());
    EXPECT_FALSE(FileExists(InstalledExe()));
    for (const std::string& link : Shortcuts().Links())
        EXPECT_FALSE(FileExists(link)) << link;
}

}
