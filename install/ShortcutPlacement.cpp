#include "install/ShortcutPlacement.h"

#include <shlobj.h>

#include "install/InstallLocation.h"
#include "install/PathText.h"
#include "install/ShellLink.h"
#include "framework/AfxFileFind.h"

namespace {

// The shortcuts that follow the marker and the desktop shortcut, in the order they are written.
struct FolderShortcut
{
    int csidl;
    const char* groupFolder;  // created first when not null
    const char* linkTail;     // appended to the looked-up folder
};

const FolderShortcut kFolderShortcuts[] = {
    {CSIDL_COMMON_STARTMENU, nullptr, kLinkInFolder},
    {CSIDL_COMMON_PROGRAMS, kGroupFolder, kLinkInGroup},
    {CSIDL_STARTMENU, nullptr, kLinkInFolder},
    {CSIDL_PROGRAMS, kGroupFolder, kLinkInGroup},
    // The Quick Launch folder is never created: without it there is no shortcut there.
    {CSIDL_APPDATA, nullptr, kLinkInQuickLaunch},
};

const char kNoArguments[] = "";

}  // namespace

bool ShortcutsPlaced(const char* installFolder)
{
    char markerPath[kShortcutPathSize];
    CFileFind finder;
    return ComposePath(markerPath, sizeof markerPath, installFolder, kShortcutFileName) && finder.FindFile(markerPath);
}

void PlaceShortcuts(HWND owner, const char* installFolder)
{
    char markerPath[kShortcutPathSize];
    char target[kShortcutPathSize];
    // Every shortcut names the installed copy, which exists whenever the placement runs; a copy running
    // under another name has no file of its own name in the install folder.
    if (!ComposePath(markerPath, sizeof markerPath, installFolder, kShortcutFileName) ||
        !ComposePath(target, sizeof target, installFolder, kInstalledExeName)) {
        return;
    }

    // The marker is written first and doubles as the record that this machine has its shortcuts.
    if (ShortcutsPlaced(installFolder)) {
        return;
    }

    WriteShellLink(target, markerPath, kNoArguments);
    WriteDesktopLink();

    for (const FolderShortcut& shortcut : kFolderShortcuts) {
        char folder[MAX_PATH];
        if (!::SHGetSpecialFolderPathA(owner, folder, shortcut.csidl, FALSE)) {
            continue;
        }
        char linkPath[kShortcutPathSize];
        if (shortcut.groupFolder != nullptr && ComposePath(linkPath, sizeof linkPath, folder, shortcut.groupFolder)) {
            ::CreateDirectoryA(linkPath, nullptr);
        }
        if (!ComposePath(linkPath, sizeof linkPath, folder, shortcut.linkTail)) {
            continue;
        }
        WriteShellLink(target, linkPath, kNoArguments);
    }
}
