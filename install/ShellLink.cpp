#include "install/ShellLink.h"

#include "framework/AfxString.h"

#include <shlobj.h>

#include "install/InstallLocation.h"
#include "framework/AfxHandles.h"
#include "install/PathText.h"

namespace {

// False when the path does not fit the 260 wide characters of the save: it is then not saved.
bool ToWidePath(const char* path, WCHAR (&wide)[MAX_PATH])
{
    ZeroMemory(wide, sizeof wide);
    return ::MultiByteToWideChar(CP_ACP, 0, path, -1, wide, MAX_PATH) > 0;
}

}  // namespace

BOOL WriteShellLink(LPCSTR target, LPCSTR linkPath, LPCSTR arguments)
{
    WCHAR wideLinkPath[MAX_PATH];
    const bool linkPathFits = ToWidePath(linkPath, wideLinkPath);

    // Declared in this order so that they end as the shell expects: IPersistFile, then IShellLinkA,
    // then CoUninitialize, on every way out.
    CComApartment apartment;
    if (!apartment.Ok()) {
        return FALSE;
    }
    CComRef<IShellLinkA> shellLink;
    if (FAILED(::CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER, IID_PPV_ARGS(shellLink.Receive())))) {
        return FALSE;
    }
    shellLink->SetPath(target);
    shellLink->SetArguments(arguments);

    CComRef<IPersistFile> persistFile;
    if (FAILED(shellLink->QueryInterface(IID_PPV_ARGS(persistFile.Receive())))) {
        return FALSE;
    }
    if (linkPathFits) {
        persistFile->Save(wideLinkPath, FALSE);
    }
    return TRUE;
}

void WriteDesktopLink()
{
    CComApartment apartment;
    if (!apartment.Ok()) {
        return;
    }
    CString target;
    CComRef<IShellLinkA> shellLink;
    if (FAILED(::CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER, IID_PPV_ARGS(shellLink.Receive())))) {
        return;
    }

    char modulePath[MAX_PATH];
    const DWORD moduleLength = ::GetModuleFileNameA(::GetModuleHandleA(nullptr), modulePath, MAX_PATH);
    // A failed or truncated query gives no usable target.
    const bool haveModulePath = moduleLength > 4 && moduleLength < MAX_PATH;
    if (haveModulePath) {
        target = modulePath;
        // The desktop shortcut names the running executable without its extension.
        target.Delete(target.GetLength() - 4, 4);
        shellLink->SetPath(target);
    }

    CComRef<IPersistFile> persistFile;
    if (FAILED(shellLink->QueryInterface(IID_PPV_ARGS(persistFile.Receive())))) {
        return;
    }

    char desktopFolder[MAX_PATH];
    if (!haveModulePath || !::SHGetSpecialFolderPathA(nullptr, desktopFolder, CSIDL_DESKTOPDIRECTORY, FALSE)) {
        return;
    }
    char linkPath[MAX_PATH];
    WCHAR wideLinkPath[MAX_PATH];
    if (!ComposePath(linkPath, sizeof linkPath, desktopFolder, "\\", kShortcutName, kShortcutExtension) ||
        !ToWidePath(linkPath, wideLinkPath)) {
        return;
    }
    persistFile->Save(wideLinkPath, FALSE);
}
