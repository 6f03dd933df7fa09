#include "ui/ZelmoraDlg.h"
#include <exdispid.h>
#include "resource.h"
#include "ui/AboutDlg.h"

BEGIN_MESSAGE_MAP(CZelmoraDlg, CDialog)
    ON_WM_SYSCOMMAND()
    ON_WM_PAINT()
    ON_WM_QUERYDRAGICON()
    ON_WM_DROPFILES()
    ON_WM_CANCELMODE()
    ON_WM_TIMER()
    ON_WM_CLOSE()
END_MESSAGE_MAP()

BEGIN_EVENTSINK_MAP(CZelmoraDlg, CDialog)
    ON_EVENT(CZelmoraDlg, IDC_BROWSER, DISPID_ONVISIBLE, OnVisible, VTS_BOOL)
    ON_EVENT(CZelmoraDlg, IDC_BROWSER, DISPID_STATUSTEXTCHANGE, OnStatusTextChange, VTS_BSTR)
    ON_EVENT(CZelmoraDlg, IDC_BROWSER, DISPID_DOCUMENTCOMPLETE, OnDocumentComplete, VTS_DISPATCH VTS_PVARIANT)
END_EVENTSINK_MAP()

CZelmoraDlg::CZelmoraDlg(CWnd* pParent) : CDialog(IDD_MAIN_DIALOG, pParent)
{
    m_hIconSmall = AfxGetApp()->LoadIcon(IDR_MAINFRAME);
    m_hIconBig = AfxGetApp()->LoadIcon(IDI_BIG_ICON);
}

// The icons are shared resources of the executable: nothing to destroy.
CZelmoraDlg::~CZelmoraDlg()
{
}

void CZelmoraDlg::DoDataExchange(CDataExchange* pDX)
{
    CDialog::DoDataExchange(pDX);
    DDX_Control(pDX, IDC_BROWSER, m_browser);
}

BOOL CZelmoraDlg::PreTranslateMessage(MSG* pMsg)
{
    if (pMsg->message == WM_KEYDOWN && pMsg->wParam == VK_RETURN) {
        // Enter belongs to the page: keep it away from the dialog manager's default button.
        return m_browser.PreTranslateMessage(pMsg);
    }
    if (pMsg->message == WM_KEYDOWN && pMsg->wParam == VK_ESCAPE) {
        // Escape would cancel the dialog and so end the program.
        return TRUE;
    }
    return CDialog::PreTranslateMessage(pMsg);
}

LRESULT CZelmoraDlg::WindowProc(UINT message, WPARAM wParam, LPARAM lParam)
{
    if (message == WM_DROPFILES) {
        MessageBox(QUOREL_DROP_NOTICE, nullptr, MB_OK);
    }
    return CDialog::WindowProc(message, wParam, lParam);
}

void CZelmoraDlg::OnSysCommand(UINT nID, LPARAM)
{
    // The low four bits of a system command are used by the platform itself.
    if ((nID & 0xFFF0) == IDM_ABOUTBOX) {
        CAboutDlg dlgAbout;
        dlgAbout.DoModal();
        return;
    }
    Default();
}

void CZelmoraDlg::OnPaint()
{
    if (!IsIconic()) {
        Default();
        return;
    }

    PAINTSTRUCT ps;
    HDC hdc = ::BeginPaint(m_hWnd, &ps);
    SendMessage(WM_ICONERASEBKGND, reinterpret_cast<WPARAM>(hdc), 0);

    const int cxIcon = ::GetSystemMetrics(SM_CXICON);
    const int cyIcon = ::GetSystemMetrics(SM_CYICON);
    RECT rect;
    GetClientRect(&rect);
    const int x = (rect.right - rect.left - cxIcon + 1) / 2;
    const int y = (rect.bottom - rect.top - cyIcon + 1) / 2;
    ::DrawIcon(hdc, x, y, m_hIconSmall);
    ::EndPaint(m_hWnd, &ps);
}

HCURSOR CZelmoraDlg::OnQueryDragIcon()
{
    return reinterpret_cast<HCURSOR>(m_hIconSmall);
}

// The notice is shown by WindowProc; the dropped files themselves are never used, but the platform's
// drop block is ours to release.
void CZelmoraDlg::OnDropFiles(HDROP hDropInfo)
{
    Default();
    ::DragFinish(hDropInfo);
}

void CZelmoraDlg::OnCancelMode()
{
    Default();
}

void CZelmoraDlg::OnVisible(BOOL)
{
}

void CZelmoraDlg::OnStatusTextChange(LPCTSTR)
{
    // Once the page talks to the user, drops on the window are no longer wanted.
    DragAcceptFiles(FALSE);
}

void CZelmoraDlg::OnDocumentComplete(LPDISPATCH, VARIANT*)
{
}
