#include "FrameworkTest.h"
#include <gtest/gtest.h>
#include <functional>
#include <string>
#include <vector>
#include "support/HttpServer.h"

namespace {

const DISPID kDispidNavigate = 0x68;
const DISPID kDispidStatusTextChange = 102;
const DISPID kDispidOnVisible = 254;
const DISPID kDispidDocumentComplete = 259;
// The control's standard event interface, DWebBrowserEvents2.
const IID kDiidWebBrowserEvents2 = {0x34A715A0, 0x6587, 0x11D0, {0x92, 0x4A, 0x00, 0x20, 0xAF, 0xC7, 0xAC, 0x4D}};

const UINT_PTR kPollTimer = 1;
const UINT kPollMs = 20;
const DWORD kDeadlineMs = 30000;
const INT_PTR kTimedOut = -55;

// The wrapper the shell uses, reduced to its one method.
class CBrowser : public CWnd
{
public:
    void Navigate(LPCTSTR url)
    {
        static const BYTE kParams[] = VTS_BSTR VTS_PVARIANT VTS_PVARIANT VTS_PVARIANT VTS_PVARIANT;
        InvokeHelper(kDispidNavigate, DISPATCH_METHOD, VT_EMPTY, nullptr, kParams, url, nullptr, nullptr, nullptr,
                     nullptr);
    }
};

// A second event sink of the test's own, on the same connection point: it records every event
// the control raises, whether the window's sink map has an entry for it or not.
class CEventRecorder : public IDispatch
{
public:
    std::vector<DISPID> m_dispids;

    STDMETHODIMP QueryInterface(REFIID riid, void** ppv) override
    {
        if (IsEqualIID(riid, IID_IUnknown) || IsEqualIID(riid, IID_IDispatch) ||
            IsEqualIID(riid, kDiidWebBrowserEvents2)) {
            *ppv = static_cast<IDispatch*>(this);
            return S_OK;
        }
        *ppv = nullptr;
        return E_NOINTERFACE;
    }
    STDMETHODIMP_(ULONG) AddRef() override { return 2; }
    STDMETHODIMP_(ULONG) Release() override { return 1; }
    STDMETHODIMP GetTypeInfoCount(UINT* pctinfo) override
    {
        *pctinfo = 0;
        return S_OK;
    }
    STDMETHODIMP GetTypeInfo(UINT, LCID, ITypeInfo**) override { return E_NOTIMPL; }
    STDMETHODIMP GetIDsOfNames(REFIID, LPOLESTR*, UINT, LCID, DISPID*) override { return E_NOTIMPL; }
    STDMETHODIMP Invoke(DISPID dispid, REFIID, LCID, WORD, DISPPARAMS*, VARIANT*, EXCEPINFO*, UINT*) override
    {
        m_dispids.push_back(dispid);
        return S_OK;
    }
};

IConnectionPoint* EventPointOf(IUnknown* pControl)
{
    IConnectionPointContainer* pContainer = nullptr;
    if (pControl == nullptr ||
        FAILED(pControl->QueryInterface(IID_IConnectionPointContainer, reinterpret_cast<void**>(&pContainer))))
        return nullptr;
    IConnectionPoint* pPoint = nullptr;
    pContainer->FindConnectionPoint(kDiidWebBrowserEvents2, &pPoint);
    pContainer->Release();
    return pPoint;
}

struct SinkCall {
    DISPID dispid;
    BOOL bValue;
    std::string text;
    IDispatch* pDisp;
    VARIANT* pVar;
};

// A dialog hosting the browser item; tests script it around the binding and poll for an end.
class CBrowserHostDlg : public CDialog
{
public:
    explicit CBrowserHostDlg(UINT nIDTemplate) : CDialog(nIDTemplate) {}

    CBrowser m_browser;
    std::vector<SinkCall> m_sinkCalls;
    std::function<void(CBrowserHostDlg&)> beforeBind;
    std::function<void(CBrowserHostDlg&)> afterBind;
    std::function<bool(CBrowserHostDlg&)> poll;

