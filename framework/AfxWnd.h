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
// that reaches the framework (WM_INITDIALOG for dialogs, or when an existing window is subclassed)
// and unbound at WM_NCDESTROY. Every message of a bound window goes through WindowProc: first the
// message map, then DefWindowProc, the window's original procedure.
class CWnd : public CCmdTarget
{
    DECLARE_DYNAMIC(CWnd)
public:
    CWnd();
    virtual ~CWnd();

    HWND m_hWnd;

    // The object bound to hWnd, or null.
    static CWnd* FromHandlePermanent(HWND hWnd);
    // Binds this object to an existing window and routes its messages through WindowProc.
    BOOL SubclassWindow(HWND hWnd);

    // A window of class lpszClassName, bound to this object once it exists.
    virtual BOOL Create(LPCTSTR lpszClassName, LPCTSTR lpszWindowName, DWORD dwStyle, const RECT& rect,
                        CWnd* pParentWnd, UINT nID, void* pContext = nullptr);
    // An ActiveX control as child nID of pParentWnd, bound to this object. pPersist: an IStream*
    // holding the control's persisted state, or null for a new control. The window name is not
    // used; licensed controls (bstrLicKey) and storage-based state (bStorage) are not supported.
    BOOL CreateControl(REFCLSID clsid, LPCTSTR pszWindowName, DWORD dwStyle, const RECT& rect, CWnd* pParentWnd,
                       UINT nID, void* pPersist = nullptr, BOOL bStorage = FALSE, BSTR bstrLicKey = nullptr);

    virtual LRESULT WindowProc(UINT message, WPARAM wParam, LPARAM lParam);
    // Sees each queued message for this window or its children before it is dispatched; TRUE keeps it.
    virtual BOOL PreTranslateMessage(MSG* pMsg);
    virtual LRESULT DefWindowProc(UINT message, WPARAM wParam, LPARAM lParam);
    // WM_COMMAND: routes the command through OnCmdMsg; FALSE leaves it to default processing.
    virtual BOOL OnCommand(WPARAM wParam, LPARAM lParam);
    // Default processing of the message being handled.
    LRESULT Default();

    // Dialog data exchange: binds the members that DoDataExchange names to their controls.
    virtual void DoDataExchange(CDataExchange* pDX);
    void UpdateData();

    void DragAcceptFiles(BOOL bAccept = TRUE);
    UINT_PTR SetTimer(UINT_PTR nIDEvent, UINT nElapse, TIMERPROC lpfnTimer);
    BOOL KillTimer(UINT_PTR nIDEvent);
    LRESULT SendMessage(UINT message, WPARAM wParam = 0, LPARAM lParam = 0);
    HMENU GetSystemMenu(BOOL bRevert) const;
    BOOL IsIconic() const;
    void GetClientRect(LPRECT lpRect) const;
    // A message box owned by this window; no caption means the application's name.
    int MessageBox(LPCTSTR lpszText, LPCTSTR lpszCaption = nullptr, UINT nType = MB_OK);
    HWND GetDlgItem(int nID) const;

    // One dispatch call on the ActiveX control this object is bound to; nothing without a control.
    // pbParamInfo lists the arguments' VTS_ codes: VTS_BSTR takes a narrow string, VTS_PVARIANT a
    // VARIANT* or null for an omitted argument. Only vtRet VT_EMPTY (no result) is supported.
    void InvokeHelper(DISPID dwDispID, WORD wFlags, VARTYPE vtRet, void* pvRet, const BYTE* pbParamInfo, ...);
    // The control's IUnknown (not AddRef'd), or null when this object is not bound to a control.
    IUnknown* GetControlUnknown() const;
    COleControlSite* GetControlSite() const { return m_pCtrlSite; }
    COleControlContainer* GetControlContainer() const { return m_pCtrlCont; }
    // Binds this object to a control created by a container (DDX_Control, CreateControl).
    BOOL AttachControlSite(COleControlSite* pSite);

protected:
    // Looks the message up in the message map chain and calls its handler; FALSE if none.
    BOOL OnWndMsg(UINT message, WPARAM wParam, LPARAM lParam, LRESULT* pResult);

    // The window's original procedure, the controls it contains, the control it is.
    WNDPROC m_pfnSuper;
    COleControlContainer* m_pCtrlCont;
    COleControlSite* m_pCtrlSite;

private:
    void Bind(HWND hWnd);
    void Unbind();
    // Gives the window its own procedure back and unbinds it.
    void UnsubclassWindow();

    friend class COleControlSite;
    friend LRESULT CALLBACK AfxWndProc(HWND hWnd, UINT message, WPARAM wParam, LPARAM lParam);
};

// The window procedure of every bound window.
LRESULT CALLBACK AfxWndProc(HWND hWnd, UINT message, WPARAM wParam, LPARAM lParam);

// The PreTranslateMessage chain: from the message's window up through its parents to hWndStop.
BOOL AfxWalkPreTranslateTree(HWND hWndStop, MSG* pMsg);
