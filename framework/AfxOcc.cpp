#include "framework/AfxOcc.h"
#include "framework/AfxHandles.h"
#include <olectl.h>
#include <string.h>

namespace {
BOOL g_bContainerEnabled;
BOOL g_bOleInitialized;

const int kHimetricPerInch = 2540;
const int kMaxInvokeArgs = 16;
// Parameter codes of the narrow-string build that are not plain VARTYPEs: a narrow string to be
// passed as a BSTR, and a VARIANT* passed by reference.
const BYTE kVtsAnsiString = 0x0E;
const BYTE kVtsByRefVariant = VT_VARIANT | 0x40;

// Releases the type attributes of a type description when it goes out of scope.
class CTypeAttrHolder
{
public:
    explicit CTypeAttrHolder(ITypeInfo* pInfo) : m_pInfo(pInfo), m_pAttr(nullptr) {}
    ~CTypeAttrHolder()
    {
        if (m_pAttr != nullptr)
            m_pInfo->ReleaseTypeAttr(m_pAttr);
    }
    CTypeAttrHolder(const CTypeAttrHolder&) = delete;
    CTypeAttrHolder& operator=(const CTypeAttrHolder&) = delete;
    ITypeInfo* m_pInfo;
    TYPEATTR* m_pAttr;
};

// A BSTR from narrow text in the ANSI code page; null text gives the null (empty) BSTR.
BSTR AllocBstrFromAnsi(const char* psz)
{
    if (psz == nullptr)
        return nullptr;
    const int cch = ::MultiByteToWideChar(CP_ACP, 0, psz, -1, nullptr, 0);
    if (cch <= 0)
        return nullptr;
    BSTR bstr = ::SysAllocStringLen(nullptr, cch - 1);
    if (bstr != nullptr)
        ::MultiByteToWideChar(CP_ACP, 0, psz, -1, bstr, cch);
    return bstr;
}

// The top-level window of a container window: it plays the in-place frame.
HWND TopLevelOf(HWND hWnd)
{
    HWND hRoot = ::GetAncestor(hWnd, GA_ROOT);
    return hRoot != nullptr ? hRoot : hWnd;
}
}  // namespace

void AfxEnableControlContainer()
{
    if (g_bContainerEnabled)
        return;
    // In-place activation needs OLE on this (the user-interface) thread; S_FALSE counts too.
    g_bOleInitialized = SUCCEEDED(::OleInitialize(nullptr));
    g_bContainerEnabled = TRUE;
}

BOOL AfxControlContainerEnabled()
{
    return g_bContainerEnabled;
}

void AfxTermControlContainer()
{
    if (g_bOleInitialized)
        ::OleUninitialize();
    g_bOleInitialized = FALSE;
    g_bContainerEnabled = FALSE;
}

IStream* AfxCreateMemoryStream(const void* pData, DWORD cb)
{
    HGLOBAL hMem = ::GlobalAlloc(GMEM_MOVEABLE, cb != 0 ? cb : 1);
    if (hMem == nullptr)
        return nullptr;
    void* pMem = ::GlobalLock(hMem);
    if (pMem == nullptr) {
        ::GlobalFree(hMem);
        return nullptr;
    }
    memcpy(pMem, pData, cb);
    ::GlobalUnlock(hMem);
    IStream* pStream = nullptr;
    // The stream owns the memory from here on.
    if (FAILED(::CreateStreamOnHGlobal(hMem, TRUE, &pStream))) {
        ::GlobalFree(hMem);
        return nullptr;
    }
    ULARGE_INTEGER size;
    size.QuadPart = cb;
    pStream->SetSize(size);
    return pStream;
}

COleControlSite::COleControlSite(COleControlContainer* pCtrlCont, UINT nID)
    : m_pWndCtrl(nullptr),
      m_cRef(1),
      m_pCtrlCont(pCtrlCont),
      m_nID(nID),
      m_rect(),
      m_hWnd(nullptr),
      m_iidEvents(GUID_NULL),
      m_dwEventCookie(0)
{
    m_xClientSite.m_pOwner = this;
    m_xInPlaceSite.m_pOwner = this;
    m_xInPlaceFrame.m_pOwner = this;
    m_xControlSite.m_pOwner = this;
    m_xAmbient.m_pOwner = this;
    m_xEventSink.m_pOwner = this;
}

