#include "InstallScenario.h"

#include "support/Paths.h"
#include "support/ShellLinks.h"
#include "support/WindowFinder.h"

namespace {

using SelfInstall = InstallScenario;

// Points the prefix's common application-data folder elsewhere for as long as it lives.
class CommonAppDataOverride {
public:
    explicit CommonAppDataOverride(const std::string& value)
    {
        if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, kKey, 0, KEY_QUERY_VALUE | KEY_SET_VALUE, &key_) != ERROR_SUCCESS)
            return;
        char old[1024] = "";
        DWORD size = sizeof(old);
        DWORD type = 0;
        if (RegQueryValueExA(key_, kValue, nullptr, &type, reinterpret_cast<BYTE*>(old), &size) == ERROR_SUCCESS) {
            saved_ = true;
            oldType_ = type;
            old_.assign(old, size);
        }
        ok_ = RegSetValueExA(key_, kValue, 0, REG_EXPAND_SZ, reinterpret_cast<const BYTE*>(value.c_str()),
                             static_cast<DWORD>(value.size() + 1)) == ERROR_SUCCESS;
    }
    ~CommonAppDataOverride()
    {
        if (!key_)
            return;
        if (saved_)
            RegSetValueExA(key_, kValue, 0, oldType_, reinterpret_cast<const BYTE*>(old_.data()),
                           static_cast<DWORD>(old_.size()));
        else
            RegDeleteValueA(key_, kValue);
        RegCloseKey(key_);
    }
    CommonAppDataOverride(const CommonAppDataOverride&) = delete;
    CommonAppDataOverride& operator=(const CommonAppDataOverride&) = delete;

    bool Ok() const { return ok_; }

private:
    static constexpr const char* kKey = "Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\User Shell Folders";
    static constexpr const char* kValue = "Common AppData";
    HKEY key_ = nullptr;
    bool ok_ = false;
    bool saved_ = false;
    DWORD oldType_ = REG_EXPAND_SZ;
    std::string old_;
};

TEST_F(SelfInstall, FirstStartInstallsStartsTheInstalledCopyAndCloses)
{
    ChildProcess first;
    ASSERT_TRUE(first.Start(PlaceCopy("v3200")));
    EXPECT_TRUE(HandedOverToInstalledCopy(first, "v3200"));
}

