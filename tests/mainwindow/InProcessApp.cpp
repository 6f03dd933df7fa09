// The globals that Quorel.exe defines in app/, for a test program that runs the main window itself.
#include <gtest/gtest.h>

#include "app/BuildConfig.h"
#include "framework/Afx.h"
#include "update/UpdateAgent.h"

const char kWebAppUrlPrefix[] = "http://" QUOREL_TEST_HOST "/touch/default/type/ipad/source/software?ver";
const char kUpdateBaseUrl[] = "http://" QUOREL_TEST_HOST "/update/";
const char kHomePageUrl[] = "http://" QUOREL_TEST_HOST;

class CInProcessApp : public CWinApp
{
public:
    CInProcessApp() : CWinApp(nullptr) {}
};

CInProcessApp theApp;
CUpdateAgent g_updateAgent;

namespace {
class AppEnvironment : public ::testing::Environment
{
public:
    void SetUp() override
    {
        AfxWinInit(GetModuleHandleA(nullptr));
        AfxEnableControlContainer();
    }
    void TearDown() override { AfxWinTerm(); }
};

::testing::Environment* const g_environment = ::testing::AddGlobalTestEnvironment(new AppEnvironment);
}
