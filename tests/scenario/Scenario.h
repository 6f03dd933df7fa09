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
// A file another process holds open without letting it be moved, as a scanner or a running program does.
enum class Held
{
    Nothing,
    Backup,
    Image,         // the started copy's file, for the whole row
    ImageBriefly,  // the same, until 3 s after the first box is answered
    Installed,     // the installed copy, for the whole row
};

// Box answers beyond the button ids.
const int kByEnter = 100;
const int kByEscape = 101;
const int kByCloseBox = 102;
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
    DWORD notBeforeMs = 0;  // it comes no sooner than this after the box before it was answered
};

struct Scenario
{
    const char* name;
    // The machine before the start.
    const char* installed = "v3200";      // the variant at the install path; nullptr: none
    bool placed = true;                   // the shortcut marker is there
    bool groups = false;                  // the program groups exist
    bool quickLaunch = true;              // the Quick Launch folder exists
    const char* commonAppData = nullptr;  // the registry's folder instead: "", "long" or a path
    bool installedRuns = false;           // an installed copy runs already
    Held held = Held::Nothing;
    bool intruder = false;    // another process goes after every new file beside the copy while it updates
    bool otherDrive = false;  // the copy's temporary folder lies on another drive of another file system
    // The copy the user starts.
    const char* running = "v3200";
    bool fromInstallPath = false;  // the installed copy itself, not a copy in a folder of its own
    std::string fileName = "Quorel.exe";
    std::string commandLine;  // "%s" stands for the copy's path; "": the path in double quotes
    // The update server: update.txt (nullptr: none) and the executable of that variant (nullptr: none).
    const char* version = nullptr;
    const char* exe = "v3201";
    void (*shape)(HttpResponse& version, HttpResponse& exe) = nullptr;
    const char* redirect = nullptr;  // update.txt redirects to this path on the plain server, which serves it
    // What happens to the window.
    Trigger trigger = {};
    std::vector<Box> boxes;
    DWORD maxMs = 0;      // an upper bound from the message to the end of the boxes; 0: none
    DWORD answersMs = 0;  // after each box (of a restart: but the last), the window answers a sent message
                          // within this; 0: not checked
    // What stands afterwards.
    End end = End::Stays;
    const char* runningAfter = nullptr;  // the image at the started copy's path; nullptr: unchanged
    const char* backupAfter = nullptr;   // beside the running copy; nullptr: as it was
    bool links = false;                  // shortcuts placed, each naming the installed Quorel.exe
    int versionRequests = -1;            // -1: not counted
    int exeRequests = -1;
    bool looks = false;  // also check the window's layout, icons, system menu and drop acceptance
};

void RunScenario(const Scenario& scenario);
inline void PrintTo(const Scenario& scenario, std::ostream* out)
{
    *out << scenario.name;
}
