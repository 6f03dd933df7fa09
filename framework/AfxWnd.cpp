#include "framework/AfxWnd.h"
#include "framework/AfxApp.h"
#include "framework/AfxDdx.h"
#include "framework/AfxOcc.h"

namespace {
// The window property that names a window's bound object.
const char kBoundObjectProp[] = "Quorel.CWnd";

// The message being handled, for Default(). The framework runs on one user-interface thread;
// AfxWndProc saves and restores it around nested messages.
MSG g_currentMessage;
}  // namespace

IMPLEMENT_DYNAMIC(CWnd, CCmdTarget)

LRESULT CALLBACK AfxWndProc(HWND hWnd, UINT message, WPARAM wParam, LPARAM lParam)
{
    CWnd* pWnd = CWnd::FromHandlePermanent(hWnd);
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

CWnd::CWnd() : m_hWnd(nullptr), m_pfnSuper(nullptr), m_pCtrlCont(nullptr), m_pCtrlSite(nullptr)
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
    m_pfnSuper =
        reinterpret_cast<WNDPROC>(::SetWindowLongPtrA(hWnd, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(AfxWndProc)));
    return TRUE;
}

void CWnd::UnsubclassWindow()
{
    if (m_hWnd == nullptr)
        return;
    // Only if nobody has subclassed the window after us.
    if (m_pfnSuper != nullptr && reinterpret_cast<WNDPROC>(::GetWindowLongPtrA(m_hWnd, GWLP_WNDPROC)) == AfxWndProc)
        ::SetWindowLongPtrA(m_hWnd, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(m_pfnSuper));
    m_pfnSuper = nullptr;
    Unbind();
}

// The window sees its creation messages in its own class's procedure and is bound after.
BOOL CWnd::Create(LPCTSTR lpszClassName, LPCTSTR lpszWindowName, DWORD dwStyle, const RECT& rect, CWnd* pParentWnd,
                  UINT nID, void*)
{
    if (m_hWnd != nullptr)
        return FALSE;
    HWND hParent = pParentWnd != nullptr ? pParentWnd->m_hWnd : nullptr;
    HMENU hMenuOrId = (dwStyle & WS_CHILD) ? reinterpret_cast<HMENU>(static_cast<UINT_PTR>(nID)) : nullptr;
    HWND hWnd =
        ::CreateWindowExA(0, lpszClassName, lpszWindowName, dwStyle, rect.left, rect.top, rect.right - rect.left,
                          rect.bottom - rect.top, hParent, hMenuOrId, AfxGetInstanceHandle(), nullptr);
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

LRESULT CWnd::Default()
{
    return DefWindowProc(g_currentMessage.message, g_currentMessage.wParam, g_currentMessage.lParam);
}

void CWnd::DoDataExchange(CDataExchange*)
{
}

void CWnd::UpdateData()
{
    CDataExchange dx(this);
    DoDataExchange(&dx);
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

HMENU CWnd::GetSystemMenu(BOOL bRevert) const
{
    return ::GetSystemMenu(m_hWnd, bRevert);
}

BOOL CWnd::IsIconic() const
{
    return ::IsIconic(m_hWnd);
}

void CWnd::GetClientRect(LPRECT lpRect) const
{
    ::GetClientRect(m_hWnd, lpRect);
}

int CWnd::MessageBox(LPCTSTR lpszText, LPCTSTR lpszCaption, UINT nType)
{
    if (lpszCaption == nullptr) {
        CWinApp* pApp = AfxGetApp();
        lpszCaption = pApp != nullptr ? pApp->m_pszAppName : nullptr;
    }
    return ::MessageBoxA(m_hWnd, lpszText, lpszCaption, nType);
}

HWND CWnd::GetDlgItem(int nID) const
{
    return ::GetDlgItem(m_hWnd, nID);
}

IUnknown* CWnd::GetControlUnknown() const
{
    return m_pCtrlSite != nullptr ? m_pCtrlSite->GetControlUnknown() : nullptr;
}

void CWnd::InvokeHelper(DISPID dwDispID, WORD wFlags, VARTYPE vtRet, void*, const BYTE* pbParamInfo, ...)
{
    if (m_pCtrlSite == nullptr)
        return;
    va_list args;
    va_start(args, pbParamInfo);
    m_pCtrlSite->InvokeHelperV(dwDispID, wFlags, vtRet, pbParamInfo, args);
    va_end(args);
}
