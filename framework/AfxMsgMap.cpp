#include "framework/AfxWnd.h"
#include "framework/AfxString.h"
#include <string.h>

namespace {
const AFX_MSGMAP_ENTRY kNoMessages[] = {{0, 0, 0, 0, AfxSig_end, nullptr}};
const AFX_MSGMAP kRootMessageMap = {nullptr, kNoMessages};
const AFX_EVENTSINKMAP_ENTRY kNoEvents[] = {{0, 0, {}}};
const AFX_EVENTSINKMAP kRootEventSinkMap = {nullptr, kNoEvents};

const AFX_MSGMAP* BaseOf(const AFX_MSGMAP* pMap)
{
    return pMap->pfnGetBaseMap != nullptr ? pMap->pfnGetBaseMap() : nullptr;
}

const AFX_EVENTSINKMAP* BaseOf(const AFX_EVENTSINKMAP* pMap)
{
    return pMap->pfnGetBaseMap != nullptr ? pMap->pfnGetBaseMap() : nullptr;
}

const AFX_MSGMAP_ENTRY* FindMessageEntry(const AFX_MSGMAP* pMap, UINT message)
{
    for (; pMap != nullptr; pMap = BaseOf(pMap)) {
        for (const AFX_MSGMAP_ENTRY* pEntry = pMap->lpEntries; pEntry->nSig != AfxSig_end; ++pEntry) {
            if (pEntry->nMessage == message)
                return pEntry;
        }
    }
    return nullptr;
}

const AFX_MSGMAP_ENTRY* FindCommandEntry(const AFX_MSGMAP* pMap, UINT nID, int nCode)
{
    for (; pMap != nullptr; pMap = BaseOf(pMap)) {
        for (const AFX_MSGMAP_ENTRY* pEntry = pMap->lpEntries; pEntry->nSig != AfxSig_end; ++pEntry) {
            if (pEntry->nMessage == WM_COMMAND && pEntry->nCode == static_cast<UINT>(nCode) && nID >= pEntry->nID &&
                nID <= pEntry->nLastID)
                return pEntry;
        }
    }
    return nullptr;
}

const AFX_EVENTSINKMAP_ENTRY* FindEventEntry(const AFX_EVENTSINKMAP* pMap, UINT nCtrlID, DISPID dispid)
{
    for (; pMap != nullptr; pMap = BaseOf(pMap)) {
        for (const AFX_EVENTSINKMAP_ENTRY* pEntry = pMap->lpEntries; pEntry->nCtrlID != 0; ++pEntry) {
            if (pEntry->nCtrlID == nCtrlID && pEntry->dispid == dispid)
                return pEntry;
        }
    }
    return nullptr;
}

// A variant that clears itself.
class CVariantHolder
{
public:
    CVariantHolder() { ::VariantInit(&m_var); }
    ~CVariantHolder() { ::VariantClear(&m_var); }
    CVariantHolder(const CVariantHolder&) = delete;
    CVariantHolder& operator=(const CVariantHolder&) = delete;
    VARIANT m_var;
};

// An IDispatch argument, given by value or by reference; null for an empty one.
BOOL DispatchArgument(const VARIANT* pArg, IDispatch** ppDisp)
{
    switch (V_VT(pArg)) {
    case VT_DISPATCH:
        *ppDisp = V_DISPATCH(pArg);
        return TRUE;
    case VT_DISPATCH | VT_BYREF:
        *ppDisp = V_DISPATCHREF(pArg) != nullptr ? *V_DISPATCHREF(pArg) : nullptr;
        return TRUE;
    case VT_EMPTY:
    case VT_NULL:
        *ppDisp = nullptr;
        return TRUE;
    }
    return FALSE;
}
}  // namespace

IMPLEMENT_DYNAMIC(CCmdTarget, CObject)

CCmdTarget::CCmdTarget()
{
}

CCmdTarget::~CCmdTarget()
{
}

const AFX_MSGMAP* CCmdTarget::GetThisMessageMap()
{
    return &kRootMessageMap;
}

const AFX_MSGMAP* CCmdTarget::GetMessageMap() const
{
    return GetThisMessageMap();
}

const AFX_EVENTSINKMAP* CCmdTarget::GetThisEventSinkMap()
{
    return &kRootEventSinkMap;
}

const AFX_EVENTSINKMAP* CCmdTarget::GetEventSinkMap() const
{
    return GetThisEventSinkMap();
}

