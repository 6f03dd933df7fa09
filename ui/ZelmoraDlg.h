#pragma once
#include "framework/Afx.h"
#include "ui/WebBrowser2.h"

// The main window: a fixed modal dialog whose client area is the WebBrowser control.
class CZelmoraDlg : public CDialog
{
public:
    explicit CZelmoraDlg(CWnd* pParent = nullptr);
    virtual ~CZelmoraDlg();

    // Full four-component version text of a file's version resource; empty on failure.
    CString ReadFullVersionText(const char* path);

    // Shortcut writers; they use none of the window's state.
    BOOL CreateLink(LPCSTR target, LPCSTR linkPath, LPCSTR arguments);
    void CreateDesktopLink();

    char m_szExeFolder[256];
    char m_szExeName[256];
    CWebBrowser2 m_browser;
    HICON m_hIconSmall;
    HICON m_hIconBig;

protected:
    virtual void DoDataExchange(CDataExchange* pDX) override;
    virtual BOOL PreTranslateMessage(MSG* pMsg) override;
    virtual LRESULT WindowProc(UINT message, WPARAM wParam, LPARAM lParam) override;
    virtual BOOL OnInitDialog() override;

    // Self-installation (last step of OnInitDialog) and the shortcut placement it hands over to.
    void InstallSelf(const CString& runningVersion);
    void PlaceShortcuts(const char* installFolder);

    void OnSysCommand(UINT nID, LPARAM lParam);
    void OnPaint();
    HCURSOR OnQueryDragIcon();
    void OnDropFiles(HDROP hDropInfo);
    void OnCancelMode();
    void OnTimer(UINT_PTR nIDEvent);
    void OnClose();
    DECLARE_MESSAGE_MAP()

    void OnVisible(BOOL bVisible);
    void OnStatusTextChange(LPCTSTR lpszText);
    void OnDocumentComplete(LPDISPATCH pDisp, VARIANT* URL);
    DECLARE_EVENTSINK_MAP()
};
