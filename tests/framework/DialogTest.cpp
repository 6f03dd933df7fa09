#include "FrameworkTest.h"
#include <exdispid.h>
#include <gtest/gtest.h>
#include <functional>
#include <string>
#include "support/HttpServer.h"
#include "ui/WebBrowser2.h"

namespace {

const DWORD kDeadlineMs = 20000;
const int kTimedOut = -55;

// A modal dialog that logs what the framework does with it. The scripts run around the binding of
// m_browser (the shell's own wrapper) to the browser item, if the template has one; `done`, polled,
// ends the dialog with IDOK.
class CTestDialog : public CDialog
{
public:
    explicit CTestDialog(UINT nIDTemplate) : CDialog(nIDTemplate) {}

    CWebBrowser2 m_browser;
    std::string m_log;
    std::function<void(CTestDialog&)> beforeBind, afterBind;
    std::function<bool()> done;
    HWND m_hOwner = nullptr;
    BOOL m_bOwnerEnabled = TRUE, m_bVisibleAtEnd = FALSE;
    RECT m_rectAtEnd = {};

    BOOL OnInitDialog() override
    {
        if (beforeBind)
            beforeBind(*this);
        CDialog::OnInitDialog();
        m_log += "init;";
        m_hOwner = ::GetWindow(m_hWnd, GW_OWNER);
        m_bOwnerEnabled = ::IsWindowEnabled(m_hOwner);
        m_deadline = ::GetTickCount() + kDeadlineMs;
        SetTimer(1, 20, nullptr);
        if (afterBind)
            afterBind(*this);
        return TRUE;
    }
    void DoDataExchange(CDataExchange* pDX) override { DDX_Control(pDX, IDC_BROWSER_ITEM, m_browser); }
    BOOL PreTranslateMessage(MSG* pMsg) override
    {
        if (pMsg->message == WM_KEYDOWN)
            m_log += "pretranslate;";
        return CDialog::PreTranslateMessage(pMsg);
    }
    void OnOK() override
    {
        Record("ok;");
        CDialog::OnOK();
    }
    void OnCancel() override
    {
        Record("cancel;");
        CDialog::OnCancel();
    }
    void OnClose()
    {
        m_log += "close;";
        Default();
    }
    void OnTimer(UINT_PTR)
    {
        if (done && done())
            EndDialog(IDOK);
        else if (static_cast<LONG>(::GetTickCount() - m_deadline) > 0)
            EndDialog(kTimedOut);
    }
    void OnStatusTextChange(LPCTSTR lpszText) { m_log += std::string("status:") + lpszText + ";"; }
    DECLARE_MESSAGE_MAP()
    DECLARE_EVENTSINK_MAP()

private:
    void Record(const char* name)
    {
        m_log += name;
        m_bVisibleAtEnd = ::IsWindowVisible(m_hWnd);
        ::GetWindowRect(m_hWnd, &m_rectAtEnd);
    }
    DWORD m_deadline = 0;
};

BEGIN_MESSAGE_MAP(CTestDialog, CDialog)
    ON_WM_CLOSE()
    ON_WM_TIMER()
END_MESSAGE_MAP()

BEGIN_EVENTSINK_MAP(CTestDialog, CDialog)
    ON_EVENT(CTestDialog, IDC_BROWSER_ITEM, DISPID_STATUSTEXTCHANGE, OnStatusTextChange, VTS_BSTR)
END_EVENTSINK_MAP()

void PostKey(CTestDialog& d, WPARAM key)
{
    ::PostMessageA(d.GetDlgItem(IDC_EDIT), WM_KEYDOWN, key, 1);
}

struct EndingCase {
    void (*script)(CTestDialog&);
    INT_PTR result;
    const char* log;
    bool shown;
};

// The template is not visible: the modal run shows it, centred over its owner, once OnInitDialog returns.
const EndingCase kEndings[] = {
    {[](CTestDialog& d) { ::PostMessageA(d.m_hWnd, WM_CLOSE, 0, 0); }, IDCANCEL, "init;close;cancel;", true},
    {[](CTestDialog& d) { PostKey(d, VK_ESCAPE); }, IDCANCEL, "init;pretranslate;cancel;", true},
    {[](CTestDialog& d) { PostKey(d, VK_RETURN); }, IDOK, "init;pretranslate;ok;", true},
    // The way the shell closes its own window when it hands over to an installed copy.
    {[](CTestDialog& d) { d.SendMessage(WM_CLOSE); }, IDCANCEL, "init;close;cancel;", false},
};

TEST(ModalLoopTest, EndsEachWayWithTheOwnerDisabledMeanwhile)
{
    CWnd mainWnd;
    const RECT rect = {200, 150, 900, 650};
    ASSERT_TRUE(mainWnd.Create("STATIC", "main", WS_OVERLAPPEDWINDOW | WS_VISIBLE, rect, nullptr, 0));
    theTestApp.m_pMainWnd = &mainWnd;
    for (const EndingCase& c : kEndings) {
        SCOPED_TRACE(c.log);
        CTestDialog dlg(IDD_PLAIN);
        dlg.afterBind = c.script;
        EXPECT_EQ(c.result, dlg.DoModal());
        EXPECT_EQ(c.log, dlg.m_log);
        EXPECT_EQ(mainWnd.m_hWnd, dlg.m_hOwner);
        EXPECT_FALSE(dlg.m_bOwnerEnabled);
        EXPECT_TRUE(::IsWindowEnabled(mainWnd.m_hWnd));
        EXPECT_EQ(nullptr, dlg.m_hWnd);
        if (c.shown) {
            EXPECT_TRUE(dlg.m_bVisibleAtEnd);
            EXPECT_NEAR(550, (dlg.m_rectAtEnd.left + dlg.m_rectAtEnd.right) / 2, 1);
            EXPECT_NEAR(400, (dlg.m_rectAtEnd.top + dlg.m_rectAtEnd.bottom) / 2, 1);
        }
    }
    theTestApp.m_pMainWnd = nullptr;
    EXPECT_EQ(-1, CDialog(4321).DoModal());  // no such template
}

struct TemplateCase {
    UINT nIDTemplate;
    RECT itemDialogUnits;
    bool tabStop;
};

TEST(ControlHostTest, CreatesTheControlWhereTheItemWasInBothTemplateFormats)
{
    for (const TemplateCase& c : {TemplateCase{IDD_BROWSER, {0, 0, 300, 180}, false},
                                  TemplateCase{IDD_CLASSIC_BROWSER, {10, 6, 250, 126}, true}}) {
        SCOPED_TRACE(c.nIDTemplate);
        CTestDialog dlg(c.nIDTemplate);
        RECT expected = c.itemDialogUnits, actual = {};
        std::string classes;
        dlg.afterBind = [&](CTestDialog& d) {
            HWND hControl = d.GetDlgItem(IDC_BROWSER_ITEM);
            EXPECT_EQ(hControl, d.m_browser.m_hWnd);
            ::MapDialogRect(d.m_hWnd, &expected);
            ::GetWindowRect(hControl, &actual);
            ::MapWindowPoints(nullptr, d.m_hWnd, reinterpret_cast<POINT*>(&actual), 2);
            EXPECT_EQ(c.tabStop, (::GetWindowLongPtrA(hControl, GWL_STYLE) & WS_TABSTOP) != 0);
            // The dialog manager never saw the "{CLSID}" item: it made only the button and the edit box.
            for (HWND h = ::GetWindow(d.m_hWnd, GW_CHILD); h != nullptr; h = ::GetWindow(h, GW_HWNDNEXT)) {
                char name[64] = {};
                ::GetClassNameA(h, name, sizeof(name));
                classes += h == hControl ? "" : std::string(name) + ";";
            }
        };
        dlg.done = [] { return true; };
        EXPECT_EQ(IDOK, dlg.DoModal());
        EXPECT_TRUE(::EqualRect(&expected, &actual));
        EXPECT_STRCASEEQ("Button;Edit;", classes.c_str());
    }
}

// Unbound, Navigate reaches nothing; bound, it sends the narrow address converted from code page
// 936, and the control's events reach the sink map. Teardown then gives back every reference the
// control held on the site.
TEST(ControlHostTest, NavigatesOnlyWhileBoundAndReleasesTheSiteAtTeardown)
{
    HttpServer server;
    ASSERT_TRUE(server.Ok());
    server.SetPrefix("/", HttpResponse());
    const std::string target = "/试衣间?ver3.2";
    CTestDialog dlg(IDD_BROWSER);
    COleControlSite* pSite = nullptr;
    HWND hControl = nullptr;
    dlg.beforeBind = [&](CTestDialog& d) {
        EXPECT_EQ(nullptr, d.m_browser.GetControlSite());
        d.m_browser.Navigate(server.Url("/early").c_str(), nullptr, nullptr, nullptr, nullptr);
    };
    dlg.afterBind = [&](CTestDialog& d) {
        pSite = d.m_browser.GetControlSite();
        pSite->AddRef();
        hControl = d.m_browser.m_hWnd;
        d.m_browser.Navigate(server.Url(target).c_str(), nullptr, nullptr, nullptr, nullptr);
    };
    dlg.done = [&] { return !server.Requests().empty() && dlg.m_log.find("status:") != std::string::npos; };
    EXPECT_EQ(IDOK, dlg.DoModal()) << dlg.m_log;

    // Requests go out in the order of the calls: the early one would have come first. The platform
    // sends a non-ASCII path either in its ANSI code page or as escaped UTF-8.
    const std::vector<HttpRequest> requests = server.Requests();
    ASSERT_FALSE(requests.empty());
    EXPECT_TRUE(requests[0].target == target || requests[0].target == "/%E8%AF%95%E8%A1%A3%E9%97%B4?ver3.2")
        << requests[0].target;
    ASSERT_NE(nullptr, pSite);
    EXPECT_EQ(nullptr, dlg.m_browser.GetControlSite());
    EXPECT_FALSE(::IsWindow(hControl));
    // Client site, in-place site, frame and event sink all released: only the test's reference remains.
    EXPECT_EQ(2u, pSite->AddRef());
    pSite->Release();
    EXPECT_EQ(0u, pSite->Release());
}

// Stands in for the UI-active control's accelerator handling: it takes the keys it is told to.
struct CFakeActiveObject : IOleInPlaceActiveObject
{
    CFakeActiveObject(std::string& log, bool take) : m_log(log), m_take(take) {}
    std::string& m_log;
    bool m_take;

