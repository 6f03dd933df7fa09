#include <exdispid.h>
#include <gtest/gtest.h>
#include "framework/Afx.h"

namespace {

const UINT kCommandA = 0x4000, kCommandB = 0x4001, kControl = 7;
const HCURSOR kDragCursor = reinterpret_cast<HCURSOR>(static_cast<INT_PTR>(0x1234));
IDispatch* const kPage = reinterpret_cast<IDispatch*>(static_cast<INT_PTR>(0x4321));

// Handlers log each call with its parameters; these maps are the base of CDerivedWnd's.
class CRecordingWnd : public CWnd
{
public:
    std::string m_calls;
    void Log(const char* name, const std::string& value) { m_calls += name + value + ";"; }
    void Log(const char* name, LONG_PTR value) { Log(name, std::to_string(value)); }
    void OnSysCommand(UINT nID, LPARAM lParam)
    {
        Log("base.syscommand", nID);
        Log("lparam", lParam);
        Default();
    }
    void OnTimer(UINT_PTR nIDEvent) { Log("base.timer", nIDEvent); }
    void OnCommandA() { Log("base.commandA", 0); }
    void OnVisible(BOOL bVisible) { Log("base.visible", bVisible); }
    DECLARE_MESSAGE_MAP()
    DECLARE_EVENTSINK_MAP()
};

BEGIN_MESSAGE_MAP(CRecordingWnd, CWnd)
    ON_WM_SYSCOMMAND()
    ON_WM_TIMER()
    ON_COMMAND(kCommandA, OnCommandA)
END_MESSAGE_MAP()

BEGIN_EVENTSINK_MAP(CRecordingWnd, CWnd)
    ON_EVENT(CRecordingWnd, kControl, DISPID_ONVISIBLE, OnVisible, VTS_BOOL)
END_EVENTSINK_MAP()

class CDerivedWnd : public CRecordingWnd
{
public:
    VARIANT* m_pUrl = nullptr;
    void OnTimer(UINT_PTR nIDEvent) { Log("derived.timer", nIDEvent); }
    HCURSOR OnQueryDragIcon()
    {
        Log("derived.querydragicon", 0);
        return kDragCursor;
    }
    void OnDropFiles(HDROP hDropInfo) { Log("derived.dropfiles", reinterpret_cast<LONG_PTR>(hDropInfo)); }
    void OnClose() { Log("derived.close", 0); }
    void OnCommandB() { Log("derived.commandB", 0); }
    void OnStatusTextChange(LPCTSTR lpszText) { Log("derived.status", lpszText); }
    void OnDocumentComplete(LPDISPATCH pDisp, VARIANT* pUrl)
    {
        Log("derived.complete", std::to_string(pDisp == kPage) + std::to_string(pUrl == m_pUrl));
    }
    DECLARE_MESSAGE_MAP()
    DECLARE_EVENTSINK_MAP()
};

BEGIN_MESSAGE_MAP(CDerivedWnd, CRecordingWnd)
    ON_WM_TIMER()
    ON_WM_QUERYDRAGICON()
    ON_WM_DROPFILES()
    ON_WM_CLOSE()
    ON_COMMAND(kCommandB, CDerivedWnd::OnCommandB)
END_MESSAGE_MAP()

BEGIN_EVENTSINK_MAP(CDerivedWnd, CRecordingWnd)
    ON_EVENT(CDerivedWnd, kControl, DISPID_STATUSTEXTCHANGE, OnStatusTextChange, VTS_BSTR)
    ON_EVENT(CDerivedWnd, kControl, DISPID_DOCUMENTCOMPLETE, CDerivedWnd::OnDocumentComplete, VTS_DISPATCH VTS_PVARIANT)
END_EVENTSINK_MAP()

// Messages sent to the window, and events as the control fires them (DISPPARAMS hold the arguments last
// first), reach the most derived entry with their parameters; anything else goes on to the default.
TEST(MessageMapTest, MessagesAndEventsReachTheMostDerivedEntry)
{
    // clang-format off
    const struct { UINT message; WPARAM wParam; LPARAM lParam; const char* calls; LRESULT result; } messages[] = {
        {WM_TIMER, 7, 0, "derived.timer7;", 0}, {WM_DROPFILES, 0x5678, 0, "derived.dropfiles22136;", 0},
        {WM_SYSCOMMAND, SC_KEYMENU, 0x50006, "base.syscommand61696;lparam327686;", 0},
        {WM_QUERYDRAGICON, 0, 0, "derived.querydragicon0;", 0x1234},
        {WM_COMMAND, kCommandA, 0, "base.commandA0;", 0},                    // a menu command
        {WM_COMMAND, MAKEWPARAM(kCommandB, 1), 0, "derived.commandB0;", 0},  // an accelerator
        {WM_COMMAND, MAKEWPARAM(kCommandB, BN_CLICKED), 1, "derived.commandB0;", 0},
        {WM_COMMAND, MAKEWPARAM(kCommandB, BN_SETFOCUS), 1, "", 0},
        {WM_GETTEXTLENGTH, 0, 0, "", 9},  // unmapped: the platform's default processing
        // Default() in the handler goes on with the platform's processing, which sends WM_CLOSE.
        {WM_SYSCOMMAND, SC_CLOSE, 0, "base.syscommand61536;lparam0;derived.close0;", 0},
    };
    VARIANT url, visible, status, complete[2];
    V_VT(&url) = VT_BSTR;                        V_BSTR(&url) = ::SysAllocString(L"http://127.0.0.1/");
    V_VT(&visible) = VT_BOOL;                    V_BOOL(&visible) = VARIANT_TRUE;
    V_VT(&status) = VT_BSTR;                     V_BSTR(&status) = ::SysAllocString(L"完成 \u8bd5\u8863\u95f4");
    V_VT(&complete[0]) = VT_VARIANT | VT_BYREF;  V_VARIANTREF(&complete[0]) = &url;
    V_VT(&complete[1]) = VT_DISPATCH;            V_DISPATCH(&complete[1]) = kPage;
    const struct { UINT ctrl; DISPID dispid; VARIANT* args; UINT nArgs; HRESULT hr; const char* calls; } events[] = {
        {kControl, DISPID_ONVISIBLE, &visible, 1, S_OK, "base.visible1;"},
        {kControl, DISPID_STATUSTEXTCHANGE, &status, 1, S_OK, "derived.status完成 试衣间;"},
        {kControl, DISPID_DOCUMENTCOMPLETE, complete, 2, S_OK, "derived.complete11;"},
        {kControl, 9999, nullptr, 0, S_FALSE, ""}, {kControl + 2, DISPID_ONVISIBLE, &visible, 1, S_FALSE, ""},
        {kControl, DISPID_STATUSTEXTCHANGE, nullptr, 0, DISP_E_BADPARAMCOUNT, ""},
        {kControl, DISPID_ONVISIBLE, &url, 1, DISP_E_TYPEMISMATCH, ""},  // no yes-or-no in the text
    };
    // clang-format on
    for (const auto& c : messages) {
        SCOPED_TRACE(testing::Message() << "message " << (&c - messages));
        CDerivedWnd wnd;
        ASSERT_TRUE(wnd.Create("STATIC", "recording", WS_OVERLAPPEDWINDOW, RECT{0, 0, 200, 100}, nullptr, 0));
        EXPECT_EQ(c.result, wnd.SendMessage(c.message, c.wParam, c.lParam));
        EXPECT_EQ(c.calls, wnd.m_calls);
    }
    for (const auto& c : events) {
        SCOPED_TRACE(testing::Message() << "event " << (&c - events));
        CDerivedWnd sink;
        sink.m_pUrl = &url;
        DISPPARAMS params = {c.args, nullptr, c.nArgs, 0};
        EXPECT_EQ(c.hr, sink.OnEvent(c.ctrl, c.dispid, &params));
        EXPECT_EQ(c.calls, sink.m_calls);
    }
    ::VariantClear(&url);
    ::VariantClear(&status);
}

}  // namespace
