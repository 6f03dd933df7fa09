// The demo run's hands inside Wine. scripts/run.sh calls it.
//   demo_helper [--desktop NAME] [--child CLASS] COMMAND
//     wait CAPTION TIMEOUT_MS [IMAGE]   waits for a visible window of that caption (and process image, and
//                                       with a child of that class); prints its process, its text, its bar
//     press CAPTION BUTTON_ID           clicks the button (IDYES 6, IDNO 7, IDOK 1)
//     reveal CAPTION                    moves a popup that Wine leaves unpainted (see Reveal)
//     processes IMAGE_NAME              one line per process with that file name
//     version PATH                      the file version of a program
//     links                             each shortcut of the placement that exists, and its target
//     reset                             removes the install folder and the shortcuts
// Arguments arrive in the ANSI code page (Wine converts them), output is UTF-8; the exit code is 0 when the
// window, process, version or a shortcut was found, 1 otherwise.
#include <windows.h>
#include <commctrl.h>
#include <stdio.h>

#include <string>
#include <vector>

#include "hands/InstallState.h"
#include "hands/Processes.h"
#include "hands/Wait.h"
#include "hands/Windows.h"

namespace {

void Print(const std::string& ansiLine)
{
    std::wstring wide(ansiLine.size() + 1, L'\0');
    wide.resize(MultiByteToWideChar(CP_ACP, 0, ansiLine.c_str(), -1, &wide[0], int(wide.size())));
    std::string utf8(wide.size() * 3 + 1, '\0');
    utf8.resize(WideCharToMultiByte(CP_UTF8, 0, wide.c_str(), -1, &utf8[0], int(utf8.size()), nullptr, nullptr));
    printf("%s\n", utf8.c_str());
}

// The question and the download's progress window share a caption; the bar tells them apart.
HWND Find(const std::string& caption, const std::string& image, const std::string& child)
{
    for (DWORD pid : image.empty() ? std::vector<DWORD>{0} : ProcessesOf(image)) {
        if (HWND window = FindTopWindow(caption.c_str(), nullptr, pid, child.empty() ? nullptr : child.c_str()))
            return window;
    }
    return nullptr;
}

// Wine (8.0, on Xvfb) never paints a popup that lies wholly inside its owner window, and message boxes and
// the progress window open centred over it. Moved onto the owner's lower edge, the popup paints.
void Reveal(HWND popup)
{
    HWND owner = GetWindow(popup, GW_OWNER);
    RECT r, frame;
    if (!owner || !GetWindowRect(popup, &r) || !GetWindowRect(owner, &frame) || r.left < frame.left ||
        r.right > frame.right || r.top < frame.top || r.bottom > frame.bottom)
        return;
    SetWindowPos(popup, nullptr, (frame.left + frame.right - (r.right - r.left)) / 2,
                 frame.bottom - (r.bottom - r.top) / 2, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
    RedrawWindow(popup, nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_FRAME | RDW_ALLCHILDREN);
}

std::string FileVersion(const std::string& path)
{
    DWORD ignored = 0;
    std::vector<char> data(GetFileVersionInfoSizeA(path.c_str(), &ignored));
    VS_FIXEDFILEINFO* info = nullptr;
    UINT size = 0;
    if (data.empty() || !GetFileVersionInfoA(path.c_str(), 0, DWORD(data.size()), data.data()) ||
        !VerQueryValueA(data.data(), "\\", reinterpret_cast<void**>(&info), &size) || size < sizeof *info)
        return "";
    char text[64];
    snprintf(text, sizeof text, "%u.%u.%u.%u", HIWORD(info->dwFileVersionMS), LOWORD(info->dwFileVersionMS),
             HIWORD(info->dwFileVersionLS), LOWORD(info->dwFileVersionLS));
    return text;
}

}  // namespace

int main(int argc, char** argv)
{
    std::string args[4], desktopName, child;
    int count = 0;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if ((arg == "--desktop" || arg == "--child") && i + 1 < argc)
            (arg == "--desktop" ? desktopName : child) = argv[++i];
        else if (count < 4)
            args[count++] = arg;
    }
    if (!desktopName.empty()) {
        // The program runs in a virtual desktop of its own, which may not exist yet.
        HDESK desktop = nullptr;
        WaitUntil([&] { return (desktop = OpenDesktopA(desktopName.c_str(), 0, FALSE, GENERIC_ALL)) != nullptr; });
        if (!desktop || !SetThreadDesktop(desktop))
            return 1;
    }
    const std::string& command = args[0];
    if (command == "wait" && count >= 3) {
        HWND window = nullptr;
        if (!WaitUntil([&] { return (window = Find(args[1], args[3], child)) != nullptr; }, atoi(args[2].c_str())))
            return 1;
        DWORD pid = 0;
        GetWindowThreadProcessId(window, &pid);
        Print("process " + std::to_string(pid) + " " + ProcessImage(pid));
        if (!MessageBoxText(window).empty())
            Print("text " + MessageBoxText(window));
        if (HWND bar = FindWindowExA(window, nullptr, PROGRESS_CLASSA, nullptr)) {
            const LRESULT high = SendMessageA(bar, PBM_GETRANGE, FALSE, 0);
            if (high > 0)
                Print("bar " + std::to_string(SendMessageA(bar, PBM_GETPOS, 0, 0) * 100 / high) + "%");
        }
        return 0;
    }
    if (command == "press" && count == 3) {
        HWND window = Find(args[1], "", child);
        return window && PressButton(window, atoi(args[2].c_str())) ? 0 : 1;
    }
    if (command == "reveal" && count == 2) {
        HWND window = Find(args[1], "", child);
        if (window)
            Reveal(window);
        return window ? 0 : 1;
    }
    if (command == "processes" && count == 2) {
        const std::vector<DWORD> pids = ProcessesOf(args[1]);
        for (DWORD pid : pids)
            Print(std::to_string(pid) + " " + ProcessImage(pid));
        return pids.empty();
    }
    if (command == "version" && count == 2) {
        const std::string version = FileVersion(args[1]);
        Print(version.empty() ? "none" : version);
        return version.empty();
    }
    if (command == "links" && count == 1) {
        bool found = false;
        for (const std::string& link : ShortcutLinks()) {
            if (!FileExists(link))
                continue;
            const LinkInfo info = ReadLink(link);
            Print(link + "  ->  " + (info.ok ? info.path : "(unreadable)"));
            found = true;
        }
        return found ? 0 : 1;
    }
    if (command == "reset" && count == 1) {
        ResetInstallState();
        return 0;
    }
    Print("usage: demo_helper [--desktop NAME] [--child CLASS] wait CAPTION MS [IMAGE] | press CAPTION ID"
          " | reveal CAPTION | processes NAME | version PATH | links | reset");
    return 2;
}
