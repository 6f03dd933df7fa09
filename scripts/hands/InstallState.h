#pragma once
// What Quorel leaves on the machine: the install folder, the shortcuts and the program groups, whether or
// not they exist, read back and cleared.
#include <windows.h>

#include <string>
#include <vector>

std::string SpecialFolder(int csidl);  // with no trailing backslash, as the product composes it
bool FileExists(const std::string& path);
bool DirExists(const std::string& path);
void RemoveTree(const std::string& path);

std::string InstallFolder();
std::string InstalledExe();
std::vector<std::string> ShortcutLinks();  // in placement order: marker, desktop, start menus and groups, Quick Launch
std::vector<std::string> ProgramGroups();
std::string QuickLaunchFolder();
void ResetInstallState();

// A .lnk read back through the shell's ShellLink object.
struct LinkInfo
{
    bool ok = false;
    std::string path;
};
LinkInfo ReadLink(const std::string& lnk);
