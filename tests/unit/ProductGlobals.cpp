// What app/ defines for Quorel.exe, for test programs that link the product's classes: the build
// constants pointing at the test host, an application object, and the update agent after it.
#include "app/BuildConfig.h"
#include "framework/Afx.h"
#include "update/Restart.h"
#include "update/TransferLimits.h"
#include "update/UpdateAgent.h"

const char kWebAppUrlPrefix[] = "http://" QUOREL_TEST_HOST QUOREL_WEBAPP_PATH;
const char kUpdateBaseUrl[] = "http://" QUOREL_TEST_HOST QUOREL_UPDATE_PATH;
const char kHomePageUrl[] = "http://" QUOREL_TEST_HOST;
const TransferLimits kTransferLimits = {
    kAnswerLimitMs / QUOREL_TEST_LIMIT_DIVISOR, kSilenceLimitMs / QUOREL_TEST_LIMIT_DIVISOR,
    kBlockLimitMs / QUOREL_TEST_LIMIT_DIVISOR, kDownloadLimitMs / QUOREL_TEST_LIMIT_DIVISOR};
const DWORD kStartWaitMs = kStartLimitMs / QUOREL_TEST_LIMIT_DIVISOR;

namespace {
class CTestApp : public CWinApp
{
public:
    CTestApp() : CWinApp(nullptr) {}
};
}  // namespace

CTestApp theTestApp;
CUpdateAgent g_updateAgent;
