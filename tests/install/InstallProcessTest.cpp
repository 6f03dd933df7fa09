// Throwaway copies of Quorel.exe against the prefix's install location and shortcut folders.
#include <gtest/gtest.h>

#include <windows.h>
#include <shellapi.h>

#include <string>

#include "support/Files.h"
#include "support/InstallState.h"
#include "support/Paths.h"
#include "support/Process.h"
#include "support/ShellLinks.h"
#include "support/WindowFinder.h"

namespace {

const DWORD kTimeoutMs = 30000;
const char kMainCaption[] = "Zelmora " QUOREL_TEST_HOST;

std::string LessExtension(const std::string& path)
{
    return path.substr(0, path.size() - 4);
}

// The install path holds exactly this variant's image (nothing for nullptr); the install folder holds
// nothing else but the marker.
void ExpectInstalled(const char* variant)
{
    EXPECT_TRUE(ReadWholeFile(InstalledExe()) == (variant ? ReadWholeFile(VariantExe(variant)) : ""))
        << "the installed copy is not the whole image of " << (variant ? variant : "nothing");
    for (const std::string& name : ListFolder(InstallFolder()))
        EXPECT_TRUE(name == "Quorel.exe" || name == " Zelmora.lnk") << "left in the install folder: " << name;
}

// The started copy opened its window, which is after its placement, and kept it; no other installed copy started.
void ExpectStayedOpen(ChildProcess& started)
{
    ASSERT_NE(nullptr, WaitForWindow(kMainCaption, "#32770", kTimeoutMs, started.Pid())) << started.ExitCode();
    EXPECT_TRUE(started.Running());
    for (DWORD pid : ProcessesWithImage(InstalledExe()))
        EXPECT_EQ(started.Pid(), pid) << "an installed copy was started";
}

// Every shortcut (the marker's and Quick Launch's exactly where their folders exist) resolves to target, the
// desktop one to desktopTarget, with no arguments; both program groups exist.
void ExpectAllShortcuts(const std::string& target, const std::string& desktopTarget)
{
    const ShortcutPaths s = Shortcuts();
    for (const std::string& link : s.Links()) {
        const LinkInfo info = ReadLink(link);
        if ((link == s.quickLaunch && !DirExists(s.quickLaunchFolder)) ||
            (link == s.marker && !DirExists(InstallFolder()))) {
            EXPECT_FALSE(info.ok) << link;
            continue;
        }
        EXPECT_TRUE(info.ok) << link;
        EXPECT_EQ(link == s.desktop ? desktopTarget : target, info.path) << link;
        EXPECT_EQ("", info.arguments) << link;
    }
    EXPECT_TRUE(DirExists(s.commonGroup) && DirExists(s.group));
}

std::string ExistingShortcuts()
{
    std::string found;
    for (const std::string& link : Shortcuts().Links())
        found += FileExists(link) ? link + "; " : "";
    return found;
}

ULONGLONG LastWriteTime(const std::string& path)
{
    WIN32_FILE_ATTRIBUTE_DATA data = {};
    GetFileAttributesExA(path.c_str(), GetFileExInfoStandard, &data);
    return (ULONGLONG(data.ftLastWriteTime.dwHighDateTime) << 32) | data.ftLastWriteTime.dwLowDateTime;
}

// Points the prefix's common application-data folder elsewhere for as long as it lives.
class CommonAppDataOverride {
public:
    explicit CommonAppDataOverride(const std::string& value)
        : saved_(RegGetValueA(HKEY_LOCAL_MACHINE, kKey, kValue, RRF_RT_ANY | RRF_NOEXPAND, &type_, old_, &size_) ==
                 ERROR_SUCCESS),
          ok_(RegSetKeyValueA(HKEY_LOCAL_MACHINE, kKey, kValue, REG_EXPAND_SZ, value.c_str(),
                              DWORD(value.size() + 1)) == ERROR_SUCCESS)
    {
    }
    ~CommonAppDataOverride()
    {
        if (saved_)
            RegSetKeyValueA(HKEY_LOCAL_MACHINE, kKey, kValue, type_, old_, size_);
        else
            RegDeleteKeyValueA(HKEY_LOCAL_MACHINE, kKey, kValue);
    }
    CommonAppDataOverride(const CommonAppDataOverride&) = delete;
    CommonAppDataOverride& operator=(const CommonAppDataOverride&) = delete;
    bool Ok() const { return ok_; }

private:
    static constexpr const char* kKey = "Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\User Shell Folders";
    static constexpr const char* kValue = "Common AppData";
    char old_[1024] = "";
    DWORD size_ = sizeof(old_);
    DWORD type_ = REG_EXPAND_SZ;
    bool saved_;
    bool ok_;
};

class InstallProcess : public ::testing::Test {
protected:
    void SetUp() override { Reset(); }
    void TearDown() override { Reset(); }

