#include "FrameworkTest.h"
#include <gtest/gtest.h>

BEGIN_MESSAGE_MAP(CFrameworkTestApp, CWinApp)
    ON_COMMAND(kAppOnlyCommand, OnAppOnlyCommand)
    ON_COMMAND(ID_HELP, CWinApp::OnHelp)
END_MESSAGE_MAP()

CFrameworkTestApp::CFrameworkTestApp()
    : CWinApp(nullptr), m_nAppOnlyCommands(0)
{
}

void CFrameworkTestApp::OnAppOnlyCommand()
{
    ++m_nAppOnlyCommands;
}

CFrameworkTestApp theTestApp;

namespace {
// What AfxWinMain does around InitInstance, for a program whose entry point is GoogleTest's main.
class FrameworkEnvironment : public ::testing::Environment
{
public:
    void SetUp() override
    {
        AfxWinInit(::GetModuleHandleA(nullptr));
        AfxEnableControlContainer();
    }
    void TearDown() override { AfxWinTerm(); }
};

::testing::Environment* const g_environment = ::testing::AddGlobalTestEnvironment(new FrameworkEnvironment);
}
