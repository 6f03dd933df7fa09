#include "framework/AfxApp.h"
#include "framework/AfxOcc.h"
#include <mbctype.h>
#include <stdlib.h>
#include <string.h>

namespace {
CWinApp* g_pApp;
HINSTANCE g_hInstance;

// Runs before any of the program's own globals but the DLL search restriction, which holds 101:
// multibyte functions of the runtime then split text the way the system's ANSI code page does.
struct CModuleInit
{
    CModuleInit() { _setmbcp(_MB_CP_ANSI); }
};
CModuleInit g_moduleInit __attribute__((init_priority(102)));

// A heap copy of the running module's file name without folder and extension.
char* DupModuleBaseName()
{
    char path[MAX_PATH];
    const DWORD length = ::GetModuleFileNameA(nullptr, path, MAX_PATH);
    if (length == 0 || length >= MAX_PATH)
        return _strdup("");
    // Walk whole characters: in a double-byte code page a trail byte can look like '\\' or '.'.
    char* pName = path;
    char* pDot = nullptr;
    for (char* p = path; *p != '\0'; p = ::CharNextA(p)) {
        if (*p == '\\' || *p == '/' || *p == ':') {
            pName = p + 1;
            pDot = nullptr;
        } else if (*p == '.') {
            pDot = p;
        }
    }
    if (pDot != nullptr)
        *pDot = '\0';
    return _strdup(pName);
}
}  // namespace

BEGIN_MESSAGE_MAP(CWinApp, CCmdTarget)
END_MESSAGE_MAP()

CWinApp::CWinApp(const char* pszAppName)
    : m_pszExeName(DupModuleBaseName()),
      m_pszAppName(pszAppName != nullptr ? _strdup(pszAppName) : _strdup(m_pszExeName)),
      m_pMainWnd(nullptr)
{
    g_pApp = this;
}

CWinApp::~CWinApp()
{
    free(const_cast<char*>(m_pszExeName));
    free(const_cast<char*>(m_pszAppName));
    if (g_pApp == this)
        g_pApp = nullptr;
}

BOOL CWinApp::InitInstance()
{
    return TRUE;
}

int CWinApp::ExitInstance()
{
    return 0;
}

HICON CWinApp::LoadIcon(UINT nID) const
{
    return static_cast<HICON>(::LoadImageA(AfxGetResourceHandle(), MAKEINTRESOURCEA(nID), IMAGE_ICON,
                                           ::GetSystemMetrics(SM_CXICON), ::GetSystemMetrics(SM_CYICON), LR_SHARED));
}

// No help file ships with the application; the command is accepted and shows nothing.
void CWinApp::OnHelp()
{
}

CWinApp* AfxGetApp()
{
    return g_pApp;
}

CWnd* AfxGetMainWnd()
{
    return g_pApp != nullptr ? g_pApp->m_pMainWnd : nullptr;
}

HINSTANCE AfxGetInstanceHandle()
{
    return g_hInstance != nullptr ? g_hInstance : ::GetModuleHandleA(nullptr);
}

HINSTANCE AfxGetResourceHandle()
{
    return AfxGetInstanceHandle();
}

BOOL AfxWinInit(HINSTANCE hInstance)
{
    g_hInstance = hInstance;
    return TRUE;
}

void AfxWinTerm()
{
    AfxTermControlContainer();
}

int AfxWinMain(HINSTANCE hInstance, HINSTANCE, LPSTR, int)
{
    int nReturnCode = -1;
    CWinApp* pApp = AfxGetApp();
    if (pApp != nullptr && AfxWinInit(hInstance)) {
        pApp->InitInstance();
        nReturnCode = pApp->ExitInstance();
    }
    AfxWinTerm();
    // Returning lets the runtime end the process: the globals are destroyed in reverse order.
    return nReturnCode;
}

// Kept beside CWinApp so that linking the application object brings the entry point with it.
int WINAPI WinMain(HINSTANCE hInstance, HINSTANCE hPrevInstance, LPSTR lpCmdLine, int nCmdShow)
{
    return AfxWinMain(hInstance, hPrevInstance, lpCmdLine, nCmdShow);
}