    // No Quorel.exe runs and nothing is installed or placed, except the installed variant if one is given.
    void Reset(const char* installed = nullptr)
    {
        KillQuorelProcesses();
        ResetInstallState();
        if (installed) {
            ASSERT_TRUE(MakeDirs(InstallFolder()));
            ASSERT_TRUE(CopyTo(VariantExe(installed), InstalledExe()));
        }
    }

    // A copy of a variant in the test's own folder.
    std::string PlaceCopy(const char* variant, const std::string& name = "Quorel.exe")
    {
        EXPECT_TRUE(CopyTo(VariantExe(variant), downloads.File(name))) << name;
        return downloads.File(name);
    }

    // Started with its bare path, as the install step starts it, the installed copy stays open.
    void RunInstalledCopy(ChildProcess& installed)
    {
        ASSERT_TRUE(installed.Start(InstalledExe(), InstalledExe()));
        ExpectStayedOpen(installed);
    }

    struct StartCase {
        const char* what;
        const char* installed;  // nullptr: nothing installed
        const char* running;
        std::string file;         // the copy, under the test's folder
        std::string commandLine;  // "%s" stands for the copy's path; "": the shell's quoted path
        bool staysOpen;           // false: it installs; true: it stays open, its shortcuts (if any) naming the installed copy
    };

    void Run(const StartCase& c)
    {
        SCOPED_TRACE(c.what);
        Reset(c.installed);
        const std::string exe = PlaceCopy(c.running, c.file);
        std::string commandLine = c.commandLine;
        if (commandLine.find("%s") != std::string::npos)
            commandLine.replace(commandLine.find("%s"), 2, exe);
        ChildProcess started;
        ASSERT_TRUE(started.Start(exe, commandLine));
        if (!c.staysOpen) {
            // It installed the image and ended; the installed copy it started placed every shortcut, marker first.
            ASSERT_TRUE(started.WaitExit(kTimeoutMs)) << "the started copy is still running";
            ExpectInstalled(c.running);
            DWORD pid = 0;
            ASSERT_TRUE(WaitForProcessOfImage(InstalledExe(), kTimeoutMs, &pid)) << "no installed copy started";
            ASSERT_NE(nullptr, WaitForWindow(kMainCaption, "#32770", kTimeoutMs, pid));
            // An installed copy without a version gets no shortcuts.
            if (std::string(c.running) == "vnone") {
                EXPECT_EQ("", ExistingShortcuts());
                return;
            }
            ExpectAllShortcuts(InstalledExe(), LessExtension(InstalledExe()));
            const ShortcutPaths s = Shortcuts();
            for (const std::string& link : s.Links())
                EXPECT_TRUE(!FileExists(link) || LastWriteTime(s.marker) <= LastWriteTime(link)) << link;
            return;
        }
        ExpectStayedOpen(started);
        ExpectInstalled(c.installed);
        // Never a shortcut to a file that does not exist: without an installed copy that has a version, none.
        if (c.installed && std::string(c.installed) != "vnone")
            ExpectAllShortcuts(InstalledExe(), LessExtension(exe));
        else
            EXPECT_EQ("", ExistingShortcuts());
    }

