#include "ui/WebBrowser2.h"

IMPLEMENT_DYNCREATE(CWebBrowser2, CWnd)

namespace {
// {8856F961-340A-11D0-A96B-00C04FD705A2}
const CLSID kClsidWebBrowser = {0x8856F961, 0x340A, 0x11D0, {0xA9, 0x6B, 0x00, 0xC0, 0x4F, 0xD7, 0x05, 0xA2}};
const DISPID kDispidNavigate = 0x68;
}

const CLSID& CWebBrowser2::GetClsid()
{
    return kClsidWebBrowser;
}

BOOL CWebBrowser2::Create(LPCTSTR, LPCTSTR lpszWindowName, DWORD dwStyle, const RECT& rect, CWnd* pParentWnd,
                          UINT nID, void*)
{
    return CreateControl(GetClsid(), lpszWindowName, dwStyle, rect, pParentWnd, nID, nullptr, FALSE, nullptr);
}

void CWebBrowser2::Navigate(LPCTSTR URL, VARIANT* Flags, VARIANT* TargetFrameName, VARIANT* PostData,
                            VARIANT* Headers)
{
    static const BYTE kParams[] = VTS_BSTR VTS_PVARIANT VTS_PVARIANT VTS_PVARIANT VTS_PVARIANT;
    InvokeHelper(kDispidNavigate, DISPATCH_METHOD, VT_EMPTY, nullptr, kParams, URL, Flags, TargetFrameName,
                 PostData, Headers);
}
