// The demo run's hands inside Wine, built on the tests' support library. scripts/run.sh calls it.
//   demo_helper [--desktop NAME] wait CAPTION TIMEOUT_MS [IMAGE]
//                                     waits for a visible window of that caption (and process image);
//                                     prints its process and, for a message box, its text
//   demo_helper [--desktop NAME] press CAPTION BUTTON_ID   clicks the button (IDYES 6, IDNO 7, IDOK 1)
//   demo_helper [--desktop NAME] reveal CAPTION            moves a box that Wine leaves unpainted (see Reveal)
//   demo_helper [--desktop NAME] processes IMAGE_NAME      one line per process with that file name
// Arguments arrive in the ANSI code page (Wine converts them), output is UTF-8; the exit code is 0 when the window or a process was found, 1 otherwise.
#include <windows.h>
#include <stdio.h>

#include <string>

#include "support/Process.h"
#include "support/WindowFinder.h"

namespace {

void Print(const std::string& ansiLine)
{
    std::wstring wide(ansiLine.size() + 1, L'\0');
    wide.resize(MultiByteToWideChar(CP_ACP, 0, ansiLine.c_str(), -1, &wide[0], int(wide.size())));
    std::string utf8(wide.size() * 3 + 1, '\0');
    utf8.resize(WideCharToMultiByte(CP_UTF8, 0, wide.c_str(), -1, &utf8[0], int(utf8.size()), nullptr, nullptr));
    printf("%s\n", utf8.c_str());
}

HWND Find(const std::string& caption, const std::string& image)
{
    if (image.empty())
        return FindTopWindow(caption.c_str(), nullptr);
    for (DWORD pid : ProcessesOf(image))
        if (HWND window = FindTopWindow(caption.c_str(), nullptr, pid))
            return window;
    return nullptr;
}

// Wine (8.0, on Xvfb) never paints a popup that lies wholly inside its owner window, and a message box
// opens centred over it. Moved onto the owner's lower edge, the box paints and stays next to its window.
void Reveal(HWND box)
{
    HWND owner = GetWindow(box, GW_OWNER);
    RECT r, frame;
    if (!owner || !GetWindowRect(box, &r) || !GetWindowRect(owner, &frame) || r.left < frame.left ||
        r.right > frame.right || r.top < frame.top || r.bottom > frame.bottom)
        return;
    SetWindowPos(box, nullptr, (frame.left + frame.right - (r.right - r.left)) / 2,
                 frame.bottom - (r.bottom - r.top) / 2, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
    RedrawWindow(box, nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_FRAME | RDW_ALLCHILDREN);
}

}  // namespace

int main(int argc, char** argv)
{
    std::string args[6];
    int count = 0;
    for (int i = 1; i < argc && count < 6; ++i)
        args[count++] = argv[i];
    int first = 0;
    if (count > 2 && args[0] == "--desktop") {
        // The program runs in a virtual desktop of its own, which may not exist yet.
        HDESK desktop = nullptr;
        WaitUntil([&] { return (desktop = OpenDesktopA(args[1].c_str(), 0, FALSE, GENERIC_ALL)) != nullptr; });
        if (!desktop || !SetThreadDesktop(desktop))
            return 1;
        first = 2;
    }
    const std::string& command = args[first];
    HWND window = nullptr;
    if (command == "wait" && count - first >= 3) {
        WaitUntil([&] { return (window = Find(args[first + 1], args[first + 3])) != nullptr; },
                  atoi(args[first + 2].c_str()));
        DWORD pid = 0;
        GetWindowThreadProcessId(window, &pid);
        if (window)
            Print("process " + std::to_string(pid) + " " + ProcessImage(pid));
        if (window && !MessageBoxText(window).empty())
            Print("text " + MessageBoxText(window));
    } else if (command == "press" && count - first == 3) {
        window = Find(args[first + 1], "");
        if (window && !PressButton(window, atoi(args[first + 2].c_str())))
            return 1;
    } else if (command == "reveal" && count - first == 2) {
        if ((window = Find(args[first + 1], "")) != nullptr)
            Reveal(window);
    } else if (command == "processes" && count - first == 2) {
        for (DWORD pid : ProcessesOf(args[first + 1]))
            Print(std::to_string(pid) + " " + ProcessImage(pid));
        return ProcessesOf(args[first + 1]).empty();
    } else {
        Print("usage: demo_helper [--desktop NAME] wait CAPTION MS [IMAGE] | press CAPTION ID | reveal CAPTION"
              " | processes NAME");
        return 2;
    }
    return window ? 0 : 1;
}