    STDMETHODIMP QueryInterface(REFIID, void**) override { return E_NOINTERFACE; }
    STDMETHODIMP_(ULONG) AddRef() override { return 2; }
    STDMETHODIMP_(ULONG) Release() override { return 1; }
    STDMETHODIMP GetWindow(HWND*) override { return E_NOTIMPL; }
    STDMETHODIMP ContextSensitiveHelp(BOOL) override { return E_NOTIMPL; }
    STDMETHODIMP TranslateAccelerator(LPMSG pMsg) override
    {
        m_log += "control" + std::to_string(pMsg->wParam) + ";";
        return m_take ? S_OK : S_FALSE;
    }
    STDMETHODIMP OnFrameWindowActivate(BOOL) override { return S_OK; }
    STDMETHODIMP OnDocWindowActivate(BOOL) override { return S_OK; }
    STDMETHODIMP ResizeBorder(LPCRECT, IOleInPlaceUIWindow*, BOOL) override { return S_OK; }
    STDMETHODIMP EnableModeless(BOOL) override { return S_OK; }
};

// A key for the control passes the dialog's PreTranslateMessage, then the control's accelerators,
// and only then the dialog manager, where Escape cancels the dialog.
TEST(ControlHostTest, KeysReachTheActiveControlBeforeTheDialogManager)
{
    for (bool take : {true, false}) {
        SCOPED_TRACE(take);
        CTestDialog dlg(IDD_BROWSER);
        CFakeActiveObject activeObject(dlg.m_log, take);
        dlg.afterBind = [&](CTestDialog& d) {
            d.GetControlContainer()->SetActiveObject(&activeObject);
            ::PostMessageA(d.m_browser.m_hWnd, WM_KEYDOWN, VK_ESCAPE, 1);
        };
        dlg.done = [&] { return dlg.m_log.find("control27;") != std::string::npos; };
        EXPECT_EQ(take ? IDOK : IDCANCEL, dlg.DoModal());
        EXPECT_NE(std::string::npos, dlg.m_log.find(take ? "pretranslate;control27;" : "pretranslate;control27;cancel;"))
            << dlg.m_log;
    }
}

}
