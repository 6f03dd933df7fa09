#pragma once
#include <windows.h>
#include "framework/AfxWnd.h"

#ifndef ID_HELP
#define ID_HELP 0xE146
#endif

// The application object: there is exactly one, constructed as a global. The process entry
// (WinMain -> AfxWinMain) calls its InitInstance, which does the application's whole work (it runs
// the main window modally), and then its ExitInstance; there is no message loop of the application's own.
class CWinApp : public CCmdTarget
{
public:
    // A null name: both m_pszExeName and m_pszAppName are the executable's file name without extension.
    explicit CWinApp(const char* pszAppName = nullptr);
    virtual ~CWinApp();

    // The application's work. Its result is not used: without a message loop of the application's
    // own, the process ends after ExitInstance either way.
    virtual BOOL InitInstance();
    // Returns the process's exit code.
    virtual int ExitInstance();

    // Icon group nID from the resource module, at the system's standard icon size (shared).
    HICON LoadIcon(UINT nID) const;
    BOOL Enable3dControls() { return TRUE; }
    afx_msg void OnHelp();

    const char* m_pszExeName;
    const char* m_pszAppName;
    CWnd* m_pMainWnd;

    CWinApp(const CWinApp&) = delete;
    CWinApp& operator=(const CWinApp&) = delete;

    DECLARE_MESSAGE_MAP()
};

CWinApp* AfxGetApp();
CWnd* AfxGetMainWnd();
HINSTANCE AfxGetInstanceHandle();
HINSTANCE AfxGetResourceHandle();

// Framework start-up and shut-down around the application. AfxWinMain calls both; programs with
// their own entry point (the tests) call them themselves.
BOOL AfxWinInit(HINSTANCE hInstance);
void AfxWinTerm();
int AfxWinMain(HINSTANCE hInstance, HINSTANCE hPrevInstance, LPSTR lpCmdLine, int nCmdShow);