COleControlSite::~COleControlSite()
{
}

HRESULT COleControlSite::QueryInterface(REFIID riid, void** ppv)
{
    if (ppv == nullptr)
        return E_POINTER;
    *ppv = nullptr;
    if (IsEqualIID(riid, IID_IUnknown) || IsEqualIID(riid, IID_IOleClientSite))
        *ppv = static_cast<IOleClientSite*>(&m_xClientSite);
    else if (IsEqualIID(riid, IID_IOleWindow) || IsEqualIID(riid, IID_IOleInPlaceSite))
        *ppv = static_cast<IOleInPlaceSite*>(&m_xInPlaceSite);
    else if (IsEqualIID(riid, IID_IOleInPlaceUIWindow) || IsEqualIID(riid, IID_IOleInPlaceFrame))
        *ppv = static_cast<IOleInPlaceFrame*>(&m_xInPlaceFrame);
    else if (IsEqualIID(riid, IID_IOleControlSite))
        *ppv = static_cast<IOleControlSite*>(&m_xControlSite);
    else if (IsEqualIID(riid, IID_IDispatch))
        *ppv = static_cast<IDispatch*>(&m_xAmbient);
    else if (!IsEqualIID(m_iidEvents, GUID_NULL) && IsEqualIID(riid, m_iidEvents))
        *ppv = static_cast<IDispatch*>(&m_xEventSink);
    else
        return E_NOINTERFACE;
    AddRef();
    return S_OK;
}

ULONG COleControlSite::AddRef()
{
    return static_cast<ULONG>(::InterlockedIncrement(&m_cRef));
}

ULONG COleControlSite::Release()
{
    const LONG cRef = ::InterlockedDecrement(&m_cRef);
    if (cRef == 0)
        delete this;
    return static_cast<ULONG>(cRef);
}

BOOL COleControlSite::CreateControl(REFCLSID clsid, DWORD dwStyle, const RECT& rect, IStream* pStream)
{
    m_rect = rect;
    if (FAILED(::CoCreateInstance(clsid, nullptr, CLSCTX_INPROC_SERVER, IID_PPV_ARGS(m_pObject.Receive()))))
        return FALSE;

    // Controls that ask for it get their site before their state, so that they can read the
    // ambient properties while they load.
    DWORD dwMiscStatus = 0;
    m_pObject->GetMiscStatus(DVASPECT_CONTENT, &dwMiscStatus);
    const BOOL bSiteFirst = (dwMiscStatus & OLEMISC_SETCLIENTSITEFIRST) != 0;
    if (bSiteFirst && FAILED(m_pObject->SetClientSite(&m_xClientSite)))
        return FALSE;
    LoadState(pStream);
    if (!bSiteFirst && FAILED(m_pObject->SetClientSite(&m_xClientSite)))
        return FALSE;

    // The template's rectangle decides the size, whatever extent the persisted state holds.
    HDC hdc = ::GetDC(nullptr);
    SIZEL extent;
    extent.cx = ::MulDiv(rect.right - rect.left, kHimetricPerInch, ::GetDeviceCaps(hdc, LOGPIXELSX));
    extent.cy = ::MulDiv(rect.bottom - rect.top, kHimetricPerInch, ::GetDeviceCaps(hdc, LOGPIXELSY));
    ::ReleaseDC(nullptr, hdc);
    m_pObject->SetExtent(DVASPECT_CONTENT, &extent);

    m_pObject->QueryInterface(IID_PPV_ARGS(m_pDispatch.Receive()));
    // A control without events can still be hosted.
    ConnectSink();

    // A visible control is activated in place and UI-activated, so that its accelerators work.
    HWND hWndCtnr = m_pCtrlCont->m_pWnd->m_hWnd;
    if (dwStyle & WS_VISIBLE) {
        m_pObject->DoVerb(OLEIVERB_SHOW, nullptr, &m_xClientSite, 0, hWndCtnr, &m_rect);
        if (!IsUIActive())
            m_pObject->DoVerb(OLEIVERB_UIACTIVATE, nullptr, &m_xClientSite, 0, hWndCtnr, &m_rect);
    } else {
        m_pObject->DoVerb(OLEIVERB_INPLACEACTIVATE, nullptr, &m_xClientSite, 0, hWndCtnr, &m_rect);
    }

    if (FAILED(m_pObject->QueryInterface(IID_PPV_ARGS(m_pInPlaceObject.Receive()))))
        return FALSE;
    m_pInPlaceObject->GetWindow(&m_hWnd);
    if (m_hWnd == nullptr)
        return FALSE;
    // The control's window answers to its dialog item id and takes the item's dialog-navigation
    // styles, like any other control of the dialog.
    ::SetWindowLongPtrA(m_hWnd, GWLP_ID, static_cast<LONG_PTR>(m_nID));
    const LONG_PTR kItemStyles = WS_TABSTOP | WS_GROUP | WS_DISABLED;
    const LONG_PTR style = ::GetWindowLongPtrA(m_hWnd, GWL_STYLE);
    ::SetWindowLongPtrA(m_hWnd, GWL_STYLE, (style & ~kItemStyles) | (static_cast<LONG_PTR>(dwStyle) & kItemStyles));
    if (!(dwStyle & WS_VISIBLE))
        ::ShowWindow(m_hWnd, SW_HIDE);
    return TRUE;
}