    BOOL OnInitDialog() override
    {
        if (beforeBind)
            beforeBind(*this);
        CDialog::OnInitDialog();
        if (afterBind)
            afterBind(*this);
        m_deadline = ::GetTickCount() + kDeadlineMs;
        SetTimer(kPollTimer, kPollMs, nullptr);
        return TRUE;
    }
    void DoDataExchange(CDataExchange* pDX) override { DDX_Control(pDX, IDC_BROWSER_ITEM, m_browser); }
    void OnTimer(UINT_PTR)
    {
        if (!poll || poll(*this)) {
            KillTimer(kPollTimer);
            EndDialog(IDOK);
        } else if (static_cast<LONG>(::GetTickCount() - m_deadline) > 0) {
            EndDialog(static_cast<int>(kTimedOut));
        }
    }

    void OnVisible(BOOL bVisible) { m_sinkCalls.push_back({kDispidOnVisible, bVisible, "", nullptr, nullptr}); }
    void OnStatusTextChange(LPCTSTR lpszText)
    {
        m_sinkCalls.push_back({kDispidStatusTextChange, FALSE, lpszText, nullptr, nullptr});
    }
    void OnDocumentComplete(LPDISPATCH pDisp, VARIANT* pURL)
    {
        m_sinkCalls.push_back({kDispidDocumentComplete, FALSE, "", pDisp, pURL});
    }

