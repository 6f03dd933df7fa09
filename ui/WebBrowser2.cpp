#include "ui/WebBrowser2.h"
#include <exdisp.h>

IMPLEMENT_DYNCREATE(CWebBrowser2, CWnd)

namespace {
// The control's Navigate method; the platform headers name only its events' DISPIDs.
const DISPID kDispidNavigate = 0x68;
}  // namespace

const CLSID& CWebBrowser2::GetClsid()
{
    return CLSID_WebBrowser;
}

BOOL CWebBrowser2::Create(LPCTSTR, LPCTSTR lpszWindowName, DWORD dwStyle, const RECT& rect, CWnd* pParentWnd, UINT nID,
                          void*)
{
    return CreateControl(GetClsid(), lpszWindowName, dwStyle, rect, pParentWnd, nID, nullptr, FALSE, nullptr);
}

void CWebBrowser2::Navigate(LPCTSTR URL, VARIANT* Flags, VARIANT* TargetFrameName, VARIANT* PostData, VARIANT* Headers)
{
    static const BYTE kParams[] = VTS_BSTR VTS_PVARIANT VTS_PVARIANT VTS_PVARIANT VTS_PVARIANT;
    InvokeHelper(kDispidNavigate, DISPATCH_METHOD, VT_EMPTY, nullptr, kParams, URL, Flags, TargetFrameName, PostData,
                 Headers);
}