void COleControlSite::LoadState(IStream* pStream)
{
    CComRef<IPersistStreamInit> pInit;
    if (SUCCEEDED(m_pObject->QueryInterface(IID_PPV_ARGS(pInit.Receive())))) {
        // State that cannot be read still leaves a working control with its defaults.
        if (pStream == nullptr || FAILED(pInit->Load(pStream)))
            pInit->InitNew();
        return;
    }
    CComRef<IPersistStream> pPersist;
    if (pStream != nullptr && SUCCEEDED(m_pObject->QueryInterface(IID_PPV_ARGS(pPersist.Receive()))))
        pPersist->Load(pStream);
}

// The control's default source (event) interface: from IProvideClassInfo2, else from the
// [default, source] interface of its class's type description.
BOOL COleControlSite::FindEventIID(IID* piid)
{
    CComRef<IProvideClassInfo2> pInfo2;
    if (SUCCEEDED(m_pObject->QueryInterface(IID_PPV_ARGS(pInfo2.Receive()))) &&
        SUCCEEDED(pInfo2->GetGUID(GUIDKIND_DEFAULT_SOURCE_DISP_IID, piid)))
        return TRUE;

    CComRef<IProvideClassInfo> pInfo;
    if (FAILED(m_pObject->QueryInterface(IID_PPV_ARGS(pInfo.Receive()))))
        return FALSE;
    CComRef<ITypeInfo> pClassInfo;
    if (FAILED(pInfo->GetClassInfo(pClassInfo.Receive())))
        return FALSE;
    CTypeAttrHolder classAttr(pClassInfo.Get());
    if (FAILED(pClassInfo->GetTypeAttr(&classAttr.m_pAttr)))
        return FALSE;
    for (UINT i = 0; i < classAttr.m_pAttr->cImplTypes; ++i) {
        INT flags = 0;
        if (FAILED(pClassInfo->GetImplTypeFlags(i, &flags)))
            continue;
        const INT kDefaultSource = IMPLTYPEFLAG_FDEFAULT | IMPLTYPEFLAG_FSOURCE;
        if ((flags & kDefaultSource) != kDefaultSource)
            continue;
        HREFTYPE hRef = 0;
        CComRef<ITypeInfo> pEventInfo;
        if (FAILED(pClassInfo->GetRefTypeOfImplType(i, &hRef)) ||
            FAILED(pClassInfo->GetRefTypeInfo(hRef, pEventInfo.Receive())))
            return FALSE;
        CTypeAttrHolder eventAttr(pEventInfo.Get());
        if (FAILED(pEventInfo->GetTypeAttr(&eventAttr.m_pAttr)))
            return FALSE;
        *piid = eventAttr.m_pAttr->guid;
        return TRUE;
    }
    return FALSE;
}

BOOL COleControlSite::ConnectSink()
{
    IID iid;
    if (!FindEventIID(&iid))
        return FALSE;
    // Set before Advise: the connection point asks the sink for this interface.
    m_iidEvents = iid;
    CComRef<IConnectionPointContainer> pContainer;
    if (FAILED(m_pObject->QueryInterface(IID_PPV_ARGS(pContainer.Receive()))))
        return FALSE;
    if (FAILED(pContainer->FindConnectionPoint(iid, m_pEventPoint.Receive())))
        return FALSE;
    if (FAILED(m_pEventPoint->Advise(static_cast<IDispatch*>(&m_xEventSink), &m_dwEventCookie))) {
        m_pEventPoint.Reset();
        return FALSE;
    }
    return TRUE;
}

