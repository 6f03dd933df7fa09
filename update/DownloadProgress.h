#pragma once
#include <windows.h>

// The window that shows the executable's download after the user said Yes, and lets the user stop it.
// It is modal over its owner: the owner is disabled while it is open. The download runs on the same
// thread and hands the window its messages between reads; only the window's own messages and
// painting are dispatched, so no timer, close or second update of the program runs meanwhile.
class CDownloadProgress
{
public:
    explicit CDownloadProgress(HWND owner);
    ~CDownloadProgress();
    CDownloadProgress(const CDownloadProgress&) = delete;
    CDownloadProgress& operator=(const CDownloadProgress&) = delete;

    // total 0: the server announced no length, and the bar moves without one.
    void Show(ULONGLONG received, ULONGLONG total);
    // Its input is handled with the thread's other messages (update/MessagePump.h).
    HWND Window() const { return m_hWnd; }
    // True once the user has stopped the download (the button, Escape or the close box).
    bool Cancelled() const { return m_cancelled; }

private:
    static INT_PTR CALLBACK DialogProc(HWND hWnd, UINT message, WPARAM wParam, LPARAM lParam);

    HWND m_owner;
    HWND m_hWnd = nullptr;
    bool m_cancelled = false;
    int m_position = 0;
    DWORD m_lastMove = 0;
};
