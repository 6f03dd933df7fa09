// A stand-in for the shell around the update agent, so that the procedure moves an executable that is not
// the test's own. "run <base>" and "nosession <base>" (the platform refused the session) exit with the
// procedure's result; "order <log>" logs at exit whether the agent's session was closed before the
// application object was destroyed.
#include "framework/Afx.h"
#include "update/UpdateAgent.h"
#include "app/BuildConfig.h"
#include "update/TransferLimits.h"

#include <stdio.h>
#include <string.h>

const char kWebAppUrlPrefix[] = "http://127.0.0.1/touch/default/type/ipad/source/software?ver";
const char kUpdateBaseUrl[] = "http://127.0.0.1/update/";
const char kHomePageUrl[] = "http://127.0.0.1";
const TransferLimits kTransferLimits = {kAnswerLimitMs / QUOREL_TEST_LIMIT_DIVISOR,
                                         kSilenceLimitMs / QUOREL_TEST_LIMIT_DIVISOR,
                                         kBlockLimitMs / QUOREL_TEST_LIMIT_DIVISOR};

namespace {

HINTERNET g_observedSession = nullptr;
char g_orderLog[MAX_PATH] = "";

bool SessionOpen(HINTERNET session)
{
    DWORD type = 0;
    DWORD size = sizeof(type);
    return InternetQueryOptionA(session, INTERNET_OPTION_HANDLE_TYPE, &type, &size) != FALSE;
}

class CHostApp : public CWinApp
{
public:
    CHostApp() : CWinApp(nullptr) {}
    virtual ~CHostApp()
    {
        FILE* log = g_orderLog[0] ? fopen(g_orderLog, "ab") : nullptr;
        if (!log)
            return;
        fputs(SessionOpen(g_observedSession) ? "agent session open\n" : "agent session closed\n", log);
        fclose(log);
    }
};

}

// In the shell's order: the application object first, then the agent.
CHostApp theApp;
CUpdateAgent g_updateAgent;

int main(int argc, char** argv)
{
    const int kUsageError = 100;
    if (argc != 3)
        return kUsageError;
    if (strcmp(argv[1], "nosession") == 0) {
        InternetCloseHandle(g_updateAgent.m_hSession);
        g_updateAgent.m_hSession = nullptr;
    }
    if (strcmp(argv[1], "run") == 0 || strcmp(argv[1], "nosession") == 0)
        return g_updateAgent.RunUpdate(argv[2]);
    if (strcmp(argv[1], "order") != 0 || !SessionOpen(g_updateAgent.m_hSession))
        return kUsageError;
    g_observedSession = g_updateAgent.m_hSession;
    lstrcpynA(g_orderLog, argv[2], sizeof(g_orderLog));
    return 0;
}