BOOL CCmdTarget::OnCmdMsg(UINT nID, int nCode)
{
    const AFX_MSGMAP_ENTRY* pEntry = FindCommandEntry(GetMessageMap(), nID, nCode);
    if (pEntry == nullptr)
        return FALSE;
    (this->*pEntry->pfn)();
    return TRUE;
}

HRESULT CCmdTarget::OnEvent(UINT nCtrlID, DISPID dispid, DISPPARAMS* pDispParams)
{
    const AFX_EVENTSINKMAP_ENTRY* pEntry = FindEventEntry(GetEventSinkMap(), nCtrlID, dispid);
    if (pEntry == nullptr)
        return S_FALSE;
    const AFX_EVENTHANDLER& handler = pEntry->handler;
    const UINT cArgs = pDispParams != nullptr ? pDispParams->cArgs : 0;
    if (cArgs < strlen(AfxEventParams(handler.nSig)))
        return DISP_E_BADPARAMCOUNT;
    // DISPPARAMS holds the arguments last first.
    VARIANT* pArgs = cArgs != 0 ? pDispParams->rgvarg : nullptr;
    auto arg = [pArgs, cArgs](UINT i) { return &pArgs[cArgs - 1 - i]; };

    switch (handler.nSig) {
    case AfxEventSig_v_b: {
        CVariantHolder value;
        if (FAILED(::VariantChangeType(&value.m_var, arg(0), 0, VT_BOOL)))
            return DISP_E_TYPEMISMATCH;
        auto pfn = reinterpret_cast<void (CCmdTarget::*)(BOOL)>(handler.pfn);
        (this->*pfn)(V_BOOL(&value.m_var) != VARIANT_FALSE);
        return S_OK;
    }
    case AfxEventSig_v_s: {
        CVariantHolder value;
        if (FAILED(::VariantChangeType(&value.m_var, arg(0), 0, VT_BSTR)))
            return DISP_E_TYPEMISMATCH;
        const BSTR bstr = V_BSTR(&value.m_var);
        const CString text = AfxStringFromWide(bstr, static_cast<int>(::SysStringLen(bstr)));
        auto pfn = reinterpret_cast<void (CCmdTarget::*)(LPCSTR)>(handler.pfn);
        (this->*pfn)(text);
        return S_OK;
    }
    case AfxEventSig_v_disp_pvar: {
        IDispatch* pDisp = nullptr;
        if (!DispatchArgument(arg(0), &pDisp))
            return DISP_E_TYPEMISMATCH;
        // A by-reference variant is handed over as the variant it refers to.
        VARIANT* pVar = arg(1);
        if (V_VT(pVar) == (VT_VARIANT | VT_BYREF))
            pVar = V_VARIANTREF(pVar);
        auto pfn = reinterpret_cast<void (CCmdTarget::*)(LPDISPATCH, VARIANT*)>(handler.pfn);
        (this->*pfn)(pDisp, pVar);
        return S_OK;
    }
    }
    return DISP_E_TYPEMISMATCH;
}

BOOL CWnd::OnWndMsg(UINT message, WPARAM wParam, LPARAM lParam, LRESULT* pResult)
{
    *pResult = 0;
    if (message == WM_COMMAND)
        return OnCommand(wParam, lParam);

    const AFX_MSGMAP_ENTRY* pEntry = FindMessageEntry(GetMessageMap(), message);
    if (pEntry == nullptr)
        return FALSE;

    // Each handler pointer goes back to the exact type it was stored from.
    switch (pEntry->nSig) {
    case AfxSig_v_v:
        (this->*reinterpret_cast<void (CWnd::*)()>(pEntry->pfn))();
        return TRUE;
    case AfxSig_v_u_l:
        (this->*reinterpret_cast<void (CWnd::*)(UINT, LPARAM)>(pEntry->pfn))(static_cast<UINT>(wParam), lParam);
        return TRUE;
    case AfxSig_h_v:
        *pResult = reinterpret_cast<LRESULT>((this->*reinterpret_cast<HCURSOR (CWnd::*)()>(pEntry->pfn))());
        return TRUE;
    case AfxSig_v_hdrop:
        (this->*reinterpret_cast<void (CWnd::*)(HDROP)>(pEntry->pfn))(reinterpret_cast<HDROP>(wParam));
        return TRUE;
    case AfxSig_v_uptr:
        (this->*reinterpret_cast<void (CWnd::*)(UINT_PTR)>(pEntry->pfn))(static_cast<UINT_PTR>(wParam));
        return TRUE;
    }
    return FALSE;
}
