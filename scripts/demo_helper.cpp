// The demo run's hands inside Wine: it finds windows by caption, reads their texts, presses their
// buttons and lists the running Quorel processes. scripts/run.sh builds it and calls it.
//   demo_helper [--desktop NAME] wait CAPTION TIMEOUT_MS [IMAGE]
//                                     waits for a visible window of that caption (and process image);
//                                     prints its process and, for a message box, its text
//   demo_helper [--desktop NAME] press CAPTION BUTTON_ID   clicks the button (IDYES 6, IDNO 7, IDOK 1)
//   demo_helper [--desktop NAME] reveal CAPTION            moves a box that Wine leaves unpainted (see Reveal)
//   demo_helper [--desktop NAME] processes IMAGE_NAME      one line per process with that file name
// Output is UTF-8; the exit code is 0 when the window or a process was found, 1 otherwise.
#include <windows.h>
#include <tlhelp32.h>

#include <string>

namespace {

const DWORD kPollMs = 100;
const UINT kTextTimeoutMs = 2000;

void Print(const std::wstring& line)
{
    std::wstring text = line + L"\n";
    int size = WideCharToMultiByte(CP_UTF8, 0, text.c_str(), static_cast<int>(text.size()), nullptr, 0, nullptr, nullptr);
    std::string utf8(size, '\0');
    WideCharToMultiByte(CP_UTF8, 0, text.c_str(), static_cast<int>(text.size()), &utf8[0], size, nullptr, nullptr);
    DWORD written = 0;
    WriteFile(GetStdHandle(STD_OUTPUT_HANDLE), utf8.data(), static_cast<DWORD>(utf8.size()), &written, nullptr);
}

std::wstring Text(HWND window)
{
    DWORD_PTR length = 0;
    if (!SendMessageTimeoutW(window, WM_GETTEXTLENGTH, 0, 0, SMTO_ABORTIFHUNG, kTextTimeoutMs, &length))
        return L"";
    std::wstring text(length + 1, L'\0');
    DWORD_PTR copied = 0;
    if (!SendMessageTimeoutW(window, WM_GETTEXT, text.size(), reinterpret_cast<LPARAM>(&text[0]),
                             SMTO_ABORTIFHUNG, kTextTimeoutMs, &copied))
        return L"";
    text.resize(lstrlenW(text.c_str()));
    return text;
}

std::wstring ImageOf(DWORD pid)
{
    HANDLE process = OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, pid);
    if (!process)
        return L"";
    wchar_t path[MAX_PATH] = L"";
    DWORD size = MAX_PATH;
    if (!QueryFullProcessImageNameW(process, 0, path, &size))
        path[0] = L'\0';
    CloseHandle(process);
    return path;
}

struct Search {
    const wchar_t* caption;
    const wchar_t* image;  // nullptr: any process
    HWND found;
};

BOOL CALLBACK MatchCaption(HWND window, LPARAM param)
{
    Search& search = *reinterpret_cast<Search*>(param);
    if (!IsWindowVisible(window))
        return TRUE;
    wchar_t caption[512] = L"";
    GetWindowTextW(window, caption, 512);
    if (lstrcmpW(caption, search.caption) != 0)
        return TRUE;
    if (search.image) {
        DWORD pid = 0;
        GetWindowThreadProcessId(window, &pid);
        if (lstrcmpiW(ImageOf(pid).c_str(), search.image) != 0)
            return TRUE;
    }
    search.found = window;
    return FALSE;
}

HWND FindByCaption(const wchar_t* caption, const wchar_t* image = nullptr)
{
    Search search = {caption, image, nullptr};
    EnumWindows(MatchCaption, reinterpret_cast<LPARAM>(&search));
    return search.found;
}

BOOL CALLBACK FirstStaticText(HWND child, LPARAM param)
{
    wchar_t name[64] = L"";
    GetClassNameW(child, name, 64);
    if (lstrcmpiW(name, L"Static") != 0)
        return TRUE;
    LONG type = GetWindowLongW(child, GWL_STYLE) & SS_TYPEMASK;
    if (type == SS_ICON || type == SS_BITMAP)
        return TRUE;
    std::wstring text = Text(child);
    if (text.empty())
        return TRUE;
    *reinterpret_cast<std::wstring*>(param) = text;
    return FALSE;
}