    DECLARE_MESSAGE_MAP()
    DECLARE_EVENTSINK_MAP()

private:
    DWORD m_deadline = 0;
};

BEGIN_MESSAGE_MAP(CBrowserHostDlg, CDialog)
    ON_WM_TIMER()
END_MESSAGE_MAP()

BEGIN_EVENTSINK_MAP(CBrowserHostDlg, CDialog)
    ON_EVENT(CBrowserHostDlg, IDC_BROWSER_ITEM, kDispidOnVisible, OnVisible, VTS_BOOL)
    ON_EVENT(CBrowserHostDlg, IDC_BROWSER_ITEM, kDispidStatusTextChange, OnStatusTextChange, VTS_BSTR)
    ON_EVENT(CBrowserHostDlg, IDC_BROWSER_ITEM, kDispidDocumentComplete, CBrowserHostDlg::OnDocumentComplete,
             VTS_DISPATCH VTS_PVARIANT)
END_EVENTSINK_MAP()

bool HasStatusText(const CBrowserHostDlg& dlg, const std::string& part)
{
    for (const SinkCall& call : dlg.m_sinkCalls) {
        if (call.dispid == kDispidStatusTextChange && call.text.find(part) != std::string::npos)
            return true;
    }
    return false;
}

size_t CountOf(const std::vector<DISPID>& dispids, DISPID dispid)
{
    size_t n = 0;
    for (DISPID d : dispids)
        n += d == dispid ? 1 : 0;
    return n;
}

struct TemplateCase {
    const char* name;
    UINT nIDTemplate;
    RECT itemDialogUnits;
    bool tabStop;
};

const TemplateCase kBrowserTemplates[] = {
    {"extended template", IDD_BROWSER, {0, 0, 300, 180}, false},
    {"classic template", IDD_CLASSIC_BROWSER, {10, 6, 250, 126}, true},
};

TEST(ControlHostTest, CreatesTheControlWhereTheItemWas)
{
    for (const TemplateCase& c : kBrowserTemplates) {
        SCOPED_TRACE(c.name);
        CBrowserHostDlg dlg(c.nIDTemplate);
        HWND hControl = nullptr;
        RECT expected = c.itemDialogUnits;
        RECT actual = {};
        std::vector<std::string> childClasses;
        HRESULT hrLoad = E_FAIL;
        BOOL bUIActive = FALSE;
        dlg.afterBind = [&](CBrowserHostDlg& d) {
            hControl = d.GetDlgItem(IDC_BROWSER_ITEM);
            ::MapDialogRect(d.m_hWnd, &expected);
            ::GetWindowRect(hControl, &actual);
            ::MapWindowPoints(nullptr, d.m_hWnd, reinterpret_cast<POINT*>(&actual), 2);
            for (HWND h = ::GetWindow(d.m_hWnd, GW_CHILD); h != nullptr; h = ::GetWindow(h, GW_HWNDNEXT)) {
                char name[64] = {};
                ::GetClassNameA(h, name, sizeof(name));
                childClasses.push_back(name);
            }
            ASSERT_NE(nullptr, d.m_browser.GetControlSite());
            hrLoad = d.m_browser.GetControlSite()->GetStateLoadResult();
            bUIActive = d.m_browser.GetControlSite()->IsUIActive();
            EXPECT_EQ(hControl, d.m_browser.m_hWnd);
            const LONG_PTR style = ::GetWindowLongPtrA(hControl, GWL_STYLE);
            EXPECT_TRUE(style & WS_VISIBLE);
            EXPECT_EQ(c.tabStop, (style & WS_TABSTOP) != 0);
            EXPECT_NE(nullptr, d.GetDlgItem(IDC_SIDE_BUTTON));
            EXPECT_NE(nullptr, d.GetDlgItem(IDC_EDIT));
        };
        EXPECT_EQ(IDOK, dlg.DoModal());
        ASSERT_NE(nullptr, hControl);
        EXPECT_EQ(expected.left, actual.left);
        EXPECT_EQ(expected.top, actual.top);
        EXPECT_EQ(expected.right, actual.right);
        EXPECT_EQ(expected.bottom, actual.bottom);
        // The button, the control and the edit box: nothing of the "{CLSID}" item reached the
        // dialog manager.
        EXPECT_EQ(3u, childClasses.size());
        for (const std::string& name : childClasses)
            EXPECT_NE('{', name[0]) << name;
        EXPECT_EQ(S_OK, hrLoad);
        EXPECT_TRUE(bUIActive);
    }
}

TEST(ControlHostTest, NavigateReachesTheControlOnlyOnceBound)
{
    HttpServer server;
    ASSERT_TRUE(server.Ok());
    HttpResponse page;
    page.contentType = "text/html";
    page.body = "<html><body>Zelmora</body></html>";
    server.SetPrefix("/", page);

    CBrowserHostDlg dlg(IDD_BROWSER);
    BOOL bSiteBeforeBinding = TRUE;
    dlg.beforeBind = [&](CBrowserHostDlg& d) {
        bSiteBeforeBinding = d.m_browser.GetControlSite() != nullptr;
        d.m_browser.Navigate(server.Url("/early").c_str());
    };
    dlg.afterBind = [&](CBrowserHostDlg& d) { d.m_browser.Navigate(server.Url("/late?ver3.2").c_str()); };
    dlg.poll = [&](CBrowserHostDlg&) { return server.Count("/late?ver3.2") > 0; };
    EXPECT_EQ(IDOK, dlg.DoModal());

    EXPECT_FALSE(bSiteBeforeBinding);
    HttpRequest request;
    ASSERT_TRUE(server.WaitFor("/late?ver3.2", 0, &request));
    EXPECT_EQ("GET", request.method);
    // Requests go out in the order of the calls: the early one would have come first.
    EXPECT_EQ(0u, server.Count("/early"));
}

TEST(ControlHostTest, NavigateConvertsTheAddressFromTheAnsiCodePage)
{
    HttpServer server;
    ASSERT_TRUE(server.Ok());
    server.SetPrefix("/", HttpResponse());

    // Narrow literals are code page 936 here; the control gets the address as Unicode.
    const std::string target = "/试衣间?name=路径";
    CBrowserHostDlg dlg(IDD_BROWSER);
    dlg.afterBind = [&](CBrowserHostDlg& d) { d.m_browser.Navigate(server.Url(target).c_str()); };
    dlg.poll = [&](CBrowserHostDlg&) { return !server.Requests().empty(); };
    EXPECT_EQ(IDOK, dlg.DoModal());

    const std::vector<HttpRequest> requests = server.Requests();
    ASSERT_FALSE(requests.empty());
    // The platform sends a non-ASCII path either in its ANSI code page or as escaped UTF-8.
    const std::string escapedUtf8 = "/%E8%AF%95%E8%A1%A3%E9%97%B4?name=%E8%B7%AF%E5%BE%84";
    EXPECT_TRUE(requests[0].target == target || requests[0].target == escapedUtf8) << requests[0].target;
}

TEST(ControlHostTest, ControlEventsReachTheSinkMap)
{
    HttpServer server;
    ASSERT_TRUE(server.Ok());
    server.SetPrefix("/", HttpResponse());

    CEventRecorder recorder;
    DWORD cookie = 0;
    const std::string url = server.Url("/status");
    size_t raisedStatusEvents = 0;
    size_t sinkStatusCalls = 0;
    CBrowserHostDlg dlg(IDD_BROWSER);
    dlg.afterBind = [&](CBrowserHostDlg& d) {
        IConnectionPoint* pPoint = EventPointOf(d.m_browser.GetControlUnknown());
        ASSERT_NE(nullptr, pPoint);
        EXPECT_EQ(S_OK, pPoint->Advise(&recorder, &cookie));
        pPoint->Release();
        d.m_browser.Navigate(url.c_str());
    };
    dlg.poll = [&](CBrowserHostDlg& d) {
        if (server.Count("/status") == 0 || !HasStatusText(d, url))
            return false;
        raisedStatusEvents = CountOf(recorder.m_dispids, kDispidStatusTextChange);
        sinkStatusCalls = d.m_sinkCalls.size();
        return true;
    };
    EXPECT_EQ(IDOK, dlg.DoModal());
    // The control's own status texts (they name the address being loaded), each one handed to
    // OnStatusTextChange.
    EXPECT_TRUE(HasStatusText(dlg, url));
    EXPECT_GT(raisedStatusEvents, 0u);
    EXPECT_EQ(raisedStatusEvents, sinkStatusCalls);
}

// Events the control does not raise here, given to the window's sink the way the control would
// give them: through the interface it was advised with, with the arguments last first.
TEST(ControlHostTest, SinkMapHandlersGetTypedParameters)
{
    CBrowserHostDlg dlg(IDD_BROWSER);
    std::vector<HRESULT> results;
    IDispatch* pControlDisp = nullptr;
    IID eventIID = GUID_NULL;
    VARIANT url;
    ::VariantInit(&url);
    dlg.afterBind = [&](CBrowserHostDlg& d) {
        d.m_sinkCalls.clear();
        COleControlSite* pSite = d.m_browser.GetControlSite();
        ASSERT_NE(nullptr, pSite);
        eventIID = pSite->GetEventIID();
        IDispatch* pSink = nullptr;
        ASSERT_EQ(S_OK, pSite->QueryInterface(kDiidWebBrowserEvents2, reinterpret_cast<void**>(&pSink)));
        d.m_browser.GetControlUnknown()->QueryInterface(IID_IDispatch, reinterpret_cast<void**>(&pControlDisp));

        VARIANT visible;
        ::VariantInit(&visible);
        V_VT(&visible) = VT_BOOL;
        V_BOOL(&visible) = VARIANT_TRUE;
        DISPPARAMS visibleParams = {&visible, nullptr, 1, 0};
        results.push_back(pSink->Invoke(kDispidOnVisible, IID_NULL, 0, DISPATCH_METHOD, &visibleParams, nullptr,
                                        nullptr, nullptr));

        VARIANT text;
        ::VariantInit(&text);
        V_VT(&text) = VT_BSTR;
        V_BSTR(&text) = ::SysAllocString(L"完成 \u8bd5\u8863\u95f4");
        DISPPARAMS textParams = {&text, nullptr, 1, 0};
        results.push_back(pSink->Invoke(kDispidStatusTextChange, IID_NULL, 0, DISPATCH_METHOD, &textParams,
                                        nullptr, nullptr, nullptr));
        ::VariantClear(&text);

        V_VT(&url) = VT_BSTR;
        V_BSTR(&url) = ::SysAllocString(L"http://127.0.0.1/");
        VARIANT complete[2];
        ::VariantInit(&complete[0]);
        ::VariantInit(&complete[1]);
        V_VT(&complete[0]) = VT_VARIANT | VT_BYREF;
        V_VARIANTREF(&complete[0]) = &url;
        V_VT(&complete[1]) = VT_DISPATCH;
        V_DISPATCH(&complete[1]) = pControlDisp;
        DISPPARAMS completeParams = {complete, nullptr, 2, 0};
        results.push_back(pSink->Invoke(kDispidDocumentComplete, IID_NULL, 0, DISPATCH_METHOD, &completeParams,
                                        nullptr, nullptr, nullptr));

        // No entry: accepted and ignored. Too few arguments: refused, no handler runs.
        DISPPARAMS none = {nullptr, nullptr, 0, 0};
        results.push_back(pSink->Invoke(9999, IID_NULL, 0, DISPATCH_METHOD, &none, nullptr, nullptr, nullptr));
        results.push_back(
            pSink->Invoke(kDispidStatusTextChange, IID_NULL, 0, DISPATCH_METHOD, &none, nullptr, nullptr, nullptr));
        pSink->Release();
    };
    EXPECT_EQ(IDOK, dlg.DoModal());

    // The control's default source interface, as the control reports it.
    EXPECT_TRUE(IsEqualIID(kDiidWebBrowserEvents2, eventIID));

    EXPECT_EQ((std::vector<HRESULT>{S_OK, S_OK, S_OK, S_OK, DISP_E_BADPARAMCOUNT}), results);
    ASSERT_EQ(3u, dlg.m_sinkCalls.size());
    EXPECT_EQ(kDispidOnVisible, dlg.m_sinkCalls[0].dispid);
    EXPECT_TRUE(dlg.m_sinkCalls[0].bValue);
    EXPECT_EQ(kDispidStatusTextChange, dlg.m_sinkCalls[1].dispid);
    EXPECT_EQ("完成 试衣间", dlg.m_sinkCalls[1].text);
    EXPECT_EQ(kDispidDocumentComplete, dlg.m_sinkCalls[2].dispid);
    EXPECT_EQ(pControlDisp, dlg.m_sinkCalls[2].pDisp);
    EXPECT_EQ(&url, dlg.m_sinkCalls[2].pVar);
    ::VariantClear(&url);
    if (pControlDisp != nullptr)
        pControlDisp->Release();
}

// Stands in for the UI-active control's accelerator handling: it takes the one key it is given.
class CFakeActiveObject : public IOleInPlaceActiveObject
{
public:
    explicit CFakeActiveObject(WPARAM acceptKey) : m_acceptKey(acceptKey) {}
    WPARAM m_acceptKey;
    std::vector<MSG> m_seen;

