#include "framework/AfxDialog.h"
#include "framework/AfxApp.h"
#include "framework/AfxDlgTemplate.h"
#include "framework/AfxOcc.h"

BEGIN_MESSAGE_MAP(CDialog, CWnd)
    ON_COMMAND(IDOK, OnOK)
    ON_COMMAND(IDCANCEL, OnCancel)
END_MESSAGE_MAP()

CDialog::CDialog(UINT nIDTemplate, CWnd* pParentWnd)
    : m_nIDTemplate(nIDTemplate),
      m_pParentWnd(pParentWnd),
      m_pTemplate(nullptr),
      m_nModalResult(-1),
      m_bContinueModal(FALSE)
{
}

CDialog::~CDialog()
{
}

// The window the modal dialog disables while it runs: the parent's top-level window, else the
// application's main window unless that is this dialog.
HWND CDialog::FindOwner() const
{
    CWnd* pOwner = m_pParentWnd != nullptr ? m_pParentWnd : AfxGetMainWnd();
    if (pOwner == nullptr || pOwner == this || pOwner->m_hWnd == nullptr)
        return nullptr;
    HWND hOwner = pOwner->m_hWnd;
    while (::GetWindowLongPtrA(hOwner, GWL_STYLE) & WS_CHILD) {
        HWND hParent = ::GetParent(hOwner);
        if (hParent == nullptr)
            break;
        hOwner = hParent;
    }
    return hOwner;
}

INT_PTR CDialog::DoModal()
{
    HINSTANCE hResource = AfxGetResourceHandle();
    CDialogTemplate dialogTemplate;
    if (!dialogTemplate.Load(hResource, MAKEINTRESOURCEA(m_nIDTemplate)))
        return -1;

    HWND hOwner = FindOwner();
    const BOOL bEnableOwner = hOwner != nullptr && ::IsWindowEnabled(hOwner);
    if (bEnableOwner)
        ::EnableWindow(hOwner, FALSE);

    m_nModalResult = -1;
    m_bContinueModal = TRUE;
    m_pTemplate = &dialogTemplate;
    // WM_INITDIALOG binds the window, creates the controls and runs OnInitDialog (HandleInitDialog).
    HWND hWnd = ::CreateDialogIndirectParamA(hResource, dialogTemplate.GetTemplate(), hOwner, DialogProc,
                                             reinterpret_cast<LPARAM>(this));
    m_pTemplate = nullptr;
    if (hWnd == nullptr)
        m_bContinueModal = FALSE;

    if (m_bContinueModal) {
        if (!::IsWindowVisible(m_hWnd))
            ::ShowWindow(m_hWnd, SW_SHOWNORMAL);
        RunModalLoop();
    }

    // The owner comes back before the dialog goes, so activation returns to it and not elsewhere.
    if (m_hWnd != nullptr)
        ::SetWindowPos(m_hWnd, nullptr, 0, 0, 0, 0,
                       SWP_HIDEWINDOW | SWP_NOSIZE | SWP_NOMOVE | SWP_NOACTIVATE | SWP_NOZORDER);
    if (bEnableOwner)
        ::EnableWindow(hOwner, TRUE);
    if (hOwner != nullptr && ::GetActiveWindow() == m_hWnd)
        ::SetActiveWindow(hOwner);
    if (m_hWnd != nullptr)
        ::DestroyWindow(m_hWnd);
    return m_nModalResult;
}

void CDialog::RunModalLoop()
{
    MSG msg;
    while (m_bContinueModal) {
        const BOOL bGot = ::GetMessageA(&msg, nullptr, 0, 0);
        if (bGot == 0) {
            // WM_QUIT belongs to the loop outside this one.
            ::PostQuitMessage(static_cast<int>(msg.wParam));
            break;
        }
        if (bGot == -1)
            break;
        if (AfxWalkPreTranslateTree(m_hWnd, &msg))
            continue;
        ::TranslateMessage(&msg);
        ::DispatchMessageA(&msg);
    }
}

void CDialog::EndDialog(int nResult)
{
    m_nModalResult = nResult;
    if (m_bContinueModal) {
        m_bContinueModal = FALSE;
        // Wakes the modal loop if it is waiting in GetMessage.
        if (m_hWnd != nullptr)
            ::PostMessageA(m_hWnd, WM_NULL, 0, 0);
    }
}

INT_PTR CALLBACK CDialog::DialogProc(HWND hWnd, UINT message, WPARAM, LPARAM lParam)
{
    if (message != WM_INITDIALOG)
        return FALSE;
    CDialog* pDialog = reinterpret_cast<CDialog*>(lParam);
    return pDialog != nullptr ? pDialog->HandleInitDialog(hWnd) : TRUE;
}