void COleControlSite::DestroyControl()
{
    // 1. Leave in-place activation; by OLE's rules this also ends UI activation first.
    if (m_pInPlaceObject.Get() != nullptr)
        m_pInPlaceObject->InPlaceDeactivate();
    m_pInPlaceObject.Reset();
    // 2. Drop the container's UI-active state and the active object the control handed over,
    //    in case the control did not withdraw them itself.
    m_pCtrlCont->OnUIDeactivate(this);
    // 3. Disconnect the event sink, so nothing reaches the window's handlers any more.
    if (m_pEventPoint.Get() != nullptr)
        m_pEventPoint->Unadvise(m_dwEventCookie);
    m_pEventPoint.Reset();
    m_dwEventCookie = 0;
    // 4. Close the control without saving, 5. take its site away, 6. release it.
    if (m_pObject.Get() != nullptr) {
        m_pObject->Close(OLECLOSE_NOSAVE);
        m_pObject->SetClientSite(nullptr);
    }
    m_pDispatch.Reset();
    m_pObject.Reset();
    m_hWnd = nullptr;
    if (m_pWndCtrl != nullptr) {
        m_pWndCtrl->m_pCtrlSite = nullptr;
        m_pWndCtrl = nullptr;
    }
}

BOOL COleControlSite::IsUIActive() const
{
    return m_pCtrlCont->GetUIActiveSite() == this;
}

HRESULT COleControlSite::OnEvent(DISPID dispid, DISPPARAMS* pDispParams)
{
    CWnd* pWnd = m_pCtrlCont->m_pWnd;
    if (pWnd == nullptr)
        return S_OK;
    const HRESULT hr = pWnd->OnEvent(m_nID, dispid, pDispParams);
    // An event the window has no handler for is simply not wanted.
    return hr == S_FALSE ? S_OK : hr;
}

HRESULT COleControlSite::InvokeHelperV(DISPID dwDispID, WORD wFlags, VARTYPE vtRet, const BYTE* pbParamInfo,
                                       va_list args)
{
    const char* pszParams = reinterpret_cast<const char*>(pbParamInfo);
    const UINT cArgs = pszParams != nullptr ? static_cast<UINT>(strlen(pszParams)) : 0;
    // The system calls methods for their effect only and never reads a result back.
    if (m_pDispatch.Get() == nullptr || vtRet != VT_EMPTY || cArgs > kMaxInvokeArgs)
        return E_INVALIDARG;

    // DISPPARAMS takes the arguments last first.
    VARIANT argv[kMaxInvokeArgs];
    HRESULT hr = S_OK;
    for (UINT i = 0; i < cArgs; ++i) {
        VARIANT* pArg = &argv[cArgs - 1 - i];
        ::VariantInit(pArg);
        if (pbParamInfo[i] == kVtsAnsiString) {
            V_VT(pArg) = VT_BSTR;
            V_BSTR(pArg) = AllocBstrFromAnsi(va_arg(args, const char*));
        } else if (pbParamInfo[i] == kVtsByRefVariant) {
            // A null pointer goes by reference as it is: the method receives null, which the
            // control takes for an argument left out.
            V_VT(pArg) = VT_VARIANT | VT_BYREF;
            V_VARIANTREF(pArg) = va_arg(args, VARIANT*);
        } else {
            hr = E_INVALIDARG;
        }
    }

    if (SUCCEEDED(hr)) {
        DISPPARAMS params = {cArgs != 0 ? argv : nullptr, nullptr, cArgs, 0};
        EXCEPINFO excepInfo = {};
        UINT uArgErr = 0;
        hr = m_pDispatch->Invoke(dwDispID, IID_NULL, LOCALE_USER_DEFAULT, wFlags, &params, nullptr, &excepInfo,
                                 &uArgErr);
        ::SysFreeString(excepInfo.bstrSource);
        ::SysFreeString(excepInfo.bstrDescription);
        ::SysFreeString(excepInfo.bstrHelpFile);
    }

    // Only the strings are ours; the variants belong to the caller.
    for (UINT i = 0; i < cArgs; ++i) {
        if (V_VT(&argv[i]) == VT_BSTR)
            ::SysFreeString(V_BSTR(&argv[i]));
    }
    return hr;
}