TEST_F(SelfInstall, DecidesByTheVersionOfTheInstalledCopy)
{
    struct Case {
        const char* name;
        const char* installed;  // nullptr: nothing installed
        const char* running;
        bool installs;
    };
    const Case cases[] = {
        {"same version from elsewhere (3.2 against 3.2.0.0)", "v3200", "v3200", false},
        {"older copy, newer installed", "v3201", "v3200", false},
        {"newer copy, older installed", "v3200", "v3201", true},
        {"newer in the third component", "v3201", "v3210", true},
        {"installed copy without a version", "vnone", "v3200", true},
        {"running copy without a version, one installed", "v3200", "vnone", false},
        {"running copy without a version, none installed", nullptr, "vnone", true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        KillQuorelProcesses();
        ResetInstallState();
        if (c.installed != nullptr)
            Preinstall(c.installed);

        ChildProcess started;
        ASSERT_TRUE(started.Start(PlaceCopy(c.running)));
        if (c.installs) {
            EXPECT_TRUE(HandedOverToInstalledCopy(started, c.running));
        } else {
            EXPECT_TRUE(StayedOpen(started));
            EXPECT_TRUE(InstalledImageIs(c.installed));
        }
    }
}

TEST_F(SelfInstall, TakesItsPathFromAnyFormOfCommandLine)
{
    struct Case {
        const char* name;
        std::string folder;  // relative to the test folder, "" or ending with a backslash
        std::string commandLine;  // "%s" stands for the copy's path
    };
    // Long enough that the quoted path does not close within the first 255 characters.
    const size_t deep = 257 - downloads.Path().size() - std::string("\\Quorel.exe").size();
    const Case cases[] = {
        {"quoted with arguments", "", "\"%s\" -install \"C:\\x y\""},
        {"bare path", "", "%s"},
        {"no closing quote", "", "\"%s"},
        {"path of 257 characters", std::string(deep, 'd') + "\\", "\"%s\""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        KillQuorelProcesses();
        ResetInstallState();
        ASSERT_TRUE(c.folder.empty() || MakeDirs(downloads.File(c.folder)));
        const std::string exe = PlaceCopy("v3201", c.folder + "Quorel.exe");
        std::string commandLine = c.commandLine;
        commandLine.replace(commandLine.find("%s"), 2, exe);

        ChildProcess started;
        ASSERT_TRUE(started.Start(exe, commandLine));
        EXPECT_TRUE(HandedOverToInstalledCopy(started, "v3201"));
    }
}

TEST_F(SelfInstall, ARenamedCopyIsInstalledAsQuorelExe)
{
    ChildProcess started;
    ASSERT_TRUE(started.Start(PlaceCopy("v3201", "Zelmora-Setup (2).exe")));
    EXPECT_TRUE(HandedOverToInstalledCopy(started, "v3201"));
    EXPECT_FALSE(FileExists(InstallFolder() + "Zelmora-Setup (2).exe"));
}

TEST_F(SelfInstall, AnImageThatCannotBeReadIsNeverInstalled)
{
    struct Case {
        const char* name;
        const char* installed;
    };
    const Case cases[] = {
        {"nothing installed", nullptr},
        {"older copy installed", "v3200"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        KillQuorelProcesses();
        ResetInstallState();
        if (c.installed != nullptr)
            Preinstall(c.installed);
        // The quoted path names a file that does not exist: the program cannot read its image there.
        const std::string exe = PlaceCopy("v3201");
        ChildProcess started;
        ASSERT_TRUE(started.Start(exe, "\"" + downloads.File("Elsewhere.exe") + "\""));
        EXPECT_TRUE(StayedOpen(started));
        EXPECT_TRUE(InstalledImageIs(c.installed));
    }
}

TEST_F(SelfInstall, WithoutAUsableCommonAppDataFolderNothingIsInstalledOrPlaced)
{
    // Wine gives no folder for an empty value; the long one exists, but the install path under it
    // would not fit in MAX_PATH.
    const std::string longFolder = downloads.File(std::string(240 - downloads.Path().size(), 'p'));
    ASSERT_TRUE(MakeDirs(longFolder + "\\"));
    struct Case {
        const char* name;
        std::string commonAppData;
    };
    const Case cases[] = {
        {"lookup fails", ""},
        {"install path too long", longFolder},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        KillQuorelProcesses();
        ResetInstallState();
        const std::string exe = PlaceCopy("v3201");
        {
            CommonAppDataOverride override(c.commonAppData);
            ASSERT_TRUE(override.Ok());
            ChildProcess started;
            ASSERT_TRUE(started.Start(exe));
            EXPECT_TRUE(StayedOpen(started));
        }
        EXPECT_EQ("", ExistingShortcuts());
        EXPECT_FALSE(DirExists(InstallFolder()));
        EXPECT_TRUE(ListFolder(longFolder).empty());
    }
}

TEST_F(SelfInstall, ARunningInstalledCopyStaysWholeWhenItCannotBeReplaced)
{
    Preinstall("v3200");
    ChildProcess installed;
    ASSERT_TRUE(installed.Start(InstalledExe(), InstalledExe()));
    ASSERT_TRUE(StayedOpen(installed));

    ChildProcess newer;
    ASSERT_TRUE(newer.Start(PlaceCopy("v3201")));
    ASSERT_TRUE(newer.WaitExit(kScenarioTimeoutMs)) << "the newer copy did not close";
    EXPECT_TRUE(InstalledImageIs("v3200"));
    EXPECT_TRUE(installed.Running());
    // It starts whatever stands at the install path all the same: one more installed copy.
    EXPECT_TRUE(WaitForProcessOfImage(InstalledExe(), kScenarioTimeoutMs, nullptr, installed.Pid()));
}

}  // namespace