    TempDir downloads;
};

TEST_F(InstallProcess, TheDesktopShortcutStartsTheProgramThroughTheShell)
{
    Run({"first start from a download folder", nullptr, "v3200", "Quorel.exe", "", false});
    KillQuorelProcesses();
    const std::string desktop = Shortcuts().desktop;
    EXPECT_GT(INT_PTR(ShellExecuteA(nullptr, "open", desktop.c_str(), nullptr, nullptr, SW_SHOWNORMAL)), 32);
    DWORD pid = 0;
    ASSERT_TRUE(WaitForProcessOfImage(InstalledExe(), kTimeoutMs, &pid)) << "nothing started";
    EXPECT_NE(nullptr, WaitForWindow(kMainCaption, "#32770", kTimeoutMs, pid));
}

TEST_F(InstallProcess, DecidesByTheVersionOfTheInstalledCopy)
{
    const StartCase cases[] = {
        {"same version from elsewhere, renamed (3.2 against 3.2.0.0)", "v3200", "v3200", "Zelmora-Setup (2).exe", "",
         true},
        // The second byte of 乗 is the backslash byte.
        {"older copy, newer installed", "v3201", "v3200", "乗Quorel.exe", "", true},
        {"newer copy, older installed", "v3200", "v3201", "Quorel.exe", "", false},
        {"installed copy without a version", "vnone", "v3200", "Quorel.exe", "", false},
        {"running copy without a version, one installed", "v3200", "vnone", "Quorel.exe", "", true},
        {"running copy without a version, none installed", nullptr, "vnone", "Quorel.exe", "", false},
    };
    for (const StartCase& c : cases)
        Run(c);
}

TEST_F(InstallProcess, TakesItsPathFromAnyCommandLineAndInstallsOnlyAnImageItRead)
{
    // Long enough that the quoted path does not close within the first 255 characters.
    const std::string deep = std::string(257 - downloads.Path().size() - std::string("\\Quorel.exe").size(), 'd');
    ASSERT_TRUE(MakeDirs(downloads.File(deep)));
    // A quoted path naming a file that does not exist: the image cannot be read there.
    const std::string elsewhere = "\"" + downloads.File("Else.exe") + "\"";
    const StartCase cases[] = {
        {"quoted with arguments", nullptr, "v3201", "Quorel.exe", "\"%s\" -install \"C:\\x y\"", false},
        {"bare path", nullptr, "v3201", "Quorel.exe", "%s", false},
        {"no closing quote", nullptr, "v3201", "Quorel.exe", "\"%s", false},
        {"path of 257 characters", nullptr, "v3201", deep + "\\Quorel.exe", "", false},
        {"renamed copy, installed as Quorel.exe", nullptr, "v3201", "Zelmora-Setup (2).exe", "", false},
        {"unreadable image, nothing installed", nullptr, "v3201", "Quorel.exe", elsewhere, true},
        {"unreadable image, older installed", "v3200", "v3201", "Quorel.exe", elsewhere, true},
    };
    for (const StartCase& c : cases)
        Run(c);
}

TEST_F(InstallProcess, WithoutAUsableCommonAppDataFolderNothingIsInstalledOrPlaced)
{
    // Wine gives no folder for an empty value; under the long one the install path would not fit MAX_PATH.
    const std::string longFolder = downloads.File(std::string(240 - downloads.Path().size(), 'p'));
    ASSERT_TRUE(MakeDirs(longFolder + "\\"));
    for (const std::string& commonAppData : {std::string(), longFolder}) {
        SCOPED_TRACE(commonAppData.empty() ? "lookup fails" : "install path too long");
        Reset();
        const std::string exe = PlaceCopy("v3201");
        {
            CommonAppDataOverride override(commonAppData);
            ASSERT_TRUE(override.Ok());
            ChildProcess started;
            ASSERT_TRUE(started.Start(exe));
            ExpectStayedOpen(started);
        }
        EXPECT_EQ("", ExistingShortcuts());
        EXPECT_FALSE(DirExists(InstallFolder()));
        EXPECT_TRUE(ListFolder(longFolder).empty());
    }
}

TEST_F(InstallProcess, ARunningInstalledCopyStaysWholeWhenItCannotBeReplaced)
{
    Reset("v3200");
    ChildProcess installed;
    ASSERT_NO_FATAL_FAILURE(RunInstalledCopy(installed));
    ChildProcess newer;
    ASSERT_TRUE(newer.Start(PlaceCopy("v3201")));
    ASSERT_TRUE(newer.WaitExit(kTimeoutMs)) << "the newer copy did not close";
    ExpectInstalled("v3200");
    EXPECT_TRUE(installed.Running());
    // It starts whatever stands at the install path all the same: one more installed copy.
    EXPECT_TRUE(WaitForProcessOfImage(InstalledExe(), kTimeoutMs, nullptr, installed.Pid()));
}

TEST_F(InstallProcess, ShortcutsArePlacedOnlyWithoutTheMarker)
{
    const ShortcutPaths s = Shortcuts();
    const bool hadQuickLaunch = DirExists(s.quickLaunchFolder);
    const struct {
        const char* what;
        bool marker;
        bool groups;
        bool quickLaunch;
    } cases[] = {
        {"no marker, no Quick Launch folder: six shortcuts", false, false, false},
        {"no marker, program groups existing", false, true, true},
        {"no marker, no program groups", false, false, true},
        {"marker present: nothing written", true, false, true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        Reset("v3200");
        RemoveTree(s.quickLaunchFolder);
        ASSERT_TRUE(!c.quickLaunch || MakeDirs(s.quickLaunchFolder));
        ASSERT_TRUE(!c.marker || WriteLink(MarkerLink(), InstalledExe()));
        ASSERT_TRUE(!c.groups || (MakeDirs(s.commonGroup) && MakeDirs(s.group)));
        ChildProcess installed;
        ASSERT_NO_FATAL_FAILURE(RunInstalledCopy(installed));
        EXPECT_EQ(c.quickLaunch, DirExists(s.quickLaunchFolder));
        if (c.marker) {
            EXPECT_EQ(s.marker + "; ", ExistingShortcuts());
            EXPECT_FALSE(DirExists(s.commonGroup) || DirExists(s.group));
        } else {
            ExpectAllShortcuts(InstalledExe(), LessExtension(InstalledExe()));
        }
    }
    if (!hadQuickLaunch)
        RemoveTree(s.quickLaunchFolder);
}

}  // namespace
