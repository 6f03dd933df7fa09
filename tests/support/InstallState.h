#pragma once

#include <string>
#include <vector>

std::string InstallFolder();  // C:\ProgramData\Quorelware\ (the common application-data folder)
std::string InstalledExe();   // the install folder's Quorel.exe
std::string MarkerLink();     // the install folder's " Zelmora.lnk"

// Where the shortcut placement writes, whether or not those folders exist.
struct ShortcutPaths {
    std::string marker;
    std::string desktop;
    std::string commonStartMenu;
    std::string commonPrograms;  // inside commonGroup
    std::string startMenu;
    std::string programs;        // inside group
    std::string quickLaunch;
    std::string commonGroup;     // the " Zelmora\" program groups, ending with a backslash
    std::string group;
    std::string quickLaunchFolder;  // ending with a backslash
    std::vector<std::string> Links() const;  // the seven link paths in placement order, marker first
};
ShortcutPaths Shortcuts();

// Removes the install folder and every shortcut and program group of the placement. A running
// installed copy keeps its image: call KillQuorelProcesses first.
void ResetInstallState();
// Terminates every process whose image file is named Quorel.exe, in any folder, and waits for it.
void KillQuorelProcesses();
