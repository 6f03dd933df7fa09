#include "FrameworkTest.h"
#include <gtest/gtest.h>
#include <string>

namespace {

const UINT kCommandA = 0x4000;
const UINT kCommandB = 0x4001;
const HCURSOR kDragCursor = reinterpret_cast<HCURSOR>(static_cast<INT_PTR>(0x1234));

// A window whose handlers log each call with its parameters; its map is the base of CDerivedWnd's.
class CRecordingWnd : public CWnd
{
public:
    std::string m_calls;
    BOOL m_bPostNcDestroy = FALSE;

    void Log(const char* name, ULONG_PTR value) { m_calls += name + std::to_string(value) + ";"; }
    void Log(const char* name) { m_calls += std::string(name) + ";"; }
    void OnSysCommand(UINT nID, LPARAM lParam)
    {
        Log("base.syscommand", nID);
        Log("lparam", static_cast<ULONG_PTR>(lParam));
        Default();
    }
    void OnTimer(UINT_PTR nIDEvent) { Log("base.timer", nIDEvent); }
    void OnCancelMode() { Log("base.cancelmode"); }
    void OnCommandA() { Log("base.commandA"); }
    void PostNcDestroy() override { m_bPostNcDestroy = TRUE; }

    BOOL CreateTopLevel()
    {
        const RECT rect = {0, 0, 200, 100};
        return Create(nullptr, "recording", WS_OVERLAPPEDWINDOW, rect, nullptr, 0);
    }

    DECLARE_MESSAGE_MAP()
};

BEGIN_MESSAGE_MAP(CRecordingWnd, CWnd)
    ON_WM_SYSCOMMAND()
    ON_WM_TIMER()
    ON_WM_CANCELMODE()
    ON_COMMAND(kCommandA, OnCommandA)
END_MESSAGE_MAP()

class CDerivedWnd : public CRecordingWnd
{
public:
    void OnTimer(UINT_PTR nIDEvent) { Log("derived.timer", nIDEvent); }
    void OnPaint() { Default(); }
    HCURSOR OnQueryDragIcon()
    {
        Log("derived.querydragicon");
        return kDragCursor;
    }
    void OnDropFiles(HDROP hDropInfo) { Log("derived.dropfiles", reinterpret_cast<ULONG_PTR>(hDropInfo)); }
    void OnClose() { Log("derived.close"); }
    void OnCommandB() { Log("derived.commandB"); }

    DECLARE_MESSAGE_MAP()
};

BEGIN_MESSAGE_MAP(CDerivedWnd, CRecordingWnd)
    ON_WM_TIMER()
    ON_WM_PAINT()
    ON_WM_QUERYDRAGICON()
    ON_WM_DROPFILES()
    ON_WM_CLOSE()
    ON_COMMAND(kCommandB, CDerivedWnd::OnCommandB)
END_MESSAGE_MAP()

// A result the case does not check.
const LRESULT kAnyResult = -1;

struct DispatchCase {
    const char* name;
    UINT message;
    WPARAM wParam;
    LPARAM lParam;
    const char* calls;
    LRESULT result;
};

const DispatchCase kDispatchCases[] = {
    {"own entry", WM_TIMER, 7, 0, "derived.timer7;", kAnyResult},
    {"entry of the base map", WM_CANCELMODE, 0, 0, "base.cancelmode;", kAnyResult},
    {"typed parameters", WM_SYSCOMMAND, SC_KEYMENU, 0x50006, "base.syscommand61696;lparam327686;", kAnyResult},
    {"handler with a result", WM_QUERYDRAGICON, 0, 0, "derived.querydragicon;",
     reinterpret_cast<LRESULT>(kDragCursor)},
    {"handle parameter", WM_DROPFILES, 0x5678, 0, "derived.dropfiles22136;", kAnyResult},
    {"menu command of the base map", WM_COMMAND, MAKEWPARAM(kCommandA, 0), 0, "base.commandA;", kAnyResult},
    {"accelerator command", WM_COMMAND, MAKEWPARAM(kCommandB, 1), 0, "derived.commandB;", kAnyResult},
    {"button click", WM_COMMAND, MAKEWPARAM(kCommandB, BN_CLICKED), 1, "derived.commandB;", kAnyResult},
    {"other control notification", WM_COMMAND, MAKEWPARAM(kCommandB, BN_SETFOCUS), 1, "", kAnyResult},
    {"unmapped command", WM_COMMAND, MAKEWPARAM(0x4FFF, 0), 0, "", kAnyResult},
    {"unmapped message gets default processing", WM_GETTEXTLENGTH, 0, 0, "", 9},
};

TEST(MessageMapTest, DispatchesToTheMostDerivedEntry)
{
    for (const DispatchCase& c : kDispatchCases) {
        SCOPED_TRACE(c.name);
        CDerivedWnd wnd;
        ASSERT_TRUE(wnd.CreateTopLevel());
        const LRESULT result = wnd.SendMessage(c.message, c.wParam, c.lParam);
        EXPECT_EQ(c.calls, wnd.m_calls);
        EXPECT_TRUE(c.result == kAnyResult || c.result == result) << result;
    }
}

// SC_CLOSE's Default() makes the platform send WM_CLOSE: the base window's default processing
// destroys it, the derived window's OnClose keeps it open.
TEST(MessageMapTest, DefaultFromAHandlerContinuesTheMessage)
{
    CRecordingWnd plain;
    ASSERT_TRUE(plain.CreateTopLevel());
    HWND hPlain = plain.m_hWnd;
    plain.SendMessage(WM_SYSCOMMAND, SC_CLOSE, 0);
    EXPECT_EQ("base.syscommand61536;lparam0;", plain.m_calls);
    EXPECT_FALSE(::IsWindow(hPlain));
    EXPECT_EQ(nullptr, plain.m_hWnd);
    EXPECT_TRUE(plain.m_bPostNcDestroy);
    EXPECT_EQ(nullptr, CWnd::FromHandlePermanent(hPlain));

    CDerivedWnd derived;
    ASSERT_TRUE(derived.CreateTopLevel());
    derived.SendMessage(WM_SYSCOMMAND, SC_CLOSE, 0);
    EXPECT_EQ("base.syscommand61536;lparam0;derived.close;", derived.m_calls);
    EXPECT_TRUE(::IsWindow(derived.m_hWnd));
}

class CCreatable : public CWnd
{
    DECLARE_DYNCREATE(CCreatable)
};

IMPLEMENT_DYNCREATE(CCreatable, CWnd)

TEST(RuntimeClassTest, DescribesAndCreates)
{
    const CRuntimeClass* pClass = RUNTIME_CLASS(CCreatable);
    EXPECT_STREQ("CCreatable", pClass->m_lpszClassName);
    EXPECT_TRUE(pClass->IsDerivedFrom(RUNTIME_CLASS(CCmdTarget)));
    EXPECT_FALSE(RUNTIME_CLASS(CWnd)->IsDerivedFrom(pClass));
    CObject* pObject = pClass->CreateObject();
    ASSERT_NE(nullptr, pObject);
    EXPECT_TRUE(pObject->IsKindOf(RUNTIME_CLASS(CWnd)));
    delete pObject;
    EXPECT_EQ(nullptr, RUNTIME_CLASS(CWnd)->CreateObject());
}

}
