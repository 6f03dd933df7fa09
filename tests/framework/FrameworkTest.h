#pragma once
#include "framework/Afx.h"
#include "FrameworkTestRes.h"

// A command only the application object handles.
const UINT kAppOnlyCommand = 0xE1F0;

// The test program's application object; its map handles kAppOnlyCommand and, like the shell's,
// ID_HELP.
class CFrameworkTestApp : public CWinApp
{
public:
    CFrameworkTestApp();
    void OnAppOnlyCommand();
    int m_nAppOnlyCommands;
    DECLARE_MESSAGE_MAP()
};

extern CFrameworkTestApp theTestApp;