STDMETHODIMP COleControlSite::ClientSite::SaveObject()
{
    return E_NOTIMPL;
}

STDMETHODIMP COleControlSite::ClientSite::GetMoniker(DWORD, DWORD, IMoniker** ppmk)
{
    if (ppmk != nullptr)
        *ppmk = nullptr;
    return E_NOTIMPL;
}

STDMETHODIMP COleControlSite::ClientSite::GetContainer(IOleContainer** ppContainer)
{
    if (ppContainer != nullptr)
        *ppContainer = nullptr;
    return E_NOINTERFACE;
}

STDMETHODIMP COleControlSite::ClientSite::ShowObject()
{
    return S_OK;
}

STDMETHODIMP COleControlSite::ClientSite::OnShowWindow(BOOL)
{
    return S_OK;
}

STDMETHODIMP COleControlSite::ClientSite::RequestNewObjectLayout()
{
    return E_NOTIMPL;
}

STDMETHODIMP COleControlSite::InPlaceSite::GetWindow(HWND* phwnd)
{
    if (phwnd == nullptr)
        return E_POINTER;
    *phwnd = m_pOwner->m_pCtrlCont->m_pWnd->m_hWnd;
    return S_OK;
}

STDMETHODIMP COleControlSite::InPlaceSite::ContextSensitiveHelp(BOOL)
{
    return E_NOTIMPL;
}

STDMETHODIMP COleControlSite::InPlaceSite::CanInPlaceActivate()
{
    return S_OK;
}

STDMETHODIMP COleControlSite::InPlaceSite::OnInPlaceActivate()
{
    return S_OK;
}

STDMETHODIMP COleControlSite::InPlaceSite::OnUIActivate()
{
    m_pOwner->m_pCtrlCont->OnUIActivate(m_pOwner);
    return S_OK;
}

STDMETHODIMP COleControlSite::InPlaceSite::GetWindowContext(IOleInPlaceFrame** ppFrame, IOleInPlaceUIWindow** ppDoc,
                                                            LPRECT lprcPosRect, LPRECT lprcClipRect,
                                                            LPOLEINPLACEFRAMEINFO lpFrameInfo)
{
    if (ppFrame == nullptr || ppDoc == nullptr || lprcPosRect == nullptr || lprcClipRect == nullptr)
        return E_POINTER;
    // The dialog is both frame and document: there is no separate document window.
    *ppFrame = &m_pOwner->m_xInPlaceFrame;
    m_pOwner->AddRef();
    *ppDoc = nullptr;
    HWND hWndCtnr = m_pOwner->m_pCtrlCont->m_pWnd->m_hWnd;
    *lprcPosRect = m_pOwner->m_rect;
    ::GetClientRect(hWndCtnr, lprcClipRect);
    if (lpFrameInfo != nullptr) {
        lpFrameInfo->fMDIApp = FALSE;
        lpFrameInfo->hwndFrame = TopLevelOf(hWndCtnr);
        lpFrameInfo->haccel = nullptr;
        lpFrameInfo->cAccelEntries = 0;
    }
    return S_OK;
}

STDMETHODIMP COleControlSite::InPlaceSite::Scroll(SIZE)
{
    return E_NOTIMPL;
}

STDMETHODIMP COleControlSite::InPlaceSite::OnUIDeactivate(BOOL)
{
    m_pOwner->m_pCtrlCont->OnUIDeactivate(m_pOwner);
    return S_OK;
}

STDMETHODIMP COleControlSite::InPlaceSite::OnInPlaceDeactivate()
{
    return S_OK;
}

STDMETHODIMP COleControlSite::InPlaceSite::DiscardUndoState()
{
    return S_OK;
}

STDMETHODIMP COleControlSite::InPlaceSite::DeactivateAndUndo()
{
    if (m_pOwner->m_pInPlaceObject.Get() != nullptr)
        m_pOwner->m_pInPlaceObject->UIDeactivate();
    return S_OK;
}

STDMETHODIMP COleControlSite::InPlaceSite::OnPosRectChange(LPCRECT lprcPosRect)
{
    if (lprcPosRect == nullptr)
        return E_POINTER;
    m_pOwner->m_rect = *lprcPosRect;
    if (m_pOwner->m_pInPlaceObject.Get() != nullptr)
        m_pOwner->m_pInPlaceObject->SetObjectRects(lprcPosRect, lprcPosRect);
    return S_OK;
}

