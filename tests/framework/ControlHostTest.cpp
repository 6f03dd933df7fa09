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
// DWebBrowserEvents2, the control's default source interface.
const IID kDiidWebBrowserEvents2 = {0x34A715A0, 0x6587, 0x11D0, {0x92, 0x4A, 0x00, 0x20, 0xAF, 0xC7, 0xAC, 0x4D}};

const UINT_PTR kPollTimer = 1;
const UINT kPollMs = 20;
const DWORD kDeadlineMs = 30000;
const INT_PTR kTimedOut = -55;

// The shell's wrapper, reduced to its one method.
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

struct SinkCall {
    DISPID dispid;
    BOOL bValue;
    std::string text;
    IDispatch* pDisp;
    VARIANT* pVar;
};

// Hosts the browser item; tests script it around the binding and poll for the end.
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
        RECT expected = c.itemDialogUnits;
        RECT actual = {};
        size_t children = 0;
        dlg.afterBind = [&](CBrowserHostDlg& d) {
            HWND hControl = d.GetDlgItem(IDC_BROWSER_ITEM);
            ASSERT_NE(nullptr, hControl);
            ::MapDialogRect(d.m_hWnd, &expected);
            ::GetWindowRect(hControl, &actual);
            ::MapWindowPoints(nullptr, d.m_hWnd, reinterpret_cast<POINT*>(&actual), 2);
            // The dialog manager never saw the "{CLSID}" item.
            for (HWND h = ::GetWindow(d.m_hWnd, GW_CHILD); h != nullptr; h = ::GetWindow(h, GW_HWNDNEXT), ++children) {
                char name[64] = {};
                ::GetClassNameA(h, name, sizeof(name));
                EXPECT_NE('{', name[0]) << name;
            }
            COleControlSite* pSite = d.m_browser.GetControlSite();
            ASSERT_NE(nullptr, pSite);
            EXPECT_EQ(S_OK, pSite->GetStateLoadResult());
            EXPECT_TRUE(pSite->IsUIActive());
            EXPECT_EQ(hControl, d.m_browser.m_hWnd);
            const LONG_PTR style = ::GetWindowLongPtrA(hControl, GWL_STYLE);
            EXPECT_TRUE(style & WS_VISIBLE);
            EXPECT_EQ(c.tabStop, (style & WS_TABSTOP) != 0);
        };
        EXPECT_EQ(IDOK, dlg.DoModal());
        EXPECT_TRUE(::EqualRect(&expected, &actual));
        EXPECT_EQ(3u, children); // the button, the control and the edit box
    }
}

// Unbound, Navigate reaches nothing; bound, it converts the narrow address from code page 936.
// Teardown then gives back every reference the control held on the site.
TEST(ControlHostTest, NavigatesOnlyWhileBound)
{
    HttpServer server;
    ASSERT_TRUE(server.Ok());
    server.SetPrefix("/", HttpResponse());

    const std::string target = "/试衣间?ver3.2";
    CBrowserHostDlg dlg(IDD_BROWSER);
    BOOL bSiteBeforeBinding = TRUE;
    IOleObject* pObject = nullptr;
    COleControlSite* pSite = nullptr;
    dlg.beforeBind = [&](CBrowserHostDlg& d) {
        bSiteBeforeBinding = d.m_browser.GetControlSite() != nullptr;
        d.m_browser.Navigate(server.Url("/early").c_str());
    };
    dlg.afterBind = [&](CBrowserHostDlg& d) {
        d.m_browser.GetControlUnknown()->QueryInterface(IID_IOleObject, reinterpret_cast<void**>(&pObject));
        pSite = d.m_browser.GetControlSite();
        pSite->AddRef();
        d.m_browser.Navigate(server.Url(target).c_str());
    };
    dlg.poll = [&](CBrowserHostDlg&) { return !server.Requests().empty(); };
    EXPECT_EQ(IDOK, dlg.DoModal());

    EXPECT_FALSE(bSiteBeforeBinding);
    const std::vector<HttpRequest> requests = server.Requests();
    ASSERT_FALSE(requests.empty());
    // Requests go out in the order of the calls: the early one would have come first. The platform
    // sends a non-ASCII path either in its ANSI code page or as escaped UTF-8.
    EXPECT_EQ("GET", requests[0].method);
    EXPECT_TRUE(requests[0].target == target || requests[0].target == "/%E8%AF%95%E8%A1%A3%E9%97%B4?ver3.2")
        << requests[0].target;
    EXPECT_EQ(0u, server.Count("/early"));

    ASSERT_NE(nullptr, pObject);
    ASSERT_NE(nullptr, pSite);
    EXPECT_EQ(nullptr, dlg.m_browser.m_hWnd);
    EXPECT_EQ(nullptr, dlg.m_browser.GetControlSite());
    EXPECT_EQ(nullptr, pSite->GetControlUnknown());
    // Client site, in-place site, frame and event sink all released: only the test's reference remains.
    EXPECT_EQ(2u, pSite->AddRef());
    pSite->Release();
    EXPECT_EQ(0u, pSite->Release());
    IOleClientSite* pClientSite = reinterpret_cast<IOleClientSite*>(1);
    pObject->GetClientSite(&pClientSite);
    EXPECT_EQ(nullptr, pClientSite);
    pObject->Release();

    dlg.m_browser.Navigate(server.Url("/after").c_str());
    EXPECT_FALSE(server.WaitForPrefix("/after", 1000));
}

