#include "update/MessagePump.h"

#include "framework/AfxApp.h"
#include "framework/AfxWnd.h"

namespace {

const DWORD kAnswerEveryMs = 50;
const WCHAR kSessionEndReason[] = L"正在更新程序，请稍候。";

DWORD g_lastAnswer = 0;
// The main window's own procedure while a block stands over it.
WNDPROC g_mainWindowProc = nullptr;

void Answer(HWND downloadWindow)
{
    MSG msg;
    // Any peek answers what was sent; this one takes nothing from the queue.
    PeekMessageA(&msg, nullptr, 0, 0, PM_NOREMOVE | PM_QS_SENDMESSAGE);
    if (!downloadWindow)
        return;
    while (PeekMessageA(&msg, downloadWindow, 0, 0, PM_REMOVE)) {
        if (!IsDialogMessageA(downloadWindow, &msg)) {
            TranslateMessage(&msg);
            DispatchMessageA(&msg);
        }
    }
    while (PeekMessageA(&msg, nullptr, WM_PAINT, WM_PAINT, PM_REMOVE))
        DispatchMessageA(&msg);
}

LRESULT CALLBACK RefuseSessionEnd(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    if (message == WM_QUERYENDSESSION)
        return FALSE;
    return CallWindowProcA(g_mainWindowProc, window, message, wParam, lParam);
}

}  // namespace

void AnswerSentMessages(HWND downloadWindow)
{
    const DWORD now = GetTickCount();
    if (now - g_lastAnswer < kAnswerEveryMs)
        return;
    g_lastAnswer = now;
    Answer(downloadWindow);
}

void PauseAnsweringSentMessages(DWORD ms)
{
    const DWORD start = GetTickCount();
    for (DWORD elapsed = 0; elapsed < ms; elapsed = GetTickCount() - start) {
        MsgWaitForMultipleObjects(0, nullptr, FALSE, ms - elapsed, QS_SENDMESSAGE);
        Answer(nullptr);
    }
}

CSessionEndBlock::CSessionEndBlock()
{
    const CWnd* main = AfxGetMainWnd();
    // An outer block refuses already.
    if (!main || !main->m_hWnd || g_mainWindowProc)
        return;
    g_mainWindowProc = reinterpret_cast<WNDPROC>(
        SetWindowLongPtrA(main->m_hWnd, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(RefuseSessionEnd)));
    if (!g_mainWindowProc)
        return;
    m_window = main->m_hWnd;
    ShutdownBlockReasonCreate(m_window, kSessionEndReason);
}

CSessionEndBlock::~CSessionEndBlock()
{
    if (!m_window)
        return;
    ShutdownBlockReasonDestroy(m_window);
    SetWindowLongPtrA(m_window, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(g_mainWindowProc));
    g_mainWindowProc = nullptr;
}
