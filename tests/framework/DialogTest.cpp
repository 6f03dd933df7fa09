#include <exdispid.h>
#include <gtest/gtest.h>
#include "FrameworkTest.h"
#include "ui/WebBrowser2.h"

namespace {

// The UI-active control's accelerators: log each key (after the dialog's own entries), take it if told to.
struct CFakeActiveObject : IOleInPlaceActiveObject
{
    std::string m_log;
    bool m_take = false;
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

// The browser item (m_browser, the shell's own wrapper) in a modal dialog. Bound, it keeps the site and the
// control to count their references after teardown, and queues Escape for the control, then IDOK: the
// dialog ends with IDOK unless Escape reached the dialog manager first.
class CTestDialog : public CDialog
{
public:
    explicit CTestDialog(bool take) : CDialog(IDD_BROWSER) { m_activeObject.m_take = take; }

    CWebBrowser2 m_browser;
    CFakeActiveObject m_activeObject;
    COleControlSite* m_pSite = nullptr;
    IOleObject* m_pObject = nullptr;

    BOOL OnInitDialog() override
    {
        CDialog::OnInitDialog();
        (m_pSite = m_browser.GetControlSite())->AddRef();
        m_browser.GetControlUnknown()->QueryInterface(IID_IOleObject, reinterpret_cast<void**>(&m_pObject));
        GetControlContainer()->SetActiveObject(&m_activeObject);
        ::PostMessageA(m_browser.m_hWnd, WM_KEYDOWN, VK_ESCAPE, 1);
        ::PostMessageA(m_hWnd, WM_COMMAND, IDOK, 0);
        return TRUE;
    }
    void DoDataExchange(CDataExchange* pDX) override { DDX_Control(pDX, IDC_BROWSER_ITEM, m_browser); }
    BOOL PreTranslateMessage(MSG* pMsg) override
    {
        if (pMsg->message == WM_KEYDOWN)
            m_activeObject.m_log += "pretranslate;";
        return CDialog::PreTranslateMessage(pMsg);
    }
    // An event sink map, so that the control's events are connected and must be disconnected.
    void OnStatusTextChange(LPCTSTR) {}
    DECLARE_EVENTSINK_MAP()
};

BEGIN_EVENTSINK_MAP(CTestDialog, CDialog)
    ON_EVENT(CTestDialog, IDC_BROWSER_ITEM, DISPID_STATUSTEXTCHANGE, OnStatusTextChange, VTS_BSTR)
END_EVENTSINK_MAP()

// A key for the control passes the dialog's PreTranslateMessage, then the control's accelerators, and only
// then the dialog manager, where Escape cancels the dialog. Teardown gives back every reference on either
// side, once: the site its interfaces of the control and the active object; the control its client site,
// in-place site, frame and event sink.
TEST(ControlHostTest, KeysReachTheActiveControlFirstAndTeardownGivesBackEveryReference)
{
    // What AfxWinMain does around InitInstance: the dialog comes from this program's resources.
    AfxWinInit(::GetModuleHandleA(nullptr));
    AfxEnableControlContainer();
    for (bool take : {true, false}) {
        SCOPED_TRACE(take);
        CTestDialog dlg(take);
        EXPECT_EQ(take ? IDOK : IDCANCEL, dlg.DoModal());
        EXPECT_PRED_FORMAT2(testing::IsSubstring, "pretranslate;control27;", dlg.m_activeObject.m_log);
        ASSERT_NE(nullptr, dlg.m_pObject);
        EXPECT_EQ(nullptr, dlg.m_browser.GetControlSite());
        IOleClientSite* pClientSite = reinterpret_cast<IOleClientSite*>(1);
        dlg.m_pObject->GetClientSite(&pClientSite);
        EXPECT_EQ(nullptr, pClientSite);
        EXPECT_EQ(0u, dlg.m_pSite->Release()) << "references to the site remain";
        EXPECT_EQ(0u, dlg.m_pObject->Release()) << "references to the control remain";
        EXPECT_EQ(1, dlg.m_activeObject.m_cRef) << "active object references kept (above 1) or given back twice";
    }
    AfxWinTerm();
}

}  // namespace
