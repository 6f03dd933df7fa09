#include "FrameworkTest.h"
#include <gtest/gtest.h>
#include <string>

namespace {

const UINT kCommandA = 0x4000;
const UINT kCommandB = 0x4001;
const HCURSOR kDragCursor = reinterpret_cast<HCURSOR>(static_cast<INT_PTR>(0x1234));

// A window whose handlers record each call; its map is the base of CDerivedWnd's.
class CRecordingWnd : public CWnd
{
public:
    std::string m_calls;
    UINT m_nSysCommand = 0;
    LPARAM m_lSysCommand = 0;
    BOOL m_bPostNcDestroy = FALSE;

    void OnSysCommand(UINT nID, LPARAM lParam)
    {
        m_calls += "base.syscommand;";
        m_nSysCommand = nID;
        m_lSysCommand = lParam;
        Default();
    }
    void OnTimer(UINT_PTR nIDEvent) { m_calls += "base.timer" + std::to_string(nIDEvent) + ";"; }
    void OnCancelMode() { m_calls += "base.cancelmode;"; }
    void OnCommandA() { m_calls += "base.commandA;"; }
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
    HDROP m_hDrop = nullptr;

    void OnTimer(UINT_PTR nIDEvent) { m_calls += "derived.timer" + std::to_string(nIDEvent) + ";"; }
    void OnPaint()
    {
        m_calls += "derived.paint;";
        Default();
    }
    HCURSOR OnQueryDragIcon()
    {
        m_calls += "derived.querydragicon;";
        return kDragCursor;
    }
    void OnDropFiles(HDROP hDropInfo)
    {
        m_calls += "derived.dropfiles;";
        m_hDrop = hDropInfo;
    }
    void OnClose() { m_calls += "derived.close;"; }
    void OnCommandB() { m_calls += "derived.commandB;"; }

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

struct DispatchCase {
    const char* name;
    UINT message;
    WPARAM wParam;
    LPARAM lParam;
    const char* calls;
};

const DispatchCase kDispatchCases[] = {
    {"own entry", WM_TIMER, 7, 0, "derived.timer7;"},
    {"entry of the base map", WM_CANCELMODE, 0, 0, "base.cancelmode;"},
    {"typed parameters", WM_SYSCOMMAND, SC_KEYMENU, 0x00050006, "base.syscommand;"},
    {"handler with a result", WM_QUERYDRAGICON, 0, 0, "derived.querydragicon;"},
    {"handle parameter", WM_DROPFILES, 0x5678, 0, "derived.dropfiles;"},
    {"menu command of the base map", WM_COMMAND, MAKEWPARAM(kCommandA, 0), 0, "base.commandA;"},
    {"accelerator command", WM_COMMAND, MAKEWPARAM(kCommandB, 1), 0, "derived.commandB;"},
    {"unmapped command", WM_COMMAND, MAKEWPARAM(0x4FFF, 0), 0, ""},
    {"unmapped message", WM_USER + 5, 1, 2, ""},
};

TEST(MessageMapTest, DispatchesToTheMostDerivedEntry)
{
    for (const DispatchCase& c : kDispatchCases) {
        SCOPED_TRACE(c.name);
        CDerivedWnd wnd;
        ASSERT_TRUE(wnd.CreateTopLevel());
        const LRESULT result = wnd.SendMessage(c.message, c.wParam, c.lParam);
        EXPECT_EQ(c.calls, wnd.m_calls);
        if (c.message == WM_QUERYDRAGICON) {
            EXPECT_EQ(reinterpret_cast<LRESULT>(kDragCursor), result);
        }
        if (c.message == WM_SYSCOMMAND) {
            EXPECT_EQ(static_cast<UINT>(c.wParam), wnd.m_nSysCommand);
            EXPECT_EQ(c.lParam, wnd.m_lSysCommand);
        }
        if (c.message == WM_DROPFILES) {
            EXPECT_EQ(reinterpret_cast<HDROP>(c.wParam), wnd.m_hDrop);
        }
    }
}

TEST(MessageMapTest, ButtonClicksAreCommands)
{
    CDerivedWnd wnd;
    ASSERT_TRUE(wnd.CreateTopLevel());
    HWND hButton = ::CreateWindowExA(0, "BUTTON", "b", WS_CHILD | BS_PUSHBUTTON, 0, 0, 10, 10, wnd.m_hWnd,
                                     reinterpret_cast<HMENU>(static_cast<UINT_PTR>(kCommandB)), nullptr, nullptr);
    ASSERT_NE(nullptr, hButton);
    ::SendMessageA(hButton, BM_CLICK, 0, 0);
    EXPECT_EQ("derived.commandB;", wnd.m_calls);
    // Another notification from the same control is not the command.
    wnd.SendMessage(WM_COMMAND, MAKEWPARAM(kCommandB, BN_SETFOCUS), reinterpret_cast<LPARAM>(hButton));
    EXPECT_EQ("derived.commandB;", wnd.m_calls);
}

TEST(MessageMapTest, UnmappedMessagesGetDefaultProcessing)
{
    CRecordingWnd wnd;
    ASSERT_TRUE(wnd.CreateTopLevel());
    wnd.SendMessage(WM_SETTEXT, 0, reinterpret_cast<LPARAM>("retitled"));
    char text[32] = {};
    ::GetWindowTextA(wnd.m_hWnd, text, sizeof(text));
    EXPECT_STREQ("retitled", text);
    EXPECT_EQ(static_cast<LRESULT>(8), wnd.SendMessage(WM_GETTEXTLENGTH));
    EXPECT_EQ("", wnd.m_calls);
}

TEST(MessageMapTest, DefaultFromAHandlerContinuesTheMessage)
{
    // SC_CLOSE handled by OnSysCommand, whose Default() makes the platform send WM_CLOSE; without
    // an OnClose of its own the window's default processing destroys it.
    CRecordingWnd plain;
    ASSERT_TRUE(plain.CreateTopLevel());
    HWND hPlain = plain.m_hWnd;
    plain.SendMessage(WM_SYSCOMMAND, SC_CLOSE, 0);
    EXPECT_EQ("base.syscommand;", plain.m_calls);
    EXPECT_FALSE(::IsWindow(hPlain));
    EXPECT_EQ(nullptr, plain.m_hWnd);
    EXPECT_TRUE(plain.m_bPostNcDestroy);
    EXPECT_EQ(nullptr, CWnd::FromHandlePermanent(hPlain));

    // The derived window's OnClose keeps it open.
    CDerivedWnd derived;
    ASSERT_TRUE(derived.CreateTopLevel());
    derived.SendMessage(WM_SYSCOMMAND, SC_CLOSE, 0);
    EXPECT_EQ("base.syscommand;derived.close;", derived.m_calls);
    EXPECT_TRUE(::IsWindow(derived.m_hWnd));
}

TEST(MessageMapTest, TimerMessagesReachOnTimer)
{
    CDerivedWnd wnd;
    ASSERT_TRUE(wnd.CreateTopLevel());
    ASSERT_NE(0u, wnd.SetTimer(3, 10, nullptr));
    const DWORD deadline = ::GetTickCount() + 10000;
    MSG msg;
    while (wnd.m_calls.empty() && ::GetTickCount() < deadline) {
        if (::PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE))
            ::DispatchMessageA(&msg);
        else
            ::MsgWaitForMultipleObjects(0, nullptr, FALSE, 50, QS_ALLINPUT);
    }
    EXPECT_TRUE(wnd.KillTimer(3));
    EXPECT_EQ("derived.timer3;", wnd.m_calls);
}

TEST(MessageMapTest, CommandsOfTheApplicationObject)
{
    const int before = theTestApp.m_nAppOnlyCommands;
    EXPECT_TRUE(theTestApp.OnCmdMsg(kAppOnlyCommand, 0));
    EXPECT_TRUE(theTestApp.OnCmdMsg(ID_HELP, 0));
    EXPECT_FALSE(theTestApp.OnCmdMsg(kCommandA, 0));
    EXPECT_EQ(before + 1, theTestApp.m_nAppOnlyCommands);
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
    EXPECT_EQ(static_cast<int>(sizeof(CCreatable)), pClass->m_nObjectSize);
    EXPECT_EQ(0xFFFFu, pClass->m_wSchema);
    EXPECT_EQ(RUNTIME_CLASS(CWnd), pClass->m_pBaseClass);
    EXPECT_TRUE(pClass->IsDerivedFrom(RUNTIME_CLASS(CCmdTarget)));
    EXPECT_FALSE(RUNTIME_CLASS(CWnd)->IsDerivedFrom(pClass));

    CObject* pObject = pClass->CreateObject();
    ASSERT_NE(nullptr, pObject);
    EXPECT_EQ(pClass, pObject->GetRuntimeClass());
    EXPECT_TRUE(pObject->IsKindOf(RUNTIME_CLASS(CWnd)));
    EXPECT_EQ(nullptr, static_cast<CWnd*>(pObject)->m_hWnd);
    delete pObject;

    EXPECT_EQ(nullptr, RUNTIME_CLASS(CWnd)->CreateObject());
}

}