namespace {
// The default placement of a modal dialog that its initialisation neither showed nor moved:
// centred over its owner, or over the work area when it has none.
void CenterDialog(HWND hWnd, HWND hOwner)
{
    RECT rcDialog;
    ::GetWindowRect(hWnd, &rcDialog);
    RECT rcArea;
    ::SystemParametersInfoA(SPI_GETWORKAREA, 0, &rcArea, 0);
    RECT rcCenter = rcArea;
    if (hOwner != nullptr && ::IsWindowVisible(hOwner) && !::IsIconic(hOwner))
        ::GetWindowRect(hOwner, &rcCenter);
    const int cx = rcDialog.right - rcDialog.left;
    const int cy = rcDialog.bottom - rcDialog.top;
    int x = (rcCenter.left + rcCenter.right - cx) / 2;
    int y = (rcCenter.top + rcCenter.bottom - cy) / 2;
    // Keep the whole dialog on the work area.
    if (x + cx > rcArea.right)
        x = rcArea.right - cx;
    if (y + cy > rcArea.bottom)
        y = rcArea.bottom - cy;
    if (x < rcArea.left)
        x = rcArea.left;
    if (y < rcArea.top)
        y = rcArea.top;
    ::SetWindowPos(hWnd, nullptr, x, y, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
}
}  // namespace

// WM_INITDIALOG, reached through the dialog manager before the window is subclassed.
BOOL CDialog::HandleInitDialog(HWND hWnd)
{
    // From here on every message of the dialog goes through WindowProc and the message map;
    // default processing is the dialog manager.
    SubclassWindow(hWnd);

    const CDialogTemplate* pTemplate = m_pTemplate;
    if (pTemplate != nullptr && pTemplate->GetControlCount() > 0) {
        if (!AfxControlContainerEnabled()) {
            EndDialog(-1);
            return FALSE;
        }
        if (m_pCtrlCont == nullptr)
            m_pCtrlCont = new COleControlContainer(this);
        for (int i = 0; i < pTemplate->GetControlCount(); ++i) {
            const AfxControlItem& item = pTemplate->GetControl(i);
            RECT rect = item.rcDialogUnits;
            ::MapDialogRect(hWnd, &rect);
            const BYTE* pState = nullptr;
            DWORD cbState = 0;
            CComRef<IStream> pStream;
            if (AfxFindControlState(AfxGetResourceHandle(), MAKEINTRESOURCEA(m_nIDTemplate), item.nID, &pState,
                                    &cbState))
                pStream.Reset(AfxCreateMemoryStream(pState, cbState));
            if (m_pCtrlCont->CreateControl(item.clsid, item.dwStyle, rect, item.nID, pStream.Get()) == nullptr) {
                // The dialog cannot work without its controls: DoModal returns -1.
                EndDialog(-1);
                return FALSE;
            }
        }
    }
    RECT rcBefore;
    ::GetWindowRect(hWnd, &rcBefore);
    const BOOL bFocusSet = OnInitDialog();
    RECT rcAfter;
    // The dialog manager shows a WS_VISIBLE template only after WM_INITDIALOG.
    const LONG_PTR style = ::GetWindowLongPtrA(hWnd, GWL_STYLE);
    if (m_hWnd != nullptr && !(style & (WS_VISIBLE | WS_CHILD)) && ::GetWindowRect(hWnd, &rcAfter) &&
        ::EqualRect(&rcBefore, &rcAfter))
        CenterDialog(hWnd, ::GetWindow(hWnd, GW_OWNER));
    return bFocusSet;
}

// The exchange binds the controls; nothing is read back from them later.
BOOL CDialog::OnInitDialog()
{
    UpdateData();
    return TRUE;
}

void CDialog::OnOK()
{
    EndDialog(IDOK);
}

void CDialog::OnCancel()
{
    EndDialog(IDCANCEL);
}

BOOL CDialog::PreTranslateMessage(MSG* pMsg)
{
    if (m_hWnd == nullptr)
        return FALSE;
    const BOOL bKeyboard = pMsg->message >= WM_KEYFIRST && pMsg->message <= WM_KEYLAST;
    const BOOL bMouse = pMsg->message >= WM_MOUSEFIRST && pMsg->message <= WM_MOUSELAST;
    if (!bKeyboard && !bMouse)
        return FALSE;
    // The UI-active control's accelerators come before the dialog manager's keys.
    if (bKeyboard && m_pCtrlCont != nullptr && m_pCtrlCont->TranslateAccelerator(pMsg))
        return TRUE;
    return ::IsDialogMessageA(m_hWnd, pMsg);
}

// Commands the dialog does not handle itself go to the application object.
BOOL CDialog::OnCmdMsg(UINT nID, int nCode)
{
    if (CWnd::OnCmdMsg(nID, nCode))
        return TRUE;
    CWinApp* pApp = AfxGetApp();
    return pApp != nullptr && pApp->OnCmdMsg(nID, nCode);
}
