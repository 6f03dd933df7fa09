#include "framework/AfxWnd.h"
#include "framework/AfxApp.h"
#include "framework/AfxDdx.h"
#include "framework/AfxOcc.h"

namespace {
// The window property that names a window's bound object.
const char kBoundObjectProp[] = "Quorel.CWnd";
// The framework's own window class, for CWnd::Create without a class name.
const char kFrameworkWndClass[] = "QuorelAfxWnd";

// The message being handled, for Default(). The framework runs on one user-interface thread;
// AfxWndProc saves and restores it around nested messages.
MSG g_currentMessage;

BOOL RegisterFrameworkClass()
{
    WNDCLASSA wc = {};
    if (::GetClassInfoA(AfxGetInstanceHandle(), kFrameworkWndClass, &wc))
        return TRUE;
    wc.style = CS_DBLCLKS;
    wc.lpfnWndProc = AfxWndProc;
    wc.hInstance = AfxGetInstanceHandle();
    wc.hCursor = ::LoadCursorA(nullptr, reinterpret_cast<LPCSTR>(IDC_ARROW));
    wc.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_WINDOW + 1);
    wc.lpszClassName = kFrameworkWndClass;
    return ::RegisterClassA(&wc) != 0;
}
}

IMPLEMENT_DYNAMIC(CWnd, CCmdTarget)

LRESULT CALLBACK AfxWndProc(HWND hWnd, UINT message, WPARAM wParam, LPARAM lParam)
{
    CWnd* pWnd = CWnd::FromHandlePermanent(hWnd);
    if (pWnd == nullptr && message == WM_NCCREATE) {
        // A window of the framework's own class carries its object in the creation parameters.
        pWnd = static_cast<CWnd*>(reinterpret_cast<CREATESTRUCTA*>(lParam)->lpCreateParams);
        if (pWnd != nullptr)
            pWnd->Bind(hWnd);
    }
    if (pWnd == nullptr)
        return ::DefWindowProcA(hWnd, message, wParam, lParam);

    const MSG previous = g_currentMessage;
    g_currentMessage.hwnd = hWnd;
    g_currentMessage.message = message;
    g_currentMessage.wParam = wParam;
    g_currentMessage.lParam = lParam;
    const LRESULT lResult = pWnd->WindowProc(message, wParam, lParam);
    g_currentMessage = previous;

    if (message == WM_DESTROY && pWnd->m_pCtrlCont != nullptr) {
        // The controls go while their container window and their own windows still exist.
        pWnd->m_pCtrlCont->DestroyControls();
        delete pWnd->m_pCtrlCont;
        pWnd->m_pCtrlCont = nullptr;
    }
    if (message == WM_NCDESTROY) {
        CWinApp* pApp = AfxGetApp();
        if (pApp != nullptr && pApp->m_pMainWnd == pWnd)
            pApp->m_pMainWnd = nullptr;
        pWnd->UnsubclassWindow();
        pWnd->PostNcDestroy();
    }
    return lResult;
}

BOOL AfxWalkPreTranslateTree(HWND hWndStop, MSG* pMsg)
{
    for (HWND hWnd = pMsg->hwnd; hWnd != nullptr; hWnd = ::GetParent(hWnd)) {
        CWnd* pWnd = CWnd::FromHandlePermanent(hWnd);
        if (pWnd != nullptr && pWnd->PreTranslateMessage(pMsg))
            return TRUE;
        if (hWnd == hWndStop)
            break;
    }
    return FALSE;
}

CWnd::CWnd()
    : m_hWnd(nullptr), m_pfnSuper(nullptr), m_pCtrlCont(nullptr), m_pCtrlSite(nullptr)
{
}

CWnd::~CWnd()
{
    if (m_hWnd != nullptr)
        ::DestroyWindow(m_hWnd);
    if (m_pCtrlSite != nullptr)
        m_pCtrlSite->m_pWndCtrl = nullptr;
    if (m_pCtrlCont != nullptr) {
        m_pCtrlCont->DestroyControls();
        delete m_pCtrlCont;
    }
}

CWnd* CWnd::FromHandlePermanent(HWND hWnd)
{
    return hWnd != nullptr ? static_cast<CWnd*>(::GetPropA(hWnd, kBoundObjectProp)) : nullptr;
}

void CWnd::Bind(HWND hWnd)
{
    m_hWnd = hWnd;
    ::SetPropA(hWnd, kBoundObjectProp, this);
}

void CWnd::Unbind()
{
    if (m_hWnd != nullptr)
        ::RemovePropA(m_hWnd, kBoundObjectProp);
    m_hWnd = nullptr;
}

