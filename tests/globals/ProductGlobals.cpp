// What app/ defines for Quorel.exe, for test programs that link the product's classes: the build
// constants pointing at the test host, an application object, and the update agent after it.
#include "app/BuildConfig.h"
#include "framework/Afx.h"
#include "update/TransferLimits.h"
#include "update/UpdateAgent.h"

const char kWebAppUrlPrefix[] = "http://" QUOREL_TEST_HOST "/touch/default/type/ipad/source/software?ver";
const char kUpdateBaseUrl[] = "http://" QUOREL_TEST_HOST "/update/";
const char kHomePageUrl[] = "http://" QUOREL_TEST_HOST;
const TransferLimits kTransferLimits = {kAnswerLimitMs / QUOREL_TEST_LIMIT_DIVISOR,
                                         kSilenceLimitMs / QUOREL_TEST_LIMIT_DIVISOR,
                                         kBlockLimitMs / QUOREL_TEST_LIMIT_DIVISOR};

namespace {
class CTestApp : public CWinApp
{
public:
    CTestApp() : CWinApp(nullptr) {}
};
}

CTestApp theTestApp;
CUpdateAgent g_updateAgent;
