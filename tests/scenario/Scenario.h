#pragma once
// A scenario: a machine state, a real Quorel.exe copy started as a user or the platform starts it, a
// loopback server playing the web application and the update server, what is done to the window,
// the boxes that must appear in order and how they are answered, and the state left behind.
#include <windows.h>

#include <ostream>
#include <string>
#include <vector>

#include "support/HttpServer.h"

enum class End
{
    Stays,
    HandsOver,
    Restarts,
    Exits
};
// The download window after the update question's Yes: not looked at, watched to its end, or cancelled.
enum class Progress
{
    None,
    Watched,
    Cancelled
};
// What an update leaves at the started copy's path and beside it: the update and the old copy as the
// backup, or the other way round once a release that never came up is rolled back.
enum class After
{
    Unchanged,
    Updated,
    RolledBack
};
// A file another process holds open without letting it be moved, as a scanner or a running program does.
enum class Held
{
    Nothing,
    Backup,
    Image,         // the started copy's file, for the whole row
    ImageBriefly,  // the same, until 3 s after the first box is answered
    Installed,     // the installed copy, for the whole row
    // The started copy's path, taken between the swap's two renames: for 3 s, or until the swap gives up.
    GapBriefly,
    GapPastRetries,
};
// The install folder as the copy finds it: as the test made it, open to every user as an earlier release
// left it, or a symbolic link to a folder elsewhere (which Wine shows as a reparse point).
enum class InstallDir
{
    Made,
    Open,
    Linked,
};

// Box answers beyond the button ids.
const int kByEnter = 100, kByEscape = 101, kByCloseBox = 102;
// What is done to the window: a message posted to it, or for kRealTimer nothing: the copy's own 20 s
// timer is waited for.
struct Trigger
{
    UINT message;
    WPARAM wParam;
};
const UINT kRealTimer = WM_APP;
const Trigger kTick = {WM_TIMER, 1};  // the update timer's tick

struct Box
{
    const char* caption;
    std::string text;
    const char* icon;     // as the probe names it: "question", "none", "128"...
    const char* buttons;  // "YesNo", "OK"
    int answer;
    DWORD notBeforeMs = 0;        // it comes no sooner than this after the box before it was answered
    DWORD notAfterMs = INFINITE;  // and no later than this
};

// A copy of the shell that the tests built: its build under the variants, its version text and, when
// signed, the certificate of the test PKI that signed it. Its caption names its update server's host.
struct Variant
{
    const char* build = nullptr;  // nullptr: no copy
    const char* version = "";     // "": a copy without a version
    const char* signer = nullptr;
    const char* host = QUOREL_TEST_HOST;
};
inline constexpr Variant kNoCopy;
inline constexpr Variant kV3200{"v3200", "3.2.0.0"};
inline constexpr Variant kV3201{"v3201", "3.2.0.1"};
inline constexpr Variant kV3210{"v3210", "3.2.1.0"};
inline constexpr Variant kVNone{"vnone"};
inline constexpr Variant kV3200Vendor{"v3200", "3.2.0.0", "vendor"};
inline constexpr Variant kV3201Vendor{"v3201", "3.2.0.1", "vendor"};
inline constexpr Variant kV3201Renewed{"v3201", "3.2.0.1", "renewed"};
inline constexpr Variant kV3201Other{"v3201", "3.2.0.1", "other"};
inline constexpr Variant kV3201Impostor{"v3201", "3.2.0.1", "impostor"};
inline constexpr Variant kV3201Forged{"v3201", "3.2.0.1", "forged"};
// The signed 3.2.0.1 as scripts/release.sh made its release folder.
inline constexpr Variant kV3201Released{"release", "3.2.0.1", "vendor"};
// Releases that pass every check but never come up: one ends at once with an error, one with 0 and
// without a window, one dies after its window showed, one hangs.
inline constexpr Variant kV3201Dies{"v3201dies", "3.2.0.1"};
inline constexpr Variant kV3201DiesVendor{"v3201dies", "3.2.0.1", "vendor"};
inline constexpr Variant kV3201Quits{"v3201quits", "3.2.0.1"};
inline constexpr Variant kV3201Fades{"v3201fades", "3.2.0.1"};
inline constexpr Variant kV3201Hangs{"v3201hangs", "3.2.0.1"};
inline constexpr Variant kV3200Https{"v3200s", "3.2.0.0", nullptr, QUOREL_TLS_HOST};
inline constexpr Variant kV3201Https{"v3201s", "3.2.0.1", nullptr, QUOREL_TLS_HOST};
inline constexpr Variant kV3200Untrusted{"v3200u", "3.2.0.0", nullptr, QUOREL_UNTRUSTED_HOST};

struct Scenario
{
    const char* name;
    // The machine before the start.
    Variant installed = kV3200;           // the copy at the install path
    bool placed = true;                   // the shortcut marker stands beside the installed copy
    bool groups = false;                  // the program groups exist
    bool quickLaunch = true;              // the Quick Launch folder exists
    const char* commonAppData = nullptr;  // the registry's folder instead: "", "long" or a path
    const char* unixScript = nullptr;     // run beside the install folder before the start
    bool installedRuns = false;           // an installed copy runs already
    Held held = Held::Nothing;
    InstallDir installFolder = InstallDir::Made;
    bool leftovers = false;   // beside the installed copy, a staged file left for good and one another process holds
    bool intruder = false;    // another process goes after every new file beside the copy while it updates
    bool otherDrive = false;  // the copy's temporary folder lies on another drive of another file system
    bool plantedDll = false;  // a stranger's wininet.dll stands in the install folder
    // The copy the user starts.
    Variant running = kV3200;
    bool fromInstallPath = false;  // the installed copy itself, not a copy in a folder of its own
    std::string fileName = "Quorel.exe";
    std::string commandLine;  // "%s" stands for the copy's path; "": the path in double quotes
    // The update server: update.txt (nullptr: none) and the executable of that copy.
    const char* version = nullptr;
    Variant exe = kV3201;
    void (*shape)(HttpResponse& version, HttpResponse& exe) = nullptr;
    const char* redirect = nullptr;  // update.txt redirects to this path on the plain server, which serves it
    // What happens to the window.
    Trigger trigger = {};
    std::vector<Box> boxes;
    Progress progress = Progress::None;  // after the first box
    DWORD maxMs = 0;      // an upper bound from the message to the end of the boxes, or of a silent check; 0: none
    DWORD answersMs = 0;  // the window answers within this after each box but a restart's last; 0: unchecked
    // What stands afterwards.
    End end = End::Stays;
    After after = After::Unchanged;
    bool links = false;                          // shortcuts placed, each naming the installed Quorel.exe
    int versionRequests = -1, exeRequests = -1;  // -1: not counted
    bool looks = false;         // also check the window's layout, icons, system menu and drop acceptance
    const char* log = nullptr;  // the update log holds this afterwards
    bool logBlocked = false;    // the log's folder cannot be made
};

void RunScenario(const Scenario& scenario);
inline void PrintTo(const Scenario& scenario, std::ostream* out)
{
    *out << scenario.name;
}