int Wait(const wchar_t* caption, DWORD timeoutMs, const wchar_t* image)
{
    const DWORD start = GetTickCount();
    HWND window = nullptr;
    while (!(window = FindByCaption(caption, image))) {
        if (GetTickCount() - start >= timeoutMs)
            return 1;
        Sleep(kPollMs);
    }
    DWORD pid = 0;
    GetWindowThreadProcessId(window, &pid);
    Print(L"process " + std::to_wstring(pid) + L" " + ImageOf(pid));
    std::wstring message;
    EnumChildWindows(window, FirstStaticText, reinterpret_cast<LPARAM>(&message));
    if (!message.empty())
        Print(L"text " + message);
    return 0;
}

int Press(const wchar_t* caption, int id)
{
    HWND window = FindByCaption(caption);
    if (!window)
        return 1;
    // Posted: the click may start a long operation in the other process.
    HWND button = GetDlgItem(window, id);
    if (button)
        return PostMessageW(button, BM_CLICK, 0, 0) ? 0 : 1;
    return PostMessageW(window, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED), 0) ? 0 : 1;
}

// Wine (8.0, on Xvfb) never paints a popup that lies wholly inside its owner window, and a message box
// opens centred over it. Moved onto the owner's lower edge, the box paints and stays next to its window.
int Reveal(const wchar_t* caption)
{
    HWND window = FindByCaption(caption);
    if (!window)
        return 1;
    HWND owner = GetWindow(window, GW_OWNER);
    RECT box, frame;
    if (!owner || !GetWindowRect(window, &box) || !GetWindowRect(owner, &frame))
        return 0;
    const bool inside = box.left >= frame.left && box.right <= frame.right && box.top >= frame.top &&
                        box.bottom <= frame.bottom;
    if (!inside)
        return 0;
    const int width = box.right - box.left;
    const int height = box.bottom - box.top;
    const int x = (frame.left + frame.right - width) / 2;
    const int y = frame.bottom - height / 2;
    SetWindowPos(window, nullptr, x, y, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
    RedrawWindow(window, nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_FRAME | RDW_ALLCHILDREN);
    return 0;
}

int Processes(const wchar_t* imageName)
{
    HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
    if (snapshot == INVALID_HANDLE_VALUE)
        return 1;
    int count = 0;
    PROCESSENTRY32W entry;
    entry.dwSize = sizeof(entry);
    for (BOOL more = Process32FirstW(snapshot, &entry); more; more = Process32NextW(snapshot, &entry)) {
        if (lstrcmpiW(entry.szExeFile, imageName) != 0)
            continue;
        Print(std::to_wstring(entry.th32ProcessID) + L" " + ImageOf(entry.th32ProcessID));
        ++count;
    }
    CloseHandle(snapshot);
    return count ? 0 : 1;
}

// The program runs in a virtual desktop of its own, which may not exist yet when the helper starts.
bool EnterDesktop(const wchar_t* name, DWORD timeoutMs)
{
    const DWORD start = GetTickCount();
    HDESK desktop = nullptr;
    while (!(desktop = OpenDesktopW(name, 0, FALSE, GENERIC_ALL))) {
        if (GetTickCount() - start >= timeoutMs)
            return false;
        Sleep(kPollMs);
    }
    return SetThreadDesktop(desktop) != FALSE;
}

}  // namespace

int wmain(int argc, wchar_t** argv)
{
    int first = 1;
    const wchar_t* desktop = nullptr;
    if (argc > 2 && lstrcmpW(argv[1], L"--desktop") == 0) {
        desktop = argv[2];
        first = 3;
    }
    const bool waits = (argc - first == 3 || argc - first == 4) && lstrcmpW(argv[first], L"wait") == 0;
    const DWORD timeoutMs = waits ? static_cast<DWORD>(_wtoi(argv[first + 2])) : 0;
    if (desktop && !EnterDesktop(desktop, timeoutMs))
        return 1;
    if (waits)
        return Wait(argv[first + 1], timeoutMs, argc - first == 4 ? argv[first + 3] : nullptr);
    if (argc - first == 3 && lstrcmpW(argv[first], L"press") == 0)
        return Press(argv[first + 1], _wtoi(argv[first + 2]));
    if (argc - first == 2 && lstrcmpW(argv[first], L"reveal") == 0)
        return Reveal(argv[first + 1]);
    if (argc - first == 2 && lstrcmpW(argv[first], L"processes") == 0)
        return Processes(argv[first + 1]);
    Print(L"usage: demo_helper [--desktop NAME] wait CAPTION MS [IMAGE] | press CAPTION ID | reveal CAPTION"
          L" | processes NAME");
    return 2;
}