STDMETHODIMP COleControlSite::InPlaceFrame::GetWindow(HWND* phwnd)
{
    if (phwnd == nullptr)
        return E_POINTER;
    *phwnd = TopLevelOf(m_pOwner->m_pCtrlCont->m_pWnd->m_hWnd);
    return S_OK;
}

STDMETHODIMP COleControlSite::InPlaceFrame::ContextSensitiveHelp(BOOL)
{
    return E_NOTIMPL;
}

// The dialog has no toolbars to give up room for.
STDMETHODIMP COleControlSite::InPlaceFrame::GetBorder(LPRECT)
{
    return INPLACE_E_NOTOOLSPACE;
}

STDMETHODIMP COleControlSite::InPlaceFrame::RequestBorderSpace(LPCBORDERWIDTHS)
{
    return INPLACE_E_NOTOOLSPACE;
}

STDMETHODIMP COleControlSite::InPlaceFrame::SetBorderSpace(LPCBORDERWIDTHS pborderwidths)
{
    return pborderwidths == nullptr ? S_OK : INPLACE_E_NOTOOLSPACE;
}

STDMETHODIMP COleControlSite::InPlaceFrame::SetActiveObject(IOleInPlaceActiveObject* pActiveObject, LPCOLESTR)
{
    m_pOwner->m_pCtrlCont->SetActiveObject(pActiveObject);
    return S_OK;
}

// The dialog has no menu bar to merge with.
STDMETHODIMP COleControlSite::InPlaceFrame::InsertMenus(HMENU, LPOLEMENUGROUPWIDTHS)
{
    return E_NOTIMPL;
}

STDMETHODIMP COleControlSite::InPlaceFrame::SetMenu(HMENU, HOLEMENU, HWND)
{
    return S_OK;
}

STDMETHODIMP COleControlSite::InPlaceFrame::RemoveMenus(HMENU)
{
    return E_NOTIMPL;
}

STDMETHODIMP COleControlSite::InPlaceFrame::SetStatusText(LPCOLESTR)
{
    return S_OK;
}

STDMETHODIMP COleControlSite::InPlaceFrame::EnableModeless(BOOL)
{
    return S_OK;
}

STDMETHODIMP COleControlSite::InPlaceFrame::TranslateAccelerator(LPMSG, WORD)
{
    return S_FALSE;
}

STDMETHODIMP COleControlSite::ControlSite::OnControlInfoChanged()
{
    return S_OK;
}

STDMETHODIMP COleControlSite::ControlSite::LockInPlaceActive(BOOL)
{
    return S_OK;
}

STDMETHODIMP COleControlSite::ControlSite::GetExtendedControl(IDispatch** ppDisp)
{
    if (ppDisp != nullptr)
        *ppDisp = nullptr;
    return E_NOTIMPL;
}

STDMETHODIMP COleControlSite::ControlSite::TransformCoords(POINTL*, POINTF*, DWORD)
{
    return E_NOTIMPL;
}

STDMETHODIMP COleControlSite::ControlSite::TranslateAccelerator(MSG*, DWORD)
{
    return S_FALSE;
}

STDMETHODIMP COleControlSite::ControlSite::OnFocus(BOOL)
{
    return S_OK;
}

STDMETHODIMP COleControlSite::ControlSite::ShowPropertyFrame()
{
    return E_NOTIMPL;
}

STDMETHODIMP COleControlSite::DispatchFacet::GetTypeInfoCount(UINT* pctinfo)
{
    if (pctinfo == nullptr)
        return E_POINTER;
    *pctinfo = 0;
    return S_OK;
}

STDMETHODIMP COleControlSite::DispatchFacet::GetTypeInfo(UINT, LCID, ITypeInfo** ppTInfo)
{
    if (ppTInfo != nullptr)
        *ppTInfo = nullptr;
    return E_NOTIMPL;
}

STDMETHODIMP COleControlSite::DispatchFacet::GetIDsOfNames(REFIID, LPOLESTR*, UINT, LCID, DISPID*)
{
    return E_NOTIMPL;
}

