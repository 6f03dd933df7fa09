#include "InstallScenario.h"

#include "support/Paths.h"
#include "support/ShellLinks.h"
#include "support/WindowFinder.h"

const char kMainCaption[] = "Zelmora " QUOREL_TEST_HOST;

void InstallScenario::SetUp()
{
    KillQuorelProcesses();
    ResetInstallState();
}

void InstallScenario::TearDown()
{
    KillQuorelProcesses();
    ResetInstallState();
}

std::string InstallScenario::PlaceCopy(const char* variant, const std::string& name)
{
    const std::string path = downloads.File(name);
    EXPECT_TRUE(CopyTo(VariantExe(variant), path)) << path;
    return path;
}

void InstallScenario::Preinstall(const char* variant)
{
    ASSERT_TRUE(MakeDirs(InstallFolder()));
    ASSERT_TRUE(CopyTo(VariantExe(variant), InstalledExe()));
}

::testing::AssertionResult HandedOverToInstalledCopy(ChildProcess& started, const char* variant)
{
    if (!started.WaitExit(kScenarioTimeoutMs))
        return ::testing::AssertionFailure() << "the started copy is still running";
    ::testing::AssertionResult image = InstalledImageIs(variant);
    if (!image)
        return image;
    DWORD pid = 0;
    if (!WaitForProcessOfImage(InstalledExe(), kScenarioTimeoutMs, &pid))
        return ::testing::AssertionFailure() << "the installed copy was not started";
    if (!WaitForWindow(kMainCaption, "#32770", kScenarioTimeoutMs, pid))
        return ::testing::AssertionFailure() << "the installed copy opened no window";
    return ::testing::AssertionSuccess();
}

::testing::AssertionResult StayedOpen(ChildProcess& started)
{
    if (!WaitForWindow(kMainCaption, "#32770", kScenarioTimeoutMs, started.Pid()))
        return ::testing::AssertionFailure() << "no window of the started copy (exit code "
                                             << started.ExitCode() << ")";
    if (!started.Running())
        return ::testing::AssertionFailure() << "the started copy ended";
    for (DWORD pid : ProcessesWithImage(InstalledExe())) {
        if (pid != started.Pid())
            return ::testing::AssertionFailure() << "an installed copy was started";
    }
    return ::testing::AssertionSuccess();
}

::testing::AssertionResult InstalledImageIs(const char* variant)
{
    if (variant == nullptr) {
        if (FileExists(InstalledExe()))
            return ::testing::AssertionFailure() << "something was installed";
        return ::testing::AssertionSuccess();
    }
    if (ReadWholeFile(InstalledExe()) != ReadWholeFile(VariantExe(variant)))
        return ::testing::AssertionFailure() << "the installed copy is not the whole image of " << variant;
    for (const std::string& name : ListFolder(InstallFolder())) {
        if (name != "Quorel.exe" && name != " Zelmora.lnk")
            return ::testing::AssertionFailure() << "left in the install folder: " << name;
    }
    return ::testing::AssertionSuccess();
}

::testing::AssertionResult AllShortcutsPlaced(const std::string& target, const std::string& desktopTarget)
{
    const ShortcutPaths s = Shortcuts();
    const bool quickLaunch = DirExists(s.quickLaunchFolder);
    for (const std::string& link : s.Links()) {
        if (link == s.quickLaunch && !quickLaunch)
            continue;
        const LinkInfo info = ReadLink(link);
        if (!info.ok)
            return ::testing::AssertionFailure() << "missing: " << link;
        const std::string& expected = link == s.desktop ? desktopTarget : target;
        if (info.path != expected || !info.arguments.empty())
            return ::testing::AssertionFailure()
                   << link << " -> " << info.path << " [" << info.arguments << "], expected " << expected;
    }
    if (!DirExists(s.commonGroup) || !DirExists(s.group))
        return ::testing::AssertionFailure() << "a program group is missing";
    return ::testing::AssertionSuccess();
}

std::string ExistingShortcuts()
{
    std::string found;
    for (const std::string& link : Shortcuts().Links()) {
        if (FileExists(link))
            found += link + "; ";
    }
    return found;
}
