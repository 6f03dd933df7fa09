#pragma once
#include <windows.h>
#include <ole2.h>
#include <ocidl.h>
#include "framework/AfxHandles.h"
#include "framework/AfxWnd.h"

// ActiveX control containment. Call before the first dialog that holds a control; the first call
// initialises OLE on this thread, and AfxTermControlContainer (called by AfxWinTerm) balances it.
void AfxEnableControlContainer();
BOOL AfxControlContainerEnabled();
void AfxTermControlContainer();

// A stream over a copy of cb bytes (an HGLOBAL stream), or null.
IStream* AfxCreateMemoryStream(const void* pData, DWORD cb);

class COleControlContainer;

// The container's side of one hosted control. One object with one reference count, seen by the
// control through several interface facets that forward QueryInterface/AddRef/Release to it: the
// client site, the in-place site, the in-place frame, the control site, the ambient properties,
// and the event sink advised on the control's default source interface.
class COleControlSite
{
public:
    COleControlSite(COleControlContainer* pCtrlCont, UINT nID);

    // Creates, loads and activates the control at rect (container client pixels). pStream holds
    // its persisted state, or null for a new control.
    BOOL CreateControl(REFCLSID clsid, DWORD dwStyle, const RECT& rect, IStream* pStream);
    // Ends the control in the order OLE requires; the site stays alive until its last reference goes.
    void DestroyControl();

    HRESULT QueryInterface(REFIID riid, void** ppv);
    ULONG AddRef();
    ULONG Release();

    // One dispatch call on the control; see CWnd::InvokeHelper.
    HRESULT InvokeHelperV(DISPID dwDispID, WORD wFlags, VARTYPE vtRet, const BYTE* pbParamInfo, va_list args);

    UINT GetID() const { return m_nID; }
    HWND GetControlWindow() const { return m_hWnd; }
    IUnknown* GetControlUnknown() const { return m_pObject.Get(); }
    // The CWnd bound to the control (DDX_Control or CreateControl), or null.
    CWnd* m_pWndCtrl;

private:
    ~COleControlSite();
    COleControlSite(const COleControlSite&) = delete;
    COleControlSite& operator=(const COleControlSite&) = delete;

    void LoadState(IStream* pStream);
    BOOL ConnectSink();
    BOOL IsUIActive() const;
    BOOL FindEventIID(IID* piid);
    HRESULT OnEvent(DISPID dispid, DISPPARAMS* pDispParams);

