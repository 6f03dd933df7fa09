#include "install/SelfInstall.h"

#include <shlobj.h>

#include "install/InstallFolder.h"
#include "install/InstallLocation.h"
#include "framework/AfxHandles.h"
#include "install/PathText.h"
#include "install/ShortcutPlacement.h"
#include "install/UninstallEntry.h"
#include "update/PeImage.h"
#include "update/Publisher.h"
#include "update/Restart.h"
#include "update/StagedFile.h"
#include "update/UpdateAgent.h"
#include "update/UpdateLog.h"
#include "update/Versions.h"

namespace {

// The shell starts a program with its path in double quotes. Any other command line (the installed
// copy is started with its bare path) gives the folder and the name of the module itself.
void TakeProgramPath(char (&folder)[256], char (&name)[256])
{
    char path[kCommandLineCopySize];
    if (QuotedProgramPath(::GetCommandLineA(), path, sizeof path) &&
        SplitProgramPath(path, folder, sizeof folder, name, sizeof name)) {
        return;
    }
    const CString modulePath = g_updateAgent.RunningModulePath();
    SplitProgramPath(modulePath, folder, sizeof folder, name, sizeof name);
}

// The whole file in one zero-filled heap block; an empty block when it cannot be read whole.
CHeapBlock ReadWholeImage(const char* path)
{
    CHeapBlock image;
    CKernelHandle file(::CreateFileA(path, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                                     FILE_FLAG_SEQUENTIAL_SCAN, nullptr));
    if (!file.IsValid()) {
        return image;
    }
    const DWORD size = ::GetFileSize(file.Get(), nullptr);
    if (size == INVALID_FILE_SIZE || size == 0 || !image.Allocate(size)) {
        return CHeapBlock();
    }
    DWORD read = 0;
    if (!::ReadFile(file.Get(), image.Get(), size, &read, nullptr) || read != size) {
        return CHeapBlock();
    }
    return image;
}

// Staged beside the installed copy, judged as held, and renamed over it: the installed copy is always
// either the old file or the whole new image, and the file judged is the file that lands. A copy that
// may not replace it, or a write or move that fails (the installed copy may be running), leaves the old
// copy and no staged file behind.
enum StageOutcome
{
    NothingTried,  // no install was due, or this image was not read whole
    Installed,
    Refused,  // a signed installed copy gives way only to its own publisher
    NotWritten,
};

StageOutcome ReplaceInstalledCopy(const CHeapBlock& image, const char* installFolder, const char* installPath)
{
    CStagedFile staged;
    if (!staged.Create(installFolder) || !staged.Write(image.Get(), image.Size()) || !staged.Flush())
        return NotWritten;
    if (!MayReplace(installPath, staged.Path(), staged.Handle()))
        return Refused;
    return staged.MoveTo(installPath, true) ? Installed : NotWritten;
}

// Shortcuts lead every user to the installed copy: only to one that passes what an update must pass, judged
// as held. A whole program for this machine with a version, of the running copy's publisher when that is
// signed.
bool IsVendorsProgram(const char* installPath)
{
    const CString runningModule = g_updateAgent.RunningModulePath();
    CKernelHandle file(::CreateFileA(installPath, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr));
    PeFacts facts;
    return !runningModule.IsEmpty() && file.IsValid() && ReadPeFacts(file.Get(), facts) && facts.whole &&
           facts.hasVersion && MayReplace(runningModule, installPath, file.Get());
}

}  // namespace

InstallOutcome RunSelfInstallation(HWND owner, const char* runningVersion)
{
    char exeFolder[256];
    char exeName[256];
    TakeProgramPath(exeFolder, exeName);

    char runningPath[MAX_PATH];
    CHeapBlock image;
    if (ComposePath(runningPath, sizeof runningPath, exeFolder, exeName)) {
        image = ReadWholeImage(runningPath);
    }

    char commonAppData[MAX_PATH];
    if (!::SHGetSpecialFolderPathA(owner, commonAppData, CSIDL_COMMON_APPDATA, FALSE)) {
        return RunningCopyStays;
    }
    char installFolder[MAX_PATH];
    char installPath[MAX_PATH];
    if (!ComposePath(installFolder, sizeof installFolder, commonAppData, kInstallSubFolder) ||
        !ComposePath(installPath, sizeof installPath, installFolder, kInstalledExeName)) {
        return RunningCopyStays;
    }

    const CString installedVersion = FullVersionText(installPath);
    const bool runningIsNewer =
        installedVersion.IsEmpty() || g_updateAgent.CompareVersionText(runningVersion, installedVersion) == 1;
    // An image that was not read whole never replaces the installed copy; and the installed copy
    // itself (one without a version) would otherwise restart itself for ever.
    const bool isInstalledCopy = lstrcmpiA(runningPath, installPath) == 0;
    const bool install = runningIsNewer && image.Get() != nullptr && !isInstalledCopy;
    // Written into, started from and named by shortcuts only as this program made it or may trust it;
    // otherwise this copy stays, as if it had not installed.
    const CKernelHandle folder = OpenInstallFolder(installFolder, install);
    if (!folder.IsValid()) {
        return RunningCopyStays;
    }
    if (isInstalledCopy) {
        DeleteStagedLeftovers(installFolder);
    }
    StageOutcome outcome = NothingTried;
    if (install) {
        outcome = ReplaceInstalledCopy(image, installFolder, installPath);
        LogUpdate("install", "%s over %s: %s", runningPath, installPath,
                  outcome == Installed ? "written"
                  : outcome == Refused ? "refused by the publisher rule"
                                       : "not written");
    }
    image.Reset();
    // Otherwise this copy stays as if older. Shortcuts name the installed copy: without one that has a
    // version there is nothing to name. It is judged only when the shortcuts are due: no start pays for it.
    if ((outcome == NothingTried || outcome == Refused) && !installedVersion.IsEmpty() &&
        !ShortcutsPlaced(installFolder) && IsVendorsProgram(installPath)) {
        PlaceShortcuts(owner, installFolder);
    }
    // What stands at the install path was judged older, foreign or broken: only this image is started.
    if (outcome != Installed) {
        return RunningCopyStays;
    }
    RegisterUninstallEntry(installFolder, installPath);
    // Only the image just written; with no command line it receives the bare path.
    LogStep(StartProgram(installPath), "install: start the installed copy");
    return InstalledCopyStarted;
}
