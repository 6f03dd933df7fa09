#pragma once
#include "framework/Afx.h"
#include "ui/WebBrowser2.h"

// The main window: a fixed modal dialog whose client area is the WebBrowser control.
class CZelmoraDlg : public CDialog
{
public:
    explicit CZelmoraDlg(CWnd* pParent = nullptr);
    virtual ~CZelmoraDlg();

    CWebBrowser2 m_browser;
    HICON m_hIconSmall;
    HICON m_hIconBig;

protected:
    // The window itself (ui/ZelmoraDlg.cpp): keys, dropped files, painting, the About box, the control's events.
    virtual void DoDataExchange(CDataExchange* pDX) override;
    virtual BOOL PreTranslateMessage(MSG* pMsg) override;
    virtual LRESULT WindowProc(UINT message, WPARAM wParam, LPARAM lParam) override;
    void OnSysCommand(UINT nID, LPARAM lParam);
    void OnPaint();
    HCURSOR OnQueryDragIcon();
    void OnDropFiles(HDROP hDropInfo);
    void OnCancelMode();
    void OnVisible(BOOL bVisible);
    void OnStatusTextChange(LPCTSTR lpszText);
    void OnDocumentComplete(LPDISPATCH pDisp, VARIANT* URL);

    // Initialisation (ui/ZelmoraDlgInit.cpp), ending with the self-installation step over install/SelfInstall.
    virtual BOOL OnInitDialog() override;
    void InstallSelf(const CString& runningVersion);

    // The update timer and the restart (ui/ZelmoraDlgUpdate.cpp), over update/.
    void OnTimer(UINT_PTR nIDEvent);
    void OnClose();

    DECLARE_MESSAGE_MAP()
    DECLARE_EVENTSINK_MAP()
};