    struct ClientSite : IOleClientSite
    {
        COleControlSite* m_pOwner;
        STDMETHOD(QueryInterface)(REFIID riid, void** ppv) override { return m_pOwner->QueryInterface(riid, ppv); }
        STDMETHOD_(ULONG, AddRef)() override { return m_pOwner->AddRef(); }
        STDMETHOD_(ULONG, Release)() override { return m_pOwner->Release(); }
        STDMETHOD(SaveObject)() override;
        STDMETHOD(GetMoniker)(DWORD dwAssign, DWORD dwWhichMoniker, IMoniker** ppmk) override;
        STDMETHOD(GetContainer)(IOleContainer** ppContainer) override;
        STDMETHOD(ShowObject)() override;
        STDMETHOD(OnShowWindow)(BOOL fShow) override;
        STDMETHOD(RequestNewObjectLayout)() override;
    };
    struct InPlaceSite : IOleInPlaceSite
    {
        COleControlSite* m_pOwner;
        STDMETHOD(QueryInterface)(REFIID riid, void** ppv) override { return m_pOwner->QueryInterface(riid, ppv); }
        STDMETHOD_(ULONG, AddRef)() override { return m_pOwner->AddRef(); }
        STDMETHOD_(ULONG, Release)() override { return m_pOwner->Release(); }
        STDMETHOD(GetWindow)(HWND* phwnd) override;
        STDMETHOD(ContextSensitiveHelp)(BOOL fEnterMode) override;
        STDMETHOD(CanInPlaceActivate)() override;
        STDMETHOD(OnInPlaceActivate)() override;
        STDMETHOD(OnUIActivate)() override;
        STDMETHOD(GetWindowContext)
        (IOleInPlaceFrame** ppFrame, IOleInPlaceUIWindow** ppDoc, LPRECT lprcPosRect, LPRECT lprcClipRect,
         LPOLEINPLACEFRAMEINFO lpFrameInfo) override;
        STDMETHOD(Scroll)(SIZE scrollExtant) override;
        STDMETHOD(OnUIDeactivate)(BOOL fUndoable) override;
        STDMETHOD(OnInPlaceDeactivate)() override;
        STDMETHOD(DiscardUndoState)() override;
        STDMETHOD(DeactivateAndUndo)() override;
        STDMETHOD(OnPosRectChange)(LPCRECT lprcPosRect) override;
    };
    struct InPlaceFrame : IOleInPlaceFrame
    {
        COleControlSite* m_pOwner;
        STDMETHOD(QueryInterface)(REFIID riid, void** ppv) override { return m_pOwner->QueryInterface(riid, ppv); }
        STDMETHOD_(ULONG, AddRef)() override { return m_pOwner->AddRef(); }
        STDMETHOD_(ULONG, Release)() override { return m_pOwner->Release(); }
        STDMETHOD(GetWindow)(HWND* phwnd) override;
        STDMETHOD(ContextSensitiveHelp)(BOOL fEnterMode) override;
        STDMETHOD(GetBorder)(LPRECT lprectBorder) override;
        STDMETHOD(RequestBorderSpace)(LPCBORDERWIDTHS pborderwidths) override;
        STDMETHOD(SetBorderSpace)(LPCBORDERWIDTHS pborderwidths) override;
        STDMETHOD(SetActiveObject)(IOleInPlaceActiveObject* pActiveObject, LPCOLESTR pszObjName) override;
        STDMETHOD(InsertMenus)(HMENU hmenuShared, LPOLEMENUGROUPWIDTHS lpMenuWidths) override;
        STDMETHOD(SetMenu)(HMENU hmenuShared, HOLEMENU holemenu, HWND hwndActiveObject) override;
        STDMETHOD(RemoveMenus)(HMENU hmenuShared) override;
        STDMETHOD(SetStatusText)(LPCOLESTR pszStatusText) override;
        STDMETHOD(EnableModeless)(BOOL fEnable) override;
        STDMETHOD(TranslateAccelerator)(LPMSG lpmsg, WORD wID) override;
    };
    struct ControlSite : IOleControlSite
    {
        COleControlSite* m_pOwner;
        STDMETHOD(QueryInterface)(REFIID riid, void** ppv) override { return m_pOwner->QueryInterface(riid, ppv); }
        STDMETHOD_(ULONG, AddRef)() override { return m_pOwner->AddRef(); }
        STDMETHOD_(ULONG, Release)() override { return m_pOwner->Release(); }
        STDMETHOD(OnControlInfoChanged)() override;
        STDMETHOD(LockInPlaceActive)(BOOL fLock) override;
        STDMETHOD(GetExtendedControl)(IDispatch** ppDisp) override;
        STDMETHOD(TransformCoords)(POINTL* pPtlHimetric, POINTF* pPtfContainer, DWORD dwFlags) override;
        STDMETHOD(TranslateAccelerator)(MSG* pMsg, DWORD grfModifiers) override;
        STDMETHOD(OnFocus)(BOOL fGotFocus) override;
        STDMETHOD(ShowPropertyFrame)() override;
    };
    // IDispatch without a type library: the two dispatch facets answer Invoke only.
    struct DispatchFacet : IDispatch
    {
        COleControlSite* m_pOwner;
        STDMETHOD(QueryInterface)(REFIID riid, void** ppv) override { return m_pOwner->QueryInterface(riid, ppv); }
        STDMETHOD_(ULONG, AddRef)() override { return m_pOwner->AddRef(); }
        STDMETHOD_(ULONG, Release)() override { return m_pOwner->Release(); }
        STDMETHOD(GetTypeInfoCount)(UINT* pctinfo) override;
        STDMETHOD(GetTypeInfo)(UINT iTInfo, LCID lcid, ITypeInfo** ppTInfo) override;
        STDMETHOD(GetIDsOfNames)(REFIID riid, LPOLESTR* rgszNames, UINT cNames, LCID lcid, DISPID* rgDispId) override;
    };
    struct AmbientProperties : DispatchFacet
    {
        STDMETHOD(Invoke)
        (DISPID dispIdMember, REFIID riid, LCID lcid, WORD wFlags, DISPPARAMS* pDispParams, VARIANT* pVarResult,
         EXCEPINFO* pExcepInfo, UINT* puArgErr) override;
    };
    struct EventSink : DispatchFacet
    {
        STDMETHOD(Invoke)
        (DISPID dispIdMember, REFIID riid, LCID lcid, WORD wFlags, DISPPARAMS* pDispParams, VARIANT* pVarResult,
         EXCEPINFO* pExcepInfo, UINT* puArgErr) override;
    };

    ClientSite m_xClientSite;
    InPlaceSite m_xInPlaceSite;
    InPlaceFrame m_xInPlaceFrame;
    ControlSite m_xControlSite;
    AmbientProperties m_xAmbient;
    EventSink m_xEventSink;

    LONG m_cRef;
    COleControlContainer* m_pCtrlCont;
    UINT m_nID;
    RECT m_rect;
    HWND m_hWnd;
    CComRef<IOleObject> m_pObject;
    CComRef<IOleInPlaceObject> m_pInPlaceObject;
    CComRef<IDispatch> m_pDispatch;
    IID m_iidEvents;
    CComRef<IConnectionPoint> m_pEventPoint;
    DWORD m_dwEventCookie;

    friend class COleControlContainer;
};

// The controls of one window (a dialog), and which of them is UI-active.
class COleControlContainer
{
public:
    explicit COleControlContainer(CWnd* pWnd);
    ~COleControlContainer();
    COleControlContainer(const COleControlContainer&) = delete;
    COleControlContainer& operator=(const COleControlContainer&) = delete;

    // Creates control nID at rect (container client pixels); the site stays owned by the container.
    COleControlSite* CreateControl(REFCLSID clsid, DWORD dwStyle, const RECT& rect, UINT nID, IStream* pStream);
    COleControlSite* FindSite(UINT nID) const;
    // Tears all controls down; called while the container window is being destroyed.
    void DestroyControls();

    // Gives the UI-active control's accelerators the first look at a keyboard message.
    BOOL TranslateAccelerator(MSG* pMsg);
    void SetActiveObject(IOleInPlaceActiveObject* pActiveObject);
    void OnUIActivate(COleControlSite* pSite);
    void OnUIDeactivate(COleControlSite* pSite);
    COleControlSite* GetUIActiveSite() const { return m_pSiteUIActive; }

    CWnd* m_pWnd;

private:
    enum
    {
        kMaxSites = 16
    };
    COleControlSite* m_sites[kMaxSites];
    int m_nSites;
    COleControlSite* m_pSiteUIActive;
    CComRef<IOleInPlaceActiveObject> m_pActiveObject;
};
