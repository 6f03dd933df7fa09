// The user downloads Quorel.exe and starts it: it installs itself and the installed copy takes over.
#include "e2e/Story.h"

#include "support/InstallState.h"
#include "support/Paths.h"
#include "support/ShellLinks.h"
#include "support/WindowFinder.h"

namespace {

// The desktop shortcut names the installed executable without its extension; the others name it whole.
bool PointsAtInstalledCopy(const std::string& target)
{
    const std::string exe = InstalledExe();
    return lstrcmpiA(target.c_str(), exe.c_str()) == 0 ||
           lstrcmpiA((target + ".exe").c_str(), exe.c_str()) == 0;
}

}  // namespace

using InstallStory = Story;

TEST_F(InstallStory, FirstRunFromADownloadFolderHandsOverToTheInstalledCopy)
{
    // The downloaded copy ended, and a process of the install path holds the window.
    const Shell installed = FirstRun("v3200");
    ASSERT_TRUE(installed.window);
    EXPECT_NE(downloaded.Pid(), installed.pid);

    EXPECT_TRUE(SameImage(InstalledExe(), "v3200"));
    // Both the downloaded copy and the installed copy open the web application as 3.2.
    EXPECT_TRUE(server->WaitForCount(WebAppTarget("3.2"), 2, kWaitMs)) << server->Count(WebAppTarget("3.2"));
    EXPECT_EQ(0u, server->CountPrefix("/update/"));

    const ShortcutPaths links = Shortcuts();
    EXPECT_TRUE(DirExists(links.commonGroup));
    EXPECT_TRUE(DirExists(links.group));
    for (const std::string& link : links.Links()) {
        if (link == links.quickLaunch && !DirExists(links.quickLaunchFolder))
            continue;
        const LinkInfo info = ReadLink(link);
        EXPECT_TRUE(info.ok) << link;
        EXPECT_TRUE(PointsAtInstalledCopy(info.path)) << link << " -> " << info.path;
        EXPECT_EQ("", info.arguments) << link;
    }
}

TEST_F(InstallStory, AnOlderDownloadLeavesTheNewerInstalledCopyAlone)
{
    ASSERT_TRUE(MakeDirs(InstallFolder()));
    ASSERT_TRUE(CopyTo(VariantExe("v3201"), InstalledExe()));

    const std::string copy = downloads.File("Quorel.exe");
    ASSERT_TRUE(CopyTo(VariantExe("v3200"), copy));
    ASSERT_TRUE(downloaded.Start(copy, "", downloads.Path()));

    EXPECT_TRUE(WaitForWindow(kMainCaption, "#32770", kWaitMs, downloaded.Pid()));
    EXPECT_TRUE(server->WaitFor(WebAppTarget("3.2"), kWaitMs));
    EXPECT_TRUE(downloaded.Running());
    EXPECT_TRUE(ProcessesWithImage(InstalledExe()).empty()) << "the installed copy was started";
    EXPECT_TRUE(SameImage(InstalledExe(), "v3201"));
    for (const std::string& name : ListFolder(InstallFolder()))
        EXPECT_TRUE(name == "Quorel.exe" || name == " Zelmora.lnk") << "left in the install folder: " << name;
}
