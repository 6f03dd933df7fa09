#include "support/WindowFinder.h"

#include <cstring>

namespace {

const DWORD kPollMs = 50;
const UINT kTextTimeoutMs = 2000;

struct Criteria {
    const char* caption;
    const char* className;
    DWORD pid;
    bool visibleOnly;
    std::vector<HWND>* found;
};

// Reads the caption the window manager holds, so a hung window cannot stall the search.
std::string StoredText(HWND window)
{
    char text[1024] = "";
    GetWindowTextA(window, text, sizeof(text));
    return text;
}

BOOL CALLBACK CollectMatching(HWND window, LPARAM param)
{
    const Criteria& c = *reinterpret_cast<const Criteria*>(param);
    if (c.visibleOnly && !IsWindowVisible(window))
        return TRUE;
    if (c.pid && WindowProcessId(window) != c.pid)
        return TRUE;
    if (c.className && lstrcmpiA(WindowClass(window).c_str(), c.className) != 0)
        return TRUE;
    if (c.caption && StoredText(window) != c.caption)
        return TRUE;
    c.found->push_back(window);
    return TRUE;
}

BOOL CALLBACK FindStaticText(HWND child, LPARAM param)
{
    if (lstrcmpiA(WindowClass(child).c_str(), "Static") != 0)
        return TRUE;
    LONG type = GetWindowLongA(child, GWL_STYLE) & SS_TYPEMASK;
    if (type == SS_ICON || type == SS_BITMAP)
        return TRUE;
    std::string text = WindowText(child);
    if (text.empty())
        return TRUE;
    *reinterpret_cast<std::string*>(param) = text;
    return FALSE;
}

}  // namespace

std::vector<HWND> FindWindows(const char* caption, const char* className, DWORD pid, bool visibleOnly)
{
    std::vector<HWND> found;
    Criteria c = {caption, className, pid, visibleOnly, &found};
    EnumWindows(CollectMatching, reinterpret_cast<LPARAM>(&c));
    return found;
}

HWND WaitForWindow(const char* caption, const char* className, DWORD timeoutMs, DWORD pid, bool visibleOnly)
{
    DWORD start = GetTickCount();
    for (;;) {
        std::vector<HWND> found = FindWindows(caption, className, pid, visibleOnly);
        if (!found.empty())
            return found.front();
        if (GetTickCount() - start >= timeoutMs)
            return nullptr;
        Sleep(kPollMs);
    }
}

bool WaitForWindowGone(HWND window, DWORD timeoutMs)
{
    DWORD start = GetTickCount();
    while (IsWindow(window)) {
        if (GetTickCount() - start >= timeoutMs)
            return false;
        Sleep(kPollMs);
    }
    return true;
}

bool PressButton(HWND dialog, int id)
{
    if (!IsWindow(dialog))
        return false;
    // Posted, not sent: the click may start a modal loop or a long operation in the other process.
    HWND button = GetDlgItem(dialog, id);
    if (button)
        return PostMessageA(button, BM_CLICK, 0, 0) != FALSE;
    return PostMessageA(dialog, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED), 0) != FALSE;
}

std::string WindowText(HWND window)
{
    DWORD_PTR length = 0;
    if (!SendMessageTimeoutA(window, WM_GETTEXTLENGTH, 0, 0, SMTO_ABORTIFHUNG, kTextTimeoutMs, &length))
        return StoredText(window);
    std::string text(length + 1, '\0');
    DWORD_PTR copied = 0;
    if (!SendMessageTimeoutA(window, WM_GETTEXT, text.size(), reinterpret_cast<LPARAM>(&text[0]),
                             SMTO_ABORTIFHUNG, kTextTimeoutMs, &copied))
        return StoredText(window);
    text.resize(strlen(text.c_str()));
    return text;
}

std::string WindowClass(HWND window)
{
    char name[256] = "";
    GetClassNameA(window, name, sizeof(name));
    return name;
}

DWORD WindowProcessId(HWND window)
{
    DWORD pid = 0;
    GetWindowThreadProcessId(window, &pid);
    return pid;
}

std::string MessageBoxText(HWND box)
{
    // Windows gives the message text the id 0xFFFF; other implementations use another id.
    HWND item = GetDlgItem(box, 0xFFFF);
    if (item)
        return WindowText(item);
    std::string text;
    EnumChildWindows(box, FindStaticText, reinterpret_cast<LPARAM>(&text));
    return text;
}
