// Removal through Wine's Add/Remove Programs, which lists the entry and runs its command; each row from a first run.
#include <gtest/gtest.h>
#include <shlobj.h>

#include "app/BuildConfig.h"
#include "hands/Processes.h"
#include "hands/Windows.h"
#include "install/InstallLocation.h"
#include "install/ShellLink.h"
#include "install/UninstallTexts.h"
#include "support/ChildProcess.h"
#include "support/Files.h"
#include "support/HttpServer.h"
#include "update/UpdateTexts.h"

namespace {

const char kEntryKey[] = "Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\Zelmora";

struct Row
{
    const char* name;
    int answer;         // to the question
    int installedRuns;  // 1: the updated copy runs on from the backup; 2: the installed copy started anew
    const char* last;   // the box after Yes
};
void PrintTo(const Row& row, std::ostream* out)
{
    *out << row.name;
}

// Wine's Add/Remove Programs run to its end, and what it printed.
std::string Uninstaller(const std::string& arguments)
{
    EXPECT_EQ(0, system(("uninstaller " + arguments + ">" + TempFolder() + "uninstaller.txt").c_str()));
    return ReadWholeFile(TempFolder() + "uninstaller.txt");
}

// Wine lets every process write the machine's list.
std::string EntryValue(const char* name)
{
    char value[MAX_PATH] = "";
    DWORD size = sizeof value;
    RegGetValueA(HKEY_LOCAL_MACHINE, kEntryKey, name, RRF_RT_REG_SZ, nullptr, value, &size);
    return value;
}

// A downloaded 3.2.0.0 started as on a new machine: the installed copy places its shortcuts and is listed.
HWND FirstRun(TempDir& download)
{
    ChildProcess downloaded;
    EXPECT_TRUE(CopyTo(VariantExe("v3200"), download.File(kInstalledExeName)) &&
                downloaded.Start(download.File(kInstalledExeName)) && downloaded.WaitExit());
    const std::string program = InstalledExe().substr(0, InstalledExe().size() - 4);  // as the desktop names it
    for (const std::string& link : ShortcutLinks())
        EXPECT_TRUE(WaitUntil([&] { return ReadLink(link).path.rfind(program, 0) == 0; })) << link;
    EXPECT_NE(std::string::npos, Uninstaller("--list").find("Zelmora|||Zelmora"));
    EXPECT_EQ("3.2.0.0 " QUOREL_TEST_HOST, EntryValue("DisplayVersion") + " " + EntryValue("Publisher"));
    return WaitForWindow("Zelmora " QUOREL_TEST_HOST, "#32770", kWaitMs);
}

// The install folder's files, the shortcuts and groups that exist, and the listed version.
std::string Snapshot()
{
    std::string state = EntryValue("DisplayVersion");
    for (const std::string& entry : ListFolder(InstallFolder()))
        state += "|" + entry;
    for (const std::vector<std::string>& paths : {ShortcutLinks(), ProgramGroups()})
        for (const std::string& path : paths)
            state += GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES ? "|" + path : "";
    return state;
}

class Uninstall : public ::testing::TestWithParam<Row>
{};

TEST_P(Uninstall, Run)
{
    const Row& row = GetParam();
    KillProcesses(kInstalledExeName);
    ResetInstallState();
    MakeDirs(QuickLaunchFolder());
    RegDeleteKeyA(HKEY_LOCAL_MACHINE, kEntryKey);
    HttpServer server(static_cast<unsigned short>(atoi(strchr(QUOREL_TEST_HOST, ':') + 1)));
    server.SetPrefix(QUOREL_UPDATE_PATH "update.txt", {200, "text/plain", "3.2.0.1"});
    server.SetPrefix(QUOREL_UPDATE_PATH, {200, "application/octet-stream", ReadWholeFile(VariantExe("v3201"))});
    TempDir download;
    // Updated in place without a restart: 3.2.0.1 at the install path, 3.2.0.0 its backup.
    PostMessageA(FirstRun(download), WM_TIMER, 1, 0);
    for (auto [caption, answer] : {std::pair{QUOREL_QUESTION_CAPTION, IDYES}, {QUOREL_SUCCESS_CAPTION, IDNO}})
        ASSERT_TRUE(PressButton(WaitForWindow(caption, "#32770", kWaitMs), answer)) << caption;
    EXPECT_TRUE(WaitUntil([] { return EntryValue("DisplayVersion") == "3.2.0.1"; }));
    if (row.installedRuns != 1)
        KillProcesses(kInstalledExeName);
    ChildProcess running;
    if (row.installedRuns == 2) {
        ASSERT_TRUE(running.Start(InstalledExe()) && WaitForWindow("Zelmora " QUOREL_TEST_HOST, "#32770", kWaitMs));
    }
    // A user's own file, a file a cut-off update staged, and a shortcut of ours that now leads elsewhere.
    const std::string own = InstallFolder() + "notes.txt", other = ShortcutLinks()[4],
                      notepad = "C:\\windows\\notepad.exe";
    ASSERT_TRUE(WriteWholeFile(own, "mine") && WriteWholeFile(InstallFolder() + "Quo0123456789abcdef.tmp", ""));
    WriteShellLink(notepad.c_str(), other.c_str(), "");
    const std::string before = Snapshot();
    const std::vector<std::string> tempBefore = ListFolder(TempFolder());
    Uninstaller("--remove Zelmora");
    for (const char* text : {QUOREL_UNINSTALL_QUESTION, row.last}) {
        HWND box = WaitForWindow(QUOREL_UNINSTALL_CAPTION, "#32770", kWaitMs);
        ASSERT_TRUE(box && text);
        EXPECT_EQ(text + std::string(row.last == text ? "OK" : "YesNo"), MessageBoxText(box) + BoxButtons(box));
        PressButton(box, row.last == text ? IDOK : row.answer);
        EXPECT_TRUE(WaitUntil([&] { return !IsWindow(box); }));
        if (!row.last)
            break;
    }
    // The copy that did the work ends with its last box, and is gone from the temporary folder then.
    EXPECT_TRUE(WaitUntil([&] {
        return ListFolder(TempFolder()) == tempBefore && !FindTopWindow(QUOREL_UNINSTALL_CAPTION, "#32770");
    })) << "left in the temporary folder, or a box open";
    EXPECT_EQ(row.installedRuns != 0, !ProcessesOf(kInstalledExeName).empty());
    const bool removed = row.answer == IDYES && !row.installedRuns;
    EXPECT_EQ(removed ? "|notes.txt|" + other : before, Snapshot());
    if (!removed)
        return KillProcesses(kInstalledExeName);
    EXPECT_EQ(std::string::npos, Uninstaller("--list").find("Zelmora"));
    EXPECT_EQ(notepad, ReadLink(other).path);
    // Installed again as on a new machine.
    FirstRun(download);
    KillProcesses(kInstalledExeName);
}

const Row kRows[] = {
    {"RemovedWithYes", IDYES, 0, QUOREL_UNINSTALL_DONE},
    {"NoChangesNothing", IDNO, 0, nullptr},
    {"RunningInstalledCopyChangesNothing", IDYES, 2, QUOREL_UNINSTALL_RUNNING},
    {"CopyRunningOnAfterAnUpdateChangesNothing", IDYES, 1, QUOREL_UNINSTALL_RUNNING},
};

INSTANTIATE_TEST_SUITE_P(Quorel, Uninstall, ::testing::ValuesIn(kRows),
                         [](const ::testing::TestParamInfo<Row>& info) { return std::string(info.param.name); });

}  // namespace