BOOL CWnd::SubclassWindow(HWND hWnd)
{
    if (m_hWnd != nullptr || !::IsWindow(hWnd) || FromHandlePermanent(hWnd) != nullptr)
        return FALSE;
    Bind(hWnd);
    m_pfnSuper = reinterpret_cast<WNDPROC>(
        ::SetWindowLongPtrA(hWnd, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(AfxWndProc)));
    return TRUE;
}

HWND CWnd::UnsubclassWindow()
{
    HWND hWnd = m_hWnd;
    if (hWnd == nullptr)
        return nullptr;
    // Only if nobody has subclassed the window after us.
    if (m_pfnSuper != nullptr &&
        reinterpret_cast<WNDPROC>(::GetWindowLongPtrA(hWnd, GWLP_WNDPROC)) == AfxWndProc)
        ::SetWindowLongPtrA(hWnd, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(m_pfnSuper));
    m_pfnSuper = nullptr;
    Unbind();
    return hWnd;
}

BOOL CWnd::Create(LPCTSTR lpszClassName, LPCTSTR lpszWindowName, DWORD dwStyle, const RECT& rect,
                  CWnd* pParentWnd, UINT nID, void*)
{
    if (m_hWnd != nullptr)
        return FALSE;
    HWND hParent = pParentWnd != nullptr ? pParentWnd->m_hWnd : nullptr;
    HMENU hMenuOrId = (dwStyle & WS_CHILD) ? reinterpret_cast<HMENU>(static_cast<UINT_PTR>(nID)) : nullptr;
    const int cx = rect.right - rect.left;
    const int cy = rect.bottom - rect.top;

    if (lpszClassName == nullptr) {
        if (!RegisterFrameworkClass())
            return FALSE;
        return ::CreateWindowExA(0, kFrameworkWndClass, lpszWindowName, dwStyle, rect.left, rect.top, cx, cy,
                                 hParent, hMenuOrId, AfxGetInstanceHandle(), this) != nullptr;
    }
    // A window of another class sees its creation messages in its own procedure and is bound after.
    HWND hWnd = ::CreateWindowExA(0, lpszClassName, lpszWindowName, dwStyle, rect.left, rect.top, cx, cy, hParent,
                                  hMenuOrId, AfxGetInstanceHandle(), nullptr);
    if (hWnd == nullptr)
        return FALSE;
    if (!SubclassWindow(hWnd)) {
        ::DestroyWindow(hWnd);
        return FALSE;
    }
    return TRUE;
}

BOOL CWnd::CreateControl(REFCLSID clsid, LPCTSTR, DWORD dwStyle, const RECT& rect, CWnd* pParentWnd, UINT nID,
                         void* pPersist, BOOL bStorage, BSTR bstrLicKey)
{
    if (m_hWnd != nullptr || m_pCtrlSite != nullptr || pParentWnd == nullptr || pParentWnd->m_hWnd == nullptr)
        return FALSE;
    if (bStorage || bstrLicKey != nullptr || !AfxControlContainerEnabled())
        return FALSE;
    if (pParentWnd->m_pCtrlCont == nullptr)
        pParentWnd->m_pCtrlCont = new COleControlContainer(pParentWnd);
    COleControlSite* pSite =
        pParentWnd->m_pCtrlCont->CreateControl(clsid, dwStyle, rect, nID, static_cast<IStream*>(pPersist));
    if (pSite == nullptr)
        return FALSE;
    return AttachControlSite(pSite);
}

BOOL CWnd::AttachControlSite(COleControlSite* pSite)
{
    if (m_pCtrlSite != nullptr || pSite->m_pWndCtrl != nullptr)
        return FALSE;
    m_pCtrlSite = pSite;
    pSite->m_pWndCtrl = this;
    HWND hWnd = pSite->GetControlWindow();
    return hWnd != nullptr ? SubclassWindow(hWnd) : TRUE;
}

BOOL CWnd::DestroyWindow()
{
    return m_hWnd != nullptr && ::DestroyWindow(m_hWnd);
}

LRESULT CWnd::WindowProc(UINT message, WPARAM wParam, LPARAM lParam)
{
    LRESULT lResult = 0;
    if (!OnWndMsg(message, wParam, lParam, &lResult))
        lResult = DefWindowProc(message, wParam, lParam);
    return lResult;
}

BOOL CWnd::PreTranslateMessage(MSG*)
{
    return FALSE;
}

LRESULT CWnd::DefWindowProc(UINT message, WPARAM wParam, LPARAM lParam)
{
    if (m_pfnSuper != nullptr)
        return ::CallWindowProcA(m_pfnSuper, m_hWnd, message, wParam, lParam);
    return ::DefWindowProcA(m_hWnd, message, wParam, lParam);
}

