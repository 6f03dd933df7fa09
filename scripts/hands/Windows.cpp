#include "hands/Windows.h"

#include "hands/Wait.h"

namespace {

BOOL CALLBACK FirstText(HWND child, LPARAM param)
{
    char name[64] = "", shown[8192] = "";
    GetClassNameA(child, name, sizeof name);
    if (!lstrcmpiA(name, "Static") && (GetWindowLongA(child, GWL_STYLE) & SS_TYPEMASK) != SS_ICON &&
        IsWindowVisible(child))
        GetWindowTextA(child, shown, sizeof shown);
    *reinterpret_cast<std::string*>(param) = shown;
    return !shown[0];
}

}  // namespace

HWND FindTopWindow(const char* caption, const char* className, DWORD pid, const char* childClass)
{
    for (HWND window = nullptr; (window = FindWindowExA(nullptr, window, className, caption)) != nullptr;) {
        DWORD owner = 0;
        GetWindowThreadProcessId(window, &owner);
        if (IsWindowVisible(window) && (!pid || owner == pid) &&
            (!childClass || FindWindowExA(window, nullptr, childClass, nullptr)))
            return window;
    }
    return nullptr;
}

HWND WaitForWindow(const char* caption, const char* className, DWORD timeoutMs, DWORD pid)
{
    HWND found = nullptr;
    WaitUntil([&] { return (found = FindTopWindow(caption, className, pid)) != nullptr; }, timeoutMs);
    return found;
}

std::string MessageBoxText(HWND box)
{
    std::string text;
    EnumChildWindows(box, FirstText, reinterpret_cast<LPARAM>(&text));
    return text;
}

std::string BoxButtons(HWND box)
{
    static const std::pair<int, const char*> kButtons[] = {
        {IDOK, "OK"}, {IDCANCEL, "Cancel"}, {IDYES, "Yes"}, {IDNO, "No"}};
    std::string names;
    for (const auto& [id, name] : kButtons) {
        if (IsWindowVisible(GetDlgItem(box, id)))
            names += name;
    }
    return names;
}

bool PressButton(HWND dialog, int id)
{
    // What the button tells its dialog when clicked; BM_CLICK itself takes seconds under Wine on Xvfb.
    return PostMessageA(dialog, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED), LPARAM(GetDlgItem(dialog, id))) != FALSE;
}
