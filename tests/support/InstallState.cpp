#include "support/InstallState.h"

#include "support/Files.h"
#include "support/Process.h"

#include <windows.h>
#include <shlobj.h>

namespace {

const char kLinkName[] = " Zelmora.lnk";
const char kGroupName[] = " Zelmora\\";

// The folder's path whether or not it exists yet.
std::string SpecialFolder(int csidl)
{
    char path[MAX_PATH] = "";
    if (FAILED(SHGetFolderPathA(nullptr, csidl | CSIDL_FLAG_DONT_VERIFY, nullptr, SHGFP_TYPE_CURRENT, path)))
        return std::string();
    return std::string(path) + "\\";
}

}  // namespace

std::string InstallFolder()
{
    return SpecialFolder(CSIDL_COMMON_APPDATA) + "Quorelware\\";
}

std::string InstalledExe()
{
    return InstallFolder() + "Quorel.exe";
}

std::string MarkerLink()
{
    return InstallFolder() + kLinkName;
}

std::vector<std::string> ShortcutPaths::Links() const
{
    return {marker, desktop, commonStartMenu, commonPrograms, startMenu, programs, quickLaunch};
}

ShortcutPaths Shortcuts()
{
    ShortcutPaths p;
    p.marker = MarkerLink();
    p.desktop = SpecialFolder(CSIDL_DESKTOPDIRECTORY) + kLinkName;
    p.commonStartMenu = SpecialFolder(CSIDL_COMMON_STARTMENU) + kLinkName;
    p.commonGroup = SpecialFolder(CSIDL_COMMON_PROGRAMS) + kGroupName;
    p.commonPrograms = p.commonGroup + kLinkName;
    p.startMenu = SpecialFolder(CSIDL_STARTMENU) + kLinkName;
    p.group = SpecialFolder(CSIDL_PROGRAMS) + kGroupName;
    p.programs = p.group + kLinkName;
    p.quickLaunchFolder = SpecialFolder(CSIDL_APPDATA) + "Microsoft\\Internet Explorer\\Quick Launch\\";
    p.quickLaunch = p.quickLaunchFolder + kLinkName;
    return p;
}

void ResetInstallState()
{
    ShortcutPaths p = Shortcuts();
    for (const std::string& link : p.Links())
        RemoveTree(link);
    RemoveTree(p.commonGroup);
    RemoveTree(p.group);
    RemoveTree(InstallFolder());
}

void KillQuorelProcesses()
{
    for (DWORD pid : ProcessesNamed("Quorel.exe"))
        KillProcess(pid);
}
