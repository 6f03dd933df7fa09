#pragma once
#include <windows.h>
#include <ole2.h>
#include <shellapi.h>
#include "framework/AfxObject.h"
#include "framework/AfxMsgMap.h"

class CDataExchange;
class COleControlContainer;
class COleControlSite;

// Something that commands and control events can be routed to through its maps.
class CCmdTarget : public CObject
{
    DECLARE_DYNAMIC(CCmdTarget)
public:
    CCmdTarget();
    virtual ~CCmdTarget();

    // Calls the ON_COMMAND handler for command nID (notification code nCode); FALSE if there is none.
    virtual BOOL OnCmdMsg(UINT nID, int nCode);
    // Calls the event sink map's handler for event dispid of control nCtrlID. S_OK when a handler
    // ran, S_FALSE when the map has none, an error when the parameters do not fit the handler.
    HRESULT OnEvent(UINT nCtrlID, DISPID dispid, DISPPARAMS* pDispParams);

protected:
    // The roots of every message map and event sink map chain: empty tables without a base.
    static const AFX_MSGMAP* GetThisMessageMap();
    virtual const AFX_MSGMAP* GetMessageMap() const;
    static const AFX_EVENTSINKMAP* GetThisEventSinkMap();
    virtual const AFX_EVENTSINKMAP* GetEventSinkMap() const;
};

// A window owned by a C++ object. The object is bound to its window at the window's first message
// (WM_NCCREATE, WM_INITDIALOG for dialogs, or when an existing window is subclassed) and unbound at
// WM_NCDESTROY. Every message of a bound window goes through WindowProc: first the message map,
// then DefWindowProc, the window's original procedure.
class CWnd : public CCmdTarget
{
    DECLARE_DYNAMIC(CWnd)
public:
    CWnd();
    virtual ~CWnd();

    HWND m_hWnd;
    operator HWND() const { return m_hWnd; }
    HWND GetSafeHwnd() const { return m_hWnd; }

    // The object bound to hWnd, or null.
    static CWnd* FromHandlePermanent(HWND hWnd);
    // Binds this object to an existing window and routes its messages through WindowProc.
    BOOL SubclassWindow(HWND hWnd);
    // Gives the window its own procedure back and unbinds it; returns the window.
    HWND UnsubclassWindow();

    // A window of class lpszClassName (null: the framework's own window class), bound from its first message.
    virtual BOOL Create(LPCTSTR lpszClassName, LPCTSTR lpszWindowName, DWORD dwStyle, const RECT& rect,
                        CWnd* pParentWnd, UINT nID, void* pContext = nullptr);
    // An ActiveX control as child nID of pParentWnd, bound to this object. pPersist: an IStream*
    // holding the control's persisted state, or null for a new control. The window name is not
    // used; licensed controls (bstrLicKey) and storage-based state (bStorage) are not supported.
    BOOL CreateControl(REFCLSID clsid, LPCTSTR pszWindowName, DWORD dwStyle, const RECT& rect,
                       CWnd* pParentWnd, UINT nID, void* pPersist = nullptr, BOOL bStorage = FALSE,
                       BSTR bstrLicKey = nullptr);
    virtual BOOL DestroyWindow();

    virtual LRESULT WindowProc(UINT message, WPARAM wParam, LPARAM lParam);
    // Sees each queued message for this window or its children before it is dispatched; TRUE keeps it.
    virtual BOOL PreTranslateMessage(MSG* pMsg);
    virtual LRESULT DefWindowProc(UINT message, WPARAM wParam, LPARAM lParam);
    // WM_COMMAND: routes the command through OnCmdMsg; FALSE leaves it to default processing.
    virtual BOOL OnCommand(WPARAM wParam, LPARAM lParam);
    // After the window is gone (WM_NCDESTROY); the object is already unbound.
    virtual void PostNcDestroy();
    // Default processing of the message being handled.
    LRESULT Default();

