// Loaded into a running Quorel.exe by a hook: answers what only that process can read, because icon
// and menu handles do not cross processes. The answer goes back as a global atom in a window property.
#include <windows.h>
#include <string.h>

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

// Between the swap's two renames: once the running program has become the backup, the copy's MoveFileExA
// signals QuorelGap and waits until the test holds the empty path (QuorelTaken). A move from the backup,
// a rollback, signals QuorelRollback.
BOOL(WINAPI* g_move)(LPCSTR, LPCSTR, DWORD) = MoveFileExA;

void Signal(const char* event, const char* awaited = nullptr)
{
    HANDLE signalled = OpenEventA(EVENT_MODIFY_STATE, FALSE, event);
    HANDLE awaitedEvent = awaited ? OpenEventA(SYNCHRONIZE, FALSE, awaited) : nullptr;
    awaited ? SignalObjectAndWait(signalled, awaitedEvent, 30000, FALSE) : SetEvent(signalled);
    CloseHandle(signalled);
    CloseHandle(awaitedEvent);
}

BOOL WINAPI MoveAtTheGap(LPCSTR from, LPCSTR to, DWORD flags)
{
    if (strstr(from, "OldExecutable.bak"))
        Signal("QuorelRollback");
    const BOOL moved = g_move(from, to, flags);
    if (moved && strstr(to, "OldExecutable.bak"))
        Signal("QuorelGap", "QuorelTaken");
    return moved;
}

std::string WatchMoves()
{
    BYTE* base = reinterpret_cast<BYTE*>(GetModuleHandleA(nullptr));
    const IMAGE_NT_HEADERS* nt =
        reinterpret_cast<const IMAGE_NT_HEADERS*>(base + reinterpret_cast<IMAGE_DOS_HEADER*>(base)->e_lfanew);
    auto imports = reinterpret_cast<const IMAGE_IMPORT_DESCRIPTOR*>(
        base + nt->OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_IMPORT].VirtualAddress);
    for (; imports->Name; ++imports) {
        for (ULONG_PTR* slot = reinterpret_cast<ULONG_PTR*>(base + imports->FirstThunk); *slot; ++slot) {
            DWORD was = 0;
            if (*slot != ULONG_PTR(g_move) || !VirtualProtect(slot, sizeof *slot, PAGE_READWRITE, &was))
                continue;
            *slot = ULONG_PTR(MoveAtTheGap);
            HMODULE self = nullptr;  // stays loaded after the hook is gone
            return GetModuleHandleExA(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_PIN,
                                      reinterpret_cast<LPCSTR>(MoveAtTheGap), &self)
                       ? "moves watched"
                       : "not pinned";
        }
    }
    return "MoveFileExA not imported";
}

}  // namespace

extern "C" __declspec(dllexport) LRESULT CALLBACK ProbeHook(int code, WPARAM wParam, LPARAM lParam)
{
    const CWPSTRUCT* sent = reinterpret_cast<const CWPSTRUCT*>(lParam);
    if (code == HC_ACTION && sent->message == RegisterWindowMessageA("QuorelProbe"))
        SetPropA(sent->hwnd, "QuorelProbe", HANDLE(ULONG_PTR(GlobalAddAtomA(Describe(sent->hwnd).c_str()))));
    if (code == HC_ACTION && sent->message == RegisterWindowMessageA("QuorelWatchMoves"))
        SetPropA(sent->hwnd, "QuorelProbe", HANDLE(ULONG_PTR(GlobalAddAtomA(WatchMoves().c_str()))));
    return CallNextHookEx(nullptr, code, wParam, lParam);
}
