#include "InstallScenario.h"

#include <shellapi.h>

#include "support/Paths.h"
#include "support/ShellLinks.h"
#include "support/WindowFinder.h"

namespace {

using ShortcutPlacement = InstallScenario;

std::string LessExtension(const std::string& path)
{
    return path.substr(0, path.size() - 4);
}

ULONGLONG LastWriteTime(const std::string& path)
{
    WIN32_FILE_ATTRIBUTE_DATA data = {};
    if (!GetFileAttributesExA(path.c_str(), GetFileExInfoStandard, &data))
        return 0;
    return (static_cast<ULONGLONG>(data.ftLastWriteTime.dwHighDateTime) << 32) | data.ftLastWriteTime.dwLowDateTime;
}

// Starts the installed copy the way the install step does and waits until its window is open,
// which is after its placement has run.
::testing::AssertionResult RunInstalledCopy(ChildProcess& installed)
{
    if (!installed.Start(InstalledExe(), InstalledExe()))
        return ::testing::AssertionFailure() << "cannot start " << InstalledExe();
    return StayedOpen(installed);
}

TEST_F(ShortcutPlacement, TheInstalledCopyPlacesEveryShortcutMarkerFirst)
{
    ChildProcess first;
    ASSERT_TRUE(first.Start(PlaceCopy("v3200")));
    ASSERT_TRUE(HandedOverToInstalledCopy(first, "v3200"));

    EXPECT_TRUE(AllShortcutsPlaced(InstalledExe(), LessExtension(InstalledExe())));
    const ShortcutPaths s = Shortcuts();
    const ULONGLONG marker = LastWriteTime(s.marker);
    for (const std::string& link : s.Links()) {
        if (FileExists(link)) {
            EXPECT_LE(marker, LastWriteTime(link)) << link << " was written before the marker";
        }
    }
}

TEST_F(ShortcutPlacement, ACopyFromElsewhereNamesItsOwnFileInTheInstallFolder)
{
    for (const char* name : {"Zelmora-Setup (2).exe", "乗Quorel.exe"}) {
        SCOPED_TRACE(name);
        KillQuorelProcesses();
        ResetInstallState();
        Preinstall("v3200");
        const std::string exe = PlaceCopy("v3200", name);
        ChildProcess started;
        ASSERT_TRUE(started.Start(exe));
        EXPECT_TRUE(StayedOpen(started));
        EXPECT_TRUE(AllShortcutsPlaced(InstallFolder() + name, LessExtension(exe)));
    }
}

TEST_F(ShortcutPlacement, WithTheMarkerPresentNothingIsWritten)
{
    Preinstall("v3200");
    ASSERT_TRUE(WriteLink(MarkerLink(), InstalledExe()));
    ChildProcess started;
    ASSERT_TRUE(started.Start(PlaceCopy("v3200")));
    EXPECT_TRUE(StayedOpen(started));
    EXPECT_EQ(Shortcuts().marker + "; ", ExistingShortcuts());
    EXPECT_FALSE(DirExists(Shortcuts().commonGroup));
    EXPECT_FALSE(DirExists(Shortcuts().group));
}

TEST_F(ShortcutPlacement, WithTheMarkerDeletedEveryShortcutIsPlacedAgain)
{
    for (bool groupsKept : {true, false}) {
        SCOPED_TRACE(groupsKept ? "program groups kept" : "program groups deleted");
        KillQuorelProcesses();
        ResetInstallState();
        Preinstall("v3200");
        {
            ChildProcess installed;
            ASSERT_TRUE(RunInstalledCopy(installed));
            ASSERT_TRUE(AllShortcutsPlaced(InstalledExe(), LessExtension(InstalledExe())));
        }
        const ShortcutPaths s = Shortcuts();
        for (const std::string& link : s.Links())
            RemoveTree(link);
        if (!groupsKept) {
            RemoveTree(s.commonGroup);
            RemoveTree(s.group);
        }

        ChildProcess installed;
        ASSERT_TRUE(RunInstalledCopy(installed));
        EXPECT_TRUE(AllShortcutsPlaced(InstalledExe(), LessExtension(InstalledExe())));
    }
}

TEST_F(ShortcutPlacement, QuickLaunchGetsAShortcutOnlyWhereItsFolderExists)
{
    const std::string quickLaunch = Shortcuts().quickLaunchFolder;
    const bool hadQuickLaunch = DirExists(quickLaunch);
    for (bool exists : {false, true}) {
        SCOPED_TRACE(exists ? "Quick Launch folder present" : "no Quick Launch folder");
        KillQuorelProcesses();
        ResetInstallState();
        if (exists)
            ASSERT_TRUE(MakeDirs(quickLaunch));
        else
            RemoveTree(quickLaunch);
        Preinstall("v3200");

        ChildProcess installed;
        ASSERT_TRUE(RunInstalledCopy(installed));
        EXPECT_TRUE(AllShortcutsPlaced(InstalledExe(), LessExtension(InstalledExe())));
        EXPECT_EQ(exists, DirExists(quickLaunch));
        EXPECT_EQ(exists, FileExists(Shortcuts().quickLaunch));
    }
    if (!hadQuickLaunch)
        RemoveTree(quickLaunch);
}

TEST_F(ShortcutPlacement, TheDesktopShortcutStartsTheProgramThroughTheShell)
{
    Preinstall("v3200");
    {
        ChildProcess installed;
        ASSERT_TRUE(RunInstalledCopy(installed));
    }
    const std::string desktopLink = Shortcuts().desktop;
    ASSERT_TRUE(FileExists(desktopLink));
    ASSERT_TRUE(ProcessesWithImage(InstalledExe()).empty());

    const HINSTANCE result = ShellExecuteA(nullptr, "open", desktopLink.c_str(), nullptr, nullptr, SW_SHOWNORMAL);
    EXPECT_GT(reinterpret_cast<INT_PTR>(result), 32);
    DWORD pid = 0;
    ASSERT_TRUE(WaitForProcessOfImage(InstalledExe(), kScenarioTimeoutMs, &pid)) << "nothing started";
    EXPECT_NE(nullptr, WaitForWindow(kMainCaption, "#32770", kScenarioTimeoutMs, pid));
}

}  // namespace
