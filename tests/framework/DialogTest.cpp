#include "FrameworkTest.h"
#include <exdispid.h>
#include <gtest/gtest.h>
#include <functional>
#include <string>
#include "support/HttpServer.h"
#include "ui/WebBrowser2.h"

namespace {

const UINT kDeadlineMs = 20000;
const int kTimedOut = -55;

// A modal dialog that logs what the framework does with it. The scripts run around the binding of
// m_browser (the shell's own wrapper) to the browser item. `done`, polled, ends the dialog with IDOK.
class CTestDialog : public CDialog
{
public:
    explicit CTestDialog(UINT nIDTemplate) : CDialog(nIDTemplate) {}

    CWebBrowser2 m_browser;
    std::string m_log;
    std::function<void(CTestDialog&)> beforeBind, afterBind;
    std::function<bool()> done;

    BOOL OnInitDialog() override
    {
        if (beforeBind)
            beforeBind(*this);
        CDialog::OnInitDialog();
        SetTimer(1, 20, nullptr);
        m_start = ::GetTickCount();
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
    void OnTimer(UINT_PTR)
    {
        if (done())
            EndDialog(IDOK);
        else if (::GetTickCount() - m_start >= kDeadlineMs)
            EndDialog(kTimedOut);
    }
    void OnStatusTextChange(LPCTSTR lpszText) { m_log += std::string("status:") + lpszText + ";"; }
    DECLARE_MESSAGE_MAP()
    DECLARE_EVENTSINK_MAP()

private:
    DWORD m_start = 0;
};

BEGIN_MESSAGE_MAP(CTestDialog, CDialog)
    ON_WM_TIMER()
END_MESSAGE_MAP()

BEGIN_EVENTSINK_MAP(CTestDialog, CDialog)
    ON_EVENT(CTestDialog, IDC_BROWSER_ITEM, DISPID_STATUSTEXTCHANGE, OnStatusTextChange, VTS_BSTR)
END_EVENTSINK_MAP()

struct TemplateCase
{
    UINT nIDTemplate;
    RECT itemDialogUnits;
    bool tabStop;
};

// The control is made where the item was, in either template format. Unbound, Navigate reaches
// nothing; bound, it sends the narrow address converted from code page 936, and the control's events
// reach the sink map. Teardown then gives back every reference on either side.
TEST(ControlHostTest, HostsTheControlFromBothTemplateFormatsUntilTeardown)
{
    for (const TemplateCase& c : {TemplateCase{IDD_BROWSER, {0, 0, 300, 180}, false},
                                  TemplateCase{IDD_CLASSIC_BROWSER, {10, 6, 250, 126}, true}}) {
        SCOPED_TRACE(c.nIDTemplate);
        HttpServer server;
        ASSERT_TRUE(server.Ok());
        server.SetPrefix("/", HttpResponse());
        const std::string target = "/试衣间?ver3.2";
        CTestDialog dlg(c.nIDTemplate);
        RECT expected = c.itemDialogUnits, actual = {};
        COleControlSite* pSite = nullptr;
        IOleObject* pObject = nullptr;
        dlg.beforeBind = [&](CTestDialog& d) {
            EXPECT_EQ(nullptr, d.m_browser.GetControlSite());
            d.m_browser.Navigate(server.Url("/early").c_str(), nullptr, nullptr, nullptr, nullptr);
        };
        dlg.afterBind = [&](CTestDialog& d) {
            HWND hControl = d.GetDlgItem(IDC_BROWSER_ITEM);
            EXPECT_EQ(hControl, d.m_browser.m_hWnd);
            ::MapDialogRect(d.m_hWnd, &expected);
            ::GetWindowRect(hControl, &actual);
            ::MapWindowPoints(nullptr, d.m_hWnd, reinterpret_cast<POINT*>(&actual), 2);
            EXPECT_EQ(c.tabStop, (::GetWindowLongPtrA(hControl, GWL_STYLE) & WS_TABSTOP) != 0);
            // The dialog manager, which cannot make the "{CLSID}" item, made the items around it.
            EXPECT_TRUE(d.GetDlgItem(IDC_SIDE_BUTTON) != nullptr && d.GetDlgItem(IDC_EDIT) != nullptr);
            pSite = d.m_browser.GetControlSite();
            pSite->AddRef();
            d.m_browser.GetControlUnknown()->QueryInterface(IID_IOleObject, reinterpret_cast<void**>(&pObject));
            d.m_browser.Navigate(server.Url(target).c_str(), nullptr, nullptr, nullptr, nullptr);
        };
        // The control's status texts name the address, converted back to code page 936.
        dlg.done = [&] { return !server.Requests().empty() && dlg.m_log.find(server.Url(target)) != dlg.m_log.npos; };
        EXPECT_EQ(IDOK, dlg.DoModal()) << dlg.m_log;
        EXPECT_TRUE(::EqualRect(&expected, &actual));
        // Requests go out in the order of the calls: the early one would have come first. The platform
        // sends a non-ASCII path either in its ANSI code page or as escaped UTF-8.
        const std::vector<HttpRequest> requests = server.Requests();
        ASSERT_FALSE(requests.empty());
        EXPECT_TRUE(requests[0].target == target || requests[0].target == "/%E8%AF%95%E8%A1%A3%E9%97%B4?ver3.2")
            << requests[0].target;

        ASSERT_TRUE(pSite != nullptr && pObject != nullptr);
        EXPECT_EQ(nullptr, dlg.m_browser.GetControlSite());
        IOleClientSite* pClientSite = reinterpret_cast<IOleClientSite*>(1);
        pObject->GetClientSite(&pClientSite);
        EXPECT_EQ(nullptr, pClientSite);
        // Each side gave back every reference it held on the other (the site its interfaces of the
        // control; the control its client site, in-place site, frame and event sink): only the test's remain.
        EXPECT_EQ(2u, pObject->AddRef());
        pObject->Release();
        EXPECT_EQ(2u, pSite->AddRef());
        pSite->Release();
        EXPECT_EQ(0u, pSite->Release());
        EXPECT_EQ(0u, pObject->Release());
    }
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
        EXPECT_NE(std::string::npos, dlg.m_log.find("pretranslate;control27;")) << dlg.m_log;
    }
}

}  // namespace
