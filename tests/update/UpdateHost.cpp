// A stand-in for the shell around the update agent, so that the update procedure can move a running
// executable that is not the test's own. Modes:
//   UpdateHost run <base address>        runs the procedure; the exit code is its result
//   UpdateHost nosession <base address>  the same with an agent whose session the platform refused
//   UpdateHost order <log file>          at exit, the application object logs whether the agent's
//                                        session was already closed when it was destroyed
#include "framework/Afx.h"
#include "update/UpdateAgent.h"
#include "app/BuildConfig.h"

#include <stdio.h>
#include <string.h>

const char kWebAppUrlPrefix[] = "http://127.0.0.1/touch/default/type/ipad/source/software?ver";
const char kUpdateBaseUrl[] = "http://127.0.0.1/update/";
const char kHomePageUrl[] = "http://127.0.0.1";

namespace {

const int kUsageError = 100;

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
        if (g_orderLog[0] == '\0')
            return;
        FILE* log = fopen(g_orderLog, "ab");
        if (!log)
            return;
        fputs(SessionOpen(g_observedSession) ? "app destroyed, agent session open\n"
                                               : "app destroyed, agent session closed\n",
              log);
        fclose(log);
    }
};

}

// In the shell's order: the application object first, then the agent.
CHostApp theApp;
CUpdateAgent g_updateAgent;

int main(int argc, char** argv)
{
    if (argc != 3)
        return kUsageError;
    if (strcmp(argv[1], "run") == 0)
        return g_updateAgent.RunUpdate(argv[2]);
    if (strcmp(argv[1], "nosession") == 0) {
        InternetCloseHandle(g_updateAgent.m_hSession);
        g_updateAgent.m_hSession = nullptr;
        return g_updateAgent.RunUpdate(argv[2]);
    }
    if (strcmp(argv[1], "order") == 0 && strlen(argv[2]) < sizeof(g_orderLog)) {
        g_observedSession = g_updateAgent.m_hSession;
        if (!g_observedSession || !SessionOpen(g_observedSession))
            return kUsageError;
        strcpy(g_orderLog, argv[2]);
        return 0;
    }
    return kUsageError;
}
