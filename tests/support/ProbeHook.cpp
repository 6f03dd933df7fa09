// Loaded into a running Quorel.exe by a hook: answers what only that process can read, because icon
// and menu handles do not cross processes. The answer goes back as a global atom in a window property.
#include <windows.h>

#include <string>

#include "resource.h"

namespace {

std::string IconName(HICON icon)
{
    if (!icon)
        return "none";
    if (icon == LoadIconA(nullptr, IDI_HAND))
        return "error";
    if (icon == LoadIconA(nullptr, IDI_QUESTION))
        return "question";
    if (icon == LoadIconA(GetModuleHandleA(nullptr), MAKEINTRESOURCEA(IDR_MAINFRAME)))
        return "128";
    return "other";
}

BOOL CALLBACK FindIcon(HWND child, LPARAM param)
{
    if ((GetWindowLongA(child, GWL_STYLE) & SS_TYPEMASK) != SS_ICON || !IsWindowVisible(child))
        return TRUE;
    *reinterpret_cast<HICON*>(param) = reinterpret_cast<HICON>(SendMessageA(child, STM_GETICON, 0, 0));
    return FALSE;
}

std::string Describe(HWND window)
{
    HICON shown = nullptr;
    EnumChildWindows(window, FindIcon, reinterpret_cast<LPARAM>(&shown));
    std::string answer = "icon=" + IconName(shown);
    HMENU menu = GetSystemMenu(window, FALSE);
    const int last = GetMenuItemCount(menu) - 1;
    if (!(GetWindowLongA(window, GWL_EXSTYLE) & WS_EX_APPWINDOW) || last < 1)
        return answer;
    char text[128] = "";
    GetMenuStringA(menu, last, text, sizeof text, MF_BYPOSITION);
    int abouts = 0;
    for (int i = 0; i <= last; ++i)
        abouts += GetMenuItemID(menu, i) == IDM_ABOUTBOX;
    return answer + " big=" + IconName(HICON(SendMessageA(window, WM_GETICON, ICON_BIG, 0))) +
           " small=" + IconName(HICON(SendMessageA(window, WM_GETICON, ICON_SMALL, 0))) + " menu=" + text +
           ((GetMenuState(menu, last - 1, MF_BYPOSITION) & MF_SEPARATOR) ? " after separator" : " alone") +
           (abouts == 1 && GetMenuItemID(menu, last) == IDM_ABOUTBOX ? ", once" : ", not once");
}

}  // namespace

extern "C" __declspec(dllexport) LRESULT CALLBACK ProbeHook(int code, WPARAM wParam, LPARAM lParam)
{
    const CWPSTRUCT* sent = reinterpret_cast<const CWPSTRUCT*>(lParam);
    if (code == HC_ACTION && sent->message == RegisterWindowMessageA("QuorelProbe"))
        SetPropA(sent->hwnd, "QuorelProbe", HANDLE(ULONG_PTR(GlobalAddAtomA(Describe(sent->hwnd).c_str()))));
    return CallNextHookEx(nullptr, code, wParam, lParam);
}
