#pragma once
#include "framework/Afx.h"

// The About box: icon, product name and rights notice, with framework defaults only.
class CAboutDlg : public CDialog
{
public:
    CAboutDlg();
    virtual ~CAboutDlg();

protected:
    virtual void DoDataExchange(CDataExchange* pDX) override;
    DECLARE_MESSAGE_MAP()
};
