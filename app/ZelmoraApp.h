#pragma once
#include "framework/Afx.h"

// The application object: its only job is to run the main window modally.
class CZelmoraApp : public CWinApp
{
public:
    CZelmoraApp();
    virtual ~CZelmoraApp();

    virtual BOOL InitInstance() override;

    DECLARE_MESSAGE_MAP()
};

extern CZelmoraApp theApp;
