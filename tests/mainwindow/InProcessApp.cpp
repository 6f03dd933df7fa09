// What AfxWinMain does before InitInstance, for a test program that runs the main window itself.
#include <gtest/gtest.h>

#include "framework/Afx.h"

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