STDMETHODIMP COleControlSite::AmbientProperties::Invoke(DISPID dispIdMember, REFIID, LCID, WORD wFlags, DISPPARAMS*,
                                                        VARIANT* pVarResult, EXCEPINFO*, UINT*)
{
    if (!(wFlags & DISPATCH_PROPERTYGET) || pVarResult == nullptr)
        return DISP_E_MEMBERNOTFOUND;
    ::VariantInit(pVarResult);
    switch (dispIdMember) {
    case DISPID_AMBIENT_USERMODE:
        // Running, not being designed.
        V_VT(pVarResult) = VT_BOOL;
        V_BOOL(pVarResult) = VARIANT_TRUE;
        return S_OK;
    case DISPID_AMBIENT_UIDEAD:
    case DISPID_AMBIENT_SHOWGRABHANDLES:
    case DISPID_AMBIENT_SHOWHATCHING:
        V_VT(pVarResult) = VT_BOOL;
        V_BOOL(pVarResult) = VARIANT_FALSE;
        return S_OK;
    case DISPID_AMBIENT_LOCALEID:
        V_VT(pVarResult) = VT_I4;
        V_I4(pVarResult) = static_cast<LONG>(::GetUserDefaultLCID());
        return S_OK;
    }
    return DISP_E_MEMBERNOTFOUND;
}

STDMETHODIMP COleControlSite::EventSink::Invoke(DISPID dispIdMember, REFIID, LCID, WORD, DISPPARAMS* pDispParams,
                                                VARIANT* pVarResult, EXCEPINFO*, UINT*)
{
    if (pVarResult != nullptr)
        ::VariantInit(pVarResult);
    return m_pOwner->OnEvent(dispIdMember, pDispParams);
}

COleControlContainer::COleControlContainer(CWnd* pWnd) : m_pWnd(pWnd), m_sites(), m_nSites(0), m_pSiteUIActive(nullptr)
{
}

COleControlContainer::~COleControlContainer()
{
    DestroyControls();
}

COleControlSite* COleControlContainer::CreateControl(REFCLSID clsid, DWORD dwStyle, const RECT& rect, UINT nID,
                                                     IStream* pStream)
{
    if (m_nSites == kMaxSites || FindSite(nID) != nullptr)
        return nullptr;
    COleControlSite* pSite = new COleControlSite(this, nID);
    // Kept in the list from the start: the control may call back into the container while it is created.
    m_sites[m_nSites++] = pSite;
    if (pSite->CreateControl(clsid, dwStyle, rect, pStream))
        return pSite;
    --m_nSites;
    pSite->DestroyControl();
    pSite->Release();
    return nullptr;
}

COleControlSite* COleControlContainer::FindSite(UINT nID) const
{
    for (int i = 0; i < m_nSites; ++i) {
        if (m_sites[i]->GetID() == nID)
            return m_sites[i];
    }
    return nullptr;
}

void COleControlContainer::DestroyControls()
{
    while (m_nSites > 0) {
        COleControlSite* pSite = m_sites[--m_nSites];
        pSite->DestroyControl();
        pSite->Release();
    }
    SetActiveObject(nullptr);
    m_pSiteUIActive = nullptr;
}

BOOL COleControlContainer::TranslateAccelerator(MSG* pMsg)
{
    return m_pActiveObject.Get() != nullptr && m_pActiveObject->TranslateAccelerator(pMsg) == S_OK;
}

void COleControlContainer::SetActiveObject(IOleInPlaceActiveObject* pActiveObject)
{
    // Counted before the old one goes, in case it is the same object.
    if (pActiveObject != nullptr)
        pActiveObject->AddRef();
    m_pActiveObject.Reset(pActiveObject);
}

// One UI-active control at a time: the one that was UI-active before gives way.
void COleControlContainer::OnUIActivate(COleControlSite* pSite)
{
    COleControlSite* pPrevious = m_pSiteUIActive;
    m_pSiteUIActive = pSite;
    if (pPrevious != nullptr && pPrevious != pSite && pPrevious->m_pInPlaceObject.Get() != nullptr)
        pPrevious->m_pInPlaceObject->UIDeactivate();
}

void COleControlContainer::OnUIDeactivate(COleControlSite* pSite)
{
    if (m_pSiteUIActive != pSite)
        return;
    m_pSiteUIActive = nullptr;
    SetActiveObject(nullptr);
}