BOOL CWnd::OnCommand(WPARAM wParam, LPARAM lParam)
{
    const UINT nID = LOWORD(wParam);
    // Without a control window the command comes from a menu or an accelerator: a plain command,
    // like a button's BN_CLICKED (0).
    const int nCode = lParam != 0 ? HIWORD(wParam) : 0;
    return OnCmdMsg(nID, nCode);
}

void CWnd::PostNcDestroy()
{
}

LRESULT CWnd::Default()
{
    return DefWindowProc(g_currentMessage.message, g_currentMessage.wParam, g_currentMessage.lParam);
}

void CWnd::DoDataExchange(CDataExchange*)
{
}

BOOL CWnd::UpdateData(BOOL bSaveAndValidate)
{
    CDataExchange dx(this, bSaveAndValidate);
    DoDataExchange(&dx);
    return TRUE;
}

void CWnd::DragAcceptFiles(BOOL bAccept)
{
    ::DragAcceptFiles(m_hWnd, bAccept);
}

UINT_PTR CWnd::SetTimer(UINT_PTR nIDEvent, UINT nElapse, TIMERPROC lpfnTimer)
{
    return ::SetTimer(m_hWnd, nIDEvent, nElapse, lpfnTimer);
}

BOOL CWnd::KillTimer(UINT_PTR nIDEvent)
{
    return ::KillTimer(m_hWnd, nIDEvent);
}

LRESULT CWnd::SendMessage(UINT message, WPARAM wParam, LPARAM lParam)
{
    return ::SendMessageA(m_hWnd, message, wParam, lParam);
}

BOOL CWnd::PostMessage(UINT message, WPARAM wParam, LPARAM lParam)
{
    return ::PostMessageA(m_hWnd, message, wParam, lParam);
}

HMENU CWnd::GetSystemMenu(BOOL bRevert) const
{
    return ::GetSystemMenu(m_hWnd, bRevert);
}

BOOL CWnd::IsIconic() const
{
    return ::IsIconic(m_hWnd);
}

BOOL CWnd::IsWindowVisible() const
{
    return ::IsWindowVisible(m_hWnd);
}

void CWnd::GetClientRect(LPRECT lpRect) const
{
    ::GetClientRect(m_hWnd, lpRect);
}

void CWnd::GetWindowRect(LPRECT lpRect) const
{
    ::GetWindowRect(m_hWnd, lpRect);
}

DWORD CWnd::GetStyle() const
{
    return static_cast<DWORD>(::GetWindowLongPtrA(m_hWnd, GWL_STYLE));
}

int CWnd::MessageBox(LPCTSTR lpszText, LPCTSTR lpszCaption, UINT nType)
{
    if (lpszCaption == nullptr) {
        CWinApp* pApp = AfxGetApp();
        lpszCaption = pApp != nullptr ? pApp->m_pszAppName : nullptr;
    }
    return ::MessageBoxA(m_hWnd, lpszText, lpszCaption, nType);
}

HICON CWnd::SetIcon(HICON hIcon, BOOL bBigIcon)
{
    return reinterpret_cast<HICON>(
        SendMessage(WM_SETICON, bBigIcon ? ICON_BIG : ICON_SMALL, reinterpret_cast<LPARAM>(hIcon)));
}

BOOL CWnd::ShowWindow(int nCmdShow)
{
    return ::ShowWindow(m_hWnd, nCmdShow);
}

BOOL CWnd::EnableWindow(BOOL bEnable)
{
    return ::EnableWindow(m_hWnd, bEnable);
}

HWND CWnd::GetDlgItem(int nID) const
{
    return ::GetDlgItem(m_hWnd, nID);
}

void CWnd::InvokeHelper(DISPID dwDispID, WORD wFlags, VARTYPE vtRet, void* pvRet, const BYTE* pbParamInfo, ...)
{
    if (m_pCtrlSite == nullptr)
        return;
    va_list args;
    va_start(args, pbParamInfo);
    m_pCtrlSite->InvokeHelperV(dwDispID, wFlags, vtRet, pvRet, pbParamInfo, args);
    va_end(args);
}

IUnknown* CWnd::GetControlUnknown() const
{
    return m_pCtrlSite != nullptr ? m_pCtrlSite->GetControlUnknown() : nullptr;
}

void CWnd::OnSysCommand(UINT, LPARAM)
{
    Default();
}

void CWnd::OnPaint()
{
    Default();
}

HCURSOR CWnd::OnQueryDragIcon()
{
    return reinterpret_cast<HCURSOR>(Default());
}

void CWnd::OnDropFiles(HDROP)
{
    Default();
}

void CWnd::OnCancelMode()
{
    Default();
}

void CWnd::OnTimer(UINT_PTR)
{
    Default();
}

void CWnd::OnClose()
{
    Default();
}
