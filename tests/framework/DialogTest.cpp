#include "FrameworkTest.h"
#include <exdispid.h>
#include <gtest/gtest.h>
#include <functional>
#include <string>
#include "ui/WebBrowser2.h"

namespace {

const UINT kDeadlineMs = 20000;
const int kTimedOut = -55;

// A modal dialog that logs what the framework does with it. `afterBind` runs once m_browser (the shell's
// own wrapper) is bound to the browser item; `done`, polled, ends the dialog with IDOK.
class CTestDialog : public CDialog
{
public:
    explicit CTestDialog(UINT nIDTemplate) : CDialog(nIDTemplate) {}

    CWebBrowser2 m_browser;
    std::string m_log;
    std::function<void(CTestDialog&)> afterBind;
    std::function<bool()> done;

    BOOL OnInitDialog() override
    {
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
    // An event sink map, so that the control's events are connected and must be disconnected.
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

// Stands in for the UI-active control's accelerator handling: takes the keys it is told to, counts references.
struct CFakeActiveObject : IOleInPlaceActiveObject
{
    CFakeActiveObject(std::string& log, bool take) : m_log(log), m_take(take) {}
    std::string& m_log;
    bool m_take;
    LONG m_cRef = 1;

    STDMETHODIMP QueryInterface(REFIID, void**) override { return E_NOINTERFACE; }
    STDMETHODIMP_(ULONG) AddRef() override { return ++m_cRef; }
    STDMETHODIMP_(ULONG) Release() override { return --m_cRef; }
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
// and only then the dialog manager, where Escape cancels the dialog. Teardown then gives back every
// reference on either side, once: the site its interfaces of the control and the active object; the
// control its client site, in-place site, frame and event sink.
TEST(ControlHostTest, KeysReachTheActiveControlFirstAndTeardownGivesBackEveryReference)
{
    for (bool take : {true, false}) {
        SCOPED_TRACE(take);
        CTestDialog dlg(IDD_BROWSER);
        CFakeActiveObject activeObject(dlg.m_log, take);
        COleControlSite* pSite = nullptr;
        IOleObject* pObject = nullptr;
        dlg.afterBind = [&](CTestDialog& d) {
            (pSite = d.m_browser.GetControlSite())->AddRef();
            d.m_browser.GetControlUnknown()->QueryInterface(IID_IOleObject, reinterpret_cast<void**>(&pObject));
            d.GetControlContainer()->SetActiveObject(&activeObject);
            ::PostMessageA(d.m_browser.m_hWnd, WM_KEYDOWN, VK_ESCAPE, 1);
        };
        dlg.done = [&] { return dlg.m_log.find("control27;") != std::string::npos; };
        EXPECT_EQ(take ? IDOK : IDCANCEL, dlg.DoModal());
        EXPECT_NE(std::string::npos, dlg.m_log.find("pretranslate;control27;")) << dlg.m_log;

        ASSERT_TRUE(pSite != nullptr && pObject != nullptr);
        EXPECT_EQ(nullptr, dlg.m_browser.GetControlSite());
        IOleClientSite* pClientSite = reinterpret_cast<IOleClientSite*>(1);
        pObject->GetClientSite(&pClientSite);
        EXPECT_EQ(nullptr, pClientSite);
        EXPECT_EQ(0u, pSite->Release()) << "references to the site remain";
        EXPECT_EQ(0u, pObject->Release()) << "references to the control remain";
        EXPECT_EQ(1, activeObject.m_cRef) << "active object references kept (above 1) or given back twice";
    }
}

}  // namespace