    // Dialog data exchange: UpdateData(FALSE) fills controls, UpdateData(TRUE) reads them back.
    virtual void DoDataExchange(CDataExchange* pDX);
    BOOL UpdateData(BOOL bSaveAndValidate = TRUE);

    void DragAcceptFiles(BOOL bAccept = TRUE);
    UINT_PTR SetTimer(UINT_PTR nIDEvent, UINT nElapse, TIMERPROC lpfnTimer);
    BOOL KillTimer(UINT_PTR nIDEvent);
    LRESULT SendMessage(UINT message, WPARAM wParam = 0, LPARAM lParam = 0);
    BOOL PostMessage(UINT message, WPARAM wParam = 0, LPARAM lParam = 0);
    HMENU GetSystemMenu(BOOL bRevert) const;
    BOOL IsIconic() const;
    BOOL IsWindowVisible() const;
    void GetClientRect(LPRECT lpRect) const;
    void GetWindowRect(LPRECT lpRect) const;
    DWORD GetStyle() const;
    // A message box owned by this window; no caption means the application's name.
    int MessageBox(LPCTSTR lpszText, LPCTSTR lpszCaption = nullptr, UINT nType = MB_OK);
    HICON SetIcon(HICON hIcon, BOOL bBigIcon);
    BOOL ShowWindow(int nCmdShow);
    BOOL EnableWindow(BOOL bEnable = TRUE);
    HWND GetDlgItem(int nID) const;

    // One dispatch call on the ActiveX control this object is bound to; nothing without a control.
    // pbParamInfo lists the arguments' VTS_ codes (VTS_BSTR takes a narrow string, VTS_PVARIANT a
    // VARIANT* or null for an omitted argument, VTS_I4 a long, VTS_BOOL a BOOL, VTS_DISPATCH an
    // IDispatch*). vtRet VT_EMPTY asks for no result; VT_I4 and VT_BOOL store into pvRet.
    void InvokeHelper(DISPID dwDispID, WORD wFlags, VARTYPE vtRet, void* pvRet, const BYTE* pbParamInfo, ...);
    // The control's IUnknown (not AddRef'd), or null when this object is not bound to a control.
    IUnknown* GetControlUnknown() const;
    COleControlSite* GetControlSite() const { return m_pCtrlSite; }
    COleControlContainer* GetControlContainer() const { return m_pCtrlCont; }
    // Binds this object to a control created by a container (DDX_Control, CreateControl).
    BOOL AttachControlSite(COleControlSite* pSite);

    // Message handlers; these defaults hand the message to default processing.
    afx_msg void OnSysCommand(UINT nID, LPARAM lParam);
    afx_msg void OnPaint();
    afx_msg HCURSOR OnQueryDragIcon();
    afx_msg void OnDropFiles(HDROP hDropInfo);
    afx_msg void OnCancelMode();
    afx_msg void OnTimer(UINT_PTR nIDEvent);
    afx_msg void OnClose();

    // Implementation: the window's original procedure, the controls it contains, the control it is.
    WNDPROC m_pfnSuper;
    COleControlContainer* m_pCtrlCont;
    COleControlSite* m_pCtrlSite;

protected:
    // Looks the message up in the message map chain and calls its handler; FALSE if none.
    BOOL OnWndMsg(UINT message, WPARAM wParam, LPARAM lParam, LRESULT* pResult);

    void Bind(HWND hWnd);
    void Unbind();

    friend LRESULT CALLBACK AfxWndProc(HWND hWnd, UINT message, WPARAM wParam, LPARAM lParam);
};

// The window procedure of every bound window.
LRESULT CALLBACK AfxWndProc(HWND hWnd, UINT message, WPARAM wParam, LPARAM lParam);

// The PreTranslateMessage chain: from the message's window up through its parents to hWndStop.
BOOL AfxWalkPreTranslateTree(HWND hWndStop, MSG* pMsg);
