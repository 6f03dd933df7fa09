#include "framework/AfxDdx.h"
#include "framework/AfxOcc.h"

void DDX_Control(CDataExchange* pDX, int nIDC, CWnd& rControl)
{
    if (rControl.m_hWnd != nullptr || rControl.GetControlSite() != nullptr)
        return;
    COleControlContainer* pCtrlCont = pDX->m_pDlgWnd->GetControlContainer();
    COleControlSite* pSite = pCtrlCont != nullptr ? pCtrlCont->FindSite(static_cast<UINT>(nIDC)) : nullptr;
    if (pSite != nullptr) {
        rControl.AttachControlSite(pSite);
        return;
    }
    HWND hWndCtrl = pDX->m_pDlgWnd->GetDlgItem(nIDC);
    if (hWndCtrl != nullptr)
        rControl.SubclassWindow(hWndCtrl);
}
