#pragma once
#include "framework/Afx.h"

// Thin wrapper of the WebBrowser control: one dispatch call per method the shell uses.
class CWebBrowser2 : public CWnd
{
    DECLARE_DYNCREATE(CWebBrowser2)
public:
    static const CLSID& GetClsid();

    virtual BOOL Create(LPCTSTR lpszClassName, LPCTSTR lpszWindowName, DWORD dwStyle, const RECT& rect,
                        CWnd* pParentWnd, UINT nID, void* pContext = nullptr) override;

    void Navigate(LPCTSTR URL, VARIANT* Flags, VARIANT* TargetFrameName, VARIANT* PostData, VARIANT* Headers);
};
