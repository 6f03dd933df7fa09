// The globals that app/ defines for Quorel.exe, for a test binary that links the product's classes.
#include "framework/Afx.h"
#include "app/BuildConfig.h"
#include "update/UpdateAgent.h"

const char kWebAppUrlPrefix[] = "http://" QUOREL_TEST_HOST "/touch/default/type/ipad/source/software?ver";
const char kUpdateBaseUrl[] = "http://" QUOREL_TEST_HOST "/update/";
const char kHomePageUrl[] = "http://" QUOREL_TEST_HOST;

class CInstallTestApp : public CWinApp
{
public:
    CInstallTestApp() : CWinApp(nullptr) {}
};

CInstallTestApp theTestApp;
CUpdateAgent g_updateAgent;
