#pragma once
#include "framework/AfxWnd.h"

// One data exchange between a dialog and its controls.
class CDataExchange
{
public:
    explicit CDataExchange(CWnd* pDlgWnd) : m_pDlgWnd(pDlgWnd) {}

    CWnd* m_pDlgWnd;
};

// Binds rControl to dialog item nIDC on the first exchange: to the control site for an ActiveX
// control (so InvokeHelper reaches the control), by subclassing for an ordinary control.
void DDX_Control(CDataExchange* pDX, int nIDC, CWnd& rControl);
