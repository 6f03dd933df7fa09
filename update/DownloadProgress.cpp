#include "update/DownloadProgress.h"

#include <commctrl.h>

#include "resource.h"

namespace {

const int kBarRange = 1000;
// Without a total the bar moves one step for this many bytes, and starts over when full.
const ULONGLONG kBytesPerStepWithoutTotal = 16 * 1024;
const DWORD kMoveEveryMs = 50;

}  // namespace

CDownloadProgress::CDownloadProgress(HWND owner) : m_owner(owner)
{
    // The bar's window class; the library is loaded here, on the first download, not at start-up.
    INITCOMMONCONTROLSEX controls = {sizeof controls, ICC_PROGRESS_CLASS};
    InitCommonControlsEx(&controls);
    m_hWnd = CreateDialogParamA(GetModuleHandleA(nullptr), MAKEINTRESOURCEA(IDD_DOWNLOAD), owner, DialogProc,
                                reinterpret_cast<LPARAM>(this));
    if (!m_hWnd)
        return;
    SendDlgItemMessageA(m_hWnd, IDC_DOWNLOAD_BAR, PBM_SETRANGE32, 0, kBarRange);
    ShowWindow(m_hWnd, SW_SHOW);
    UpdateWindow(m_hWnd);
    // Modal as a message box is: the owner takes no input while the download runs.
    if (m_owner)
        EnableWindow(m_owner, FALSE);
}

CDownloadProgress::~CDownloadProgress()
{
    if (!m_hWnd)
        return;
    // The owner first, so that activation returns to it and not to another program.
    if (m_owner)
        EnableWindow(m_owner, TRUE);
    DestroyWindow(m_hWnd);
}

void CDownloadProgress::Show(ULONGLONG received, ULONGLONG total)
{
    const int position =
        int(total != 0 ? received * kBarRange / total : (received / kBytesPerStepWithoutTotal) % (kBarRange + 1));
    // Each move paints the bar: moved at the pace its window is painted, it never slows a fast download.
    const DWORD now = GetTickCount();
    if (position == m_position || now - m_lastMove < kMoveEveryMs)
        return;
    m_lastMove = now;
    m_position = position;
    SendDlgItemMessageA(m_hWnd, IDC_DOWNLOAD_BAR, PBM_SETPOS, WPARAM(position), 0);
}

INT_PTR CALLBACK CDownloadProgress::DialogProc(HWND hWnd, UINT message, WPARAM wParam, LPARAM lParam)
{
    if (message == WM_INITDIALOG) {
        SetWindowLongPtrA(hWnd, DWLP_USER, lParam);
        return TRUE;
    }
    CDownloadProgress* self = reinterpret_cast<CDownloadProgress*>(GetWindowLongPtrA(hWnd, DWLP_USER));
    // The button, Escape and the close box all arrive as IDCANCEL.
    if (self && message == WM_COMMAND && LOWORD(wParam) == IDCANCEL) {
        self->m_cancelled = true;
        return TRUE;
    }
    return FALSE;
}