// Given to the window's sink the way the control gives events: through the interface it was
// advised with, arguments last first.
HRESULT Fire(IDispatch* pSink, DISPID dispid, VARIANT* pArgs, UINT nArgs)
{
    DISPPARAMS params = {pArgs, nullptr, nArgs, 0};
    return pSink->Invoke(dispid, IID_NULL, 0, DISPATCH_METHOD, &params, nullptr, nullptr, nullptr);
}

TEST(ControlHostTest, EventsReachTheSinkMapWithTheirParameters)
{
    HttpServer server;
    ASSERT_TRUE(server.Ok());
    server.SetPrefix("/", HttpResponse());
    const std::string url = server.Url("/status");

    CBrowserHostDlg dlg(IDD_BROWSER);
    std::vector<HRESULT> results;
    IDispatch* pControlDisp = nullptr;
    IID eventIID = GUID_NULL;
    VARIANT pageUrl;
    ::VariantInit(&pageUrl);
    dlg.afterBind = [&](CBrowserHostDlg& d) {
        d.m_sinkCalls.clear();
        COleControlSite* pSite = d.m_browser.GetControlSite();
        ASSERT_NE(nullptr, pSite);
        eventIID = pSite->GetEventIID();
        IDispatch* pSink = nullptr;
        ASSERT_EQ(S_OK, pSite->QueryInterface(kDiidWebBrowserEvents2, reinterpret_cast<void**>(&pSink)));
        d.m_browser.GetControlUnknown()->QueryInterface(IID_IDispatch, reinterpret_cast<void**>(&pControlDisp));

        VARIANT arg[2];
        ::VariantInit(&arg[0]);
        ::VariantInit(&arg[1]);
        V_VT(&arg[0]) = VT_BOOL;
        V_BOOL(&arg[0]) = VARIANT_TRUE;
        results.push_back(Fire(pSink, kDispidOnVisible, arg, 1));
        V_VT(&arg[0]) = VT_BSTR;
        V_BSTR(&arg[0]) = ::SysAllocString(L"完成 \u8bd5\u8863\u95f4");
        results.push_back(Fire(pSink, kDispidStatusTextChange, arg, 1));
        ::VariantClear(&arg[0]);
        V_BSTR(&pageUrl) = ::SysAllocString(L"http://127.0.0.1/");
        V_VT(&pageUrl) = VT_BSTR;
        V_VT(&arg[0]) = VT_VARIANT | VT_BYREF;
        V_VARIANTREF(&arg[0]) = &pageUrl;
        V_VT(&arg[1]) = VT_DISPATCH;
        V_DISPATCH(&arg[1]) = pControlDisp;
        results.push_back(Fire(pSink, kDispidDocumentComplete, arg, 2));
        // No entry: accepted and ignored. Too few arguments: refused, no handler runs.
        results.push_back(Fire(pSink, 9999, nullptr, 0));
        results.push_back(Fire(pSink, kDispidStatusTextChange, nullptr, 0));
        pSink->Release();

        // Then the control's own status texts, which name the address being loaded.
        d.m_browser.Navigate(url.c_str());
    };
    dlg.poll = [&](CBrowserHostDlg& d) { return HasStatusText(d, url); };
    EXPECT_EQ(IDOK, dlg.DoModal());

    EXPECT_TRUE(IsEqualIID(kDiidWebBrowserEvents2, eventIID));
    EXPECT_EQ((std::vector<HRESULT>{S_OK, S_OK, S_OK, S_OK, DISP_E_BADPARAMCOUNT}), results);
    ASSERT_LE(3u, dlg.m_sinkCalls.size());
    EXPECT_EQ(kDispidOnVisible, dlg.m_sinkCalls[0].dispid);
    EXPECT_TRUE(dlg.m_sinkCalls[0].bValue);
    EXPECT_EQ(kDispidStatusTextChange, dlg.m_sinkCalls[1].dispid);
    EXPECT_EQ("完成 试衣间", dlg.m_sinkCalls[1].text);
    EXPECT_EQ(kDispidDocumentComplete, dlg.m_sinkCalls[2].dispid);
    EXPECT_EQ(pControlDisp, dlg.m_sinkCalls[2].pDisp);
    EXPECT_EQ(&pageUrl, dlg.m_sinkCalls[2].pVar);
    ::VariantClear(&pageUrl);
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

}