    STDMETHODIMP QueryInterface(REFIID riid, void** ppv) override
    {
        if (IsEqualIID(riid, IID_IUnknown) || IsEqualIID(riid, IID_IOleWindow) ||
            IsEqualIID(riid, IID_IOleInPlaceActiveObject)) {
            *ppv = static_cast<IOleInPlaceActiveObject*>(this);
            return S_OK;
        }
        *ppv = nullptr;
        return E_NOINTERFACE;
    }
    STDMETHODIMP_(ULONG) AddRef() override { return 2; }
    STDMETHODIMP_(ULONG) Release() override { return 1; }
    STDMETHODIMP GetWindow(HWND*) override { return E_NOTIMPL; }
    STDMETHODIMP ContextSensitiveHelp(BOOL) override { return E_NOTIMPL; }
    STDMETHODIMP TranslateAccelerator(LPMSG pMsg) override
    {
        m_seen.push_back(*pMsg);
        return pMsg->message == WM_KEYDOWN && pMsg->wParam == m_acceptKey ? S_OK : S_FALSE;
    }
    STDMETHODIMP OnFrameWindowActivate(BOOL) override { return S_OK; }
    STDMETHODIMP OnDocWindowActivate(BOOL) override { return S_OK; }
    STDMETHODIMP ResizeBorder(LPCRECT, IOleInPlaceUIWindow*, BOOL) override { return S_OK; }
    STDMETHODIMP EnableModeless(BOOL) override { return S_OK; }
};

struct AcceleratorCase {
    const char* name;
    WPARAM acceptKey;
    INT_PTR result;
};

// Escape reaching the dialog manager cancels the dialog at once; otherwise the poll ends it.
const AcceleratorCase kAcceleratorCases[] = {
    {"the control takes the key", VK_ESCAPE, IDOK},
    {"the control leaves the key to the dialog manager", 0, IDCANCEL},
};

TEST(ControlHostTest, ActiveControlSeesKeysBeforeTheDialogManager)
{
    for (const AcceleratorCase& c : kAcceleratorCases) {
        SCOPED_TRACE(c.name);
        CFakeActiveObject activeObject(c.acceptKey);
        CBrowserHostDlg dlg(IDD_BROWSER);
        dlg.afterBind = [&](CBrowserHostDlg& d) {
            ASSERT_NE(nullptr, d.GetControlContainer());
            d.GetControlContainer()->SetActiveObject(&activeObject);
            ::PostMessageA(d.m_browser.m_hWnd, WM_KEYDOWN, VK_ESCAPE, 1);
        };
        dlg.poll = [&](CBrowserHostDlg&) { return !activeObject.m_seen.empty(); };
        EXPECT_EQ(c.result, dlg.DoModal());
        ASSERT_EQ(1u, activeObject.m_seen.size());
        EXPECT_EQ(static_cast<UINT>(WM_KEYDOWN), activeObject.m_seen[0].message);
        EXPECT_EQ(static_cast<WPARAM>(VK_ESCAPE), activeObject.m_seen[0].wParam);
    }
}

TEST(ControlHostTest, DestroyingTheDialogEndsTheControl)
{
    HttpServer server;
    ASSERT_TRUE(server.Ok());
    server.SetPrefix("/", HttpResponse());

    CBrowserHostDlg dlg(IDD_BROWSER);
    IOleObject* pObject = nullptr;
    COleControlSite* pSite = nullptr;
    dlg.afterBind = [&](CBrowserHostDlg& d) {
        d.m_browser.GetControlUnknown()->QueryInterface(IID_IOleObject, reinterpret_cast<void**>(&pObject));
        pSite = d.m_browser.GetControlSite();
        pSite->AddRef();
    };
    EXPECT_EQ(IDOK, dlg.DoModal());
    ASSERT_NE(nullptr, pObject);
    ASSERT_NE(nullptr, pSite);

    // The wrapper is unbound, and the control has given back every reference to the site: its
    // client site, in-place site, frame and event sink. Only the test's own remains.
    EXPECT_EQ(nullptr, dlg.m_browser.m_hWnd);
    EXPECT_EQ(nullptr, dlg.m_browser.GetControlSite());
    EXPECT_EQ(nullptr, pSite->GetControlUnknown());
    EXPECT_EQ(2u, pSite->AddRef());
    pSite->Release();
    EXPECT_EQ(0u, pSite->Release());
    IOleClientSite* pClientSite = reinterpret_cast<IOleClientSite*>(1);
    pObject->GetClientSite(&pClientSite);
    EXPECT_EQ(nullptr, pClientSite);
    pObject->Release();

    // And the wrapper no longer reaches anything.
    dlg.m_browser.Navigate(server.Url("/after").c_str());
    EXPECT_FALSE(server.WaitForPrefix("/", 1000));
}

}
