#include "app/ZelmoraApp.h"
#include "install/Uninstall.h"
#include "ui/ZelmoraDlg.h"
#include "update/UpdateAgent.h"

BEGIN_MESSAGE_MAP(CZelmoraApp, CWinApp)
    ON_COMMAND(ID_HELP, CWinApp::OnHelp)
END_MESSAGE_MAP()

// A null name: the framework takes both names from the executable's file name.
CZelmoraApp::CZelmoraApp() : CWinApp(nullptr)
{
}

CZelmoraApp::~CZelmoraApp()
{
}

BOOL CZelmoraApp::InitInstance()
{
    // The one option: no window, no update check.
    if (IsUninstallCommand(::GetCommandLineA())) {
        RunUninstall();
        return FALSE;
    }
    // The main window's template holds an ActiveX control.
    AfxEnableControlContainer();
    Enable3dControls();

    CZelmoraDlg dlg;
    m_pMainWnd = &dlg;
    dlg.DoModal();

    // FALSE: the process ends with the main window instead of entering a message loop of its own.
    return FALSE;
}

// Defined together, in this order, so that the agent (and its Internet session) is constructed after
// the application object and destroyed before it.
CZelmoraApp theApp;
CUpdateAgent g_updateAgent;
