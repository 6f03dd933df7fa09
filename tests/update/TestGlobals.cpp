// What app/ defines for the shell, for a test program that links the shell's classes.
#include "framework/Afx.h"
#include "update/UpdateAgent.h"
#include "app/BuildConfig.h"

const char kWebAppUrlPrefix[] = "http://127.0.0.1/touch/default/type/ipad/source/software?ver";
const char kUpdateBaseUrl[] = "http://127.0.0.1/update/";
const char kHomePageUrl[] = "http://127.0.0.1";

namespace {

class CTestApp : public CWinApp
{
public:
    CTestApp() : CWinApp(nullptr) {}
};

}

CTestApp theApp;
CUpdateAgent g_updateAgent;
