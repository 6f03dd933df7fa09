#include "FrameworkTest.h"
#include <gtest/gtest.h>
#include <functional>
#include <string>
#include <thread>
#include <vector>
#include "support/WindowFinder.h"

namespace {

const UINT_PTR kSafetyTimer = 99;
const UINT kSafetyMs = 20000;
const int kSafetyResult = -77;

// A dialog of the plain template that records what the framework does with it. Each test scripts
// it through onInit, which usually posts the input the modal loop is to process.
class CScriptedDialog : public CDialog
{
public:
    explicit CScriptedDialog(CWnd* pParent = nullptr) : CDialog(IDD_PLAIN, pParent) {}

    std::function<void(CScriptedDialog&)> onInit;
    UINT m_swallowKey = 0;
    std::vector<MSG> m_preTranslated;
    std::vector<BOOL> m_exchanges;
    std::string m_calls;
    std::string m_editTextAtEnd;
    BOOL m_bVisibleAtEnd = FALSE;
    RECT m_rectAtEnd = {};
    HWND m_hOwnerAtInit = nullptr;
    CWnd m_edit;

    HWND Edit() const { return GetDlgItem(IDC_EDIT); }

    BOOL OnInitDialog() override
    {
        CDialog::OnInitDialog();
        m_calls += "init;";
        m_hOwnerAtInit = ::GetWindow(m_hWnd, GW_OWNER);
        SetTimer(kSafetyTimer, kSafetyMs, nullptr);
        if (onInit)
            onInit(*this);
        return TRUE;
    }
    BOOL PreTranslateMessage(MSG* pMsg) override
    {
        if (pMsg->message >= WM_KEYFIRST && pMsg->message <= WM_KEYLAST)
            m_preTranslated.push_back(*pMsg);
        if (pMsg->message == WM_KEYDOWN && pMsg->wParam == m_swallowKey)
            return TRUE;
        return CDialog::PreTranslateMessage(pMsg);
    }
    void DoDataExchange(CDataExchange* pDX) override
    {
        m_exchanges.push_back(pDX->m_bSaveAndValidate);
        DDX_Control(pDX, IDC_EDIT, m_edit);
    }
    void OnOK() override
    {
        m_calls += "ok;";
        RecordEnd();
        CDialog::OnOK();
    }
    void OnCancel() override
    {
        m_calls += "cancel;";
        RecordEnd();
        CDialog::OnCancel();
    }
    void OnClose()
    {
        m_calls += "close;";
        Default();
    }
    void OnTimer(UINT_PTR nIDEvent)
    {
        if (nIDEvent == kSafetyTimer)
            EndDialog(kSafetyResult);
    }

    void PostKey(UINT message, WPARAM key) { ::PostMessageA(Edit(), message, key, 1); }

    DECLARE_MESSAGE_MAP()

private:
    void RecordEnd()
    {
        char text[64] = {};
        ::GetWindowTextA(Edit(), text, sizeof(text));
        m_editTextAtEnd = text;
        m_bVisibleAtEnd = IsWindowVisible();
        GetWindowRect(&m_rectAtEnd);
    }
};

BEGIN_MESSAGE_MAP(CScriptedDialog, CDialog)
    ON_WM_CLOSE()
    ON_WM_TIMER()
END_MESSAGE_MAP()

TEST(ModalLoopTest, KeyboardMessagesPassPreTranslateMessageFirst)
{
    CScriptedDialog dlg;
    dlg.m_swallowKey = VK_ESCAPE;
    dlg.onInit = [](CScriptedDialog& d) {
        // A key without a character, so that translation adds no WM_CHAR of its own.
        d.PostKey(WM_KEYDOWN, VK_F5);
        d.PostKey(WM_CHAR, 'x');
        d.PostKey(WM_KEYUP, VK_F5);
        // Kept by PreTranslateMessage: the dialog manager would turn it into IDCANCEL.
        d.PostKey(WM_KEYDOWN, VK_ESCAPE);
        d.PostKey(WM_CHAR, 'y');
        d.PostMessage(WM_CLOSE);
    };
    EXPECT_EQ(IDCANCEL, dlg.DoModal());

    const std::vector<std::pair<UINT, WPARAM>> expected = {
        {WM_KEYDOWN, VK_F5}, {WM_CHAR, 'x'}, {WM_KEYUP, VK_F5}, {WM_KEYDOWN, VK_ESCAPE}, {WM_CHAR, 'y'}};
    ASSERT_EQ(expected.size(), dlg.m_preTranslated.size());
    for (size_t i = 0; i < expected.size(); ++i) {
        EXPECT_EQ(expected[i].first, dlg.m_preTranslated[i].message) << i;
        EXPECT_EQ(expected[i].second, dlg.m_preTranslated[i].wParam) << i;
    }
    // The characters reached the edit control after PreTranslateMessage let them through, and
    // only WM_CLOSE cancelled the dialog.
    EXPECT_EQ("xy", dlg.m_editTextAtEnd);
    EXPECT_EQ("init;close;cancel;", dlg.m_calls);
}

struct KeyCase {
    const char* name;
    WPARAM key;
    INT_PTR result;
    const char* calls;
};

// Without a filter of the dialog's own, the dialog manager handles Enter and Escape.
const KeyCase kDialogKeys[] = {
    {"Enter activates the default button", VK_RETURN, IDOK, "init;ok;"},
    {"Escape cancels", VK_ESCAPE, IDCANCEL, "init;cancel;"},
};

TEST(ModalLoopTest, DialogManagerHandlesKeysThatPassTheFilter)
{
    for (const KeyCase& c : kDialogKeys) {
        SCOPED_TRACE(c.name);
        CScriptedDialog dlg;
        const WPARAM key = c.key;
        dlg.onInit = [key](CScriptedDialog& d) { d.PostKey(WM_KEYDOWN, key); };
        EXPECT_EQ(c.result, dlg.DoModal());
        EXPECT_EQ(c.calls, dlg.m_calls);
    }
}

TEST(ModalLoopTest, EndDialogDuringOnInitDialogReturnsAtOnce)
{
    CScriptedDialog dlg;
    dlg.onInit = [](CScriptedDialog& d) { d.EndDialog(42); };
    const DWORD start = ::GetTickCount();
    EXPECT_EQ(42, dlg.DoModal());
    EXPECT_LT(::GetTickCount() - start, kSafetyMs / 2);
    EXPECT_EQ(nullptr, dlg.m_hWnd);
}

TEST(ModalLoopTest, ClosingDuringOnInitDialogEndsAsCancel)
{
    // The way the shell closes its own window when it hands over to an installed copy.
    CScriptedDialog dlg;
    dlg.onInit = [](CScriptedDialog& d) { d.SendMessage(WM_CLOSE); };
    EXPECT_EQ(IDCANCEL, dlg.DoModal());
    EXPECT_EQ("init;close;cancel;", dlg.m_calls);
}

struct CloseCase {
    const char* name;
    UINT message;
    WPARAM wParam;
};

const CloseCase kCloseWays[] = {
    {"WM_CLOSE", WM_CLOSE, 0},
    {"system menu Close", WM_SYSCOMMAND, SC_CLOSE},
};

TEST(ModalLoopTest, EveryWayOfClosingPassesOnCloseAndOnCancel)
{
    for (const CloseCase& c : kCloseWays) {
        SCOPED_TRACE(c.name);
        CScriptedDialog dlg;
        const CloseCase way = c;
        dlg.onInit = [way](CScriptedDialog& d) { d.PostMessage(way.message, way.wParam, 0); };
        EXPECT_EQ(IDCANCEL, dlg.DoModal());
        EXPECT_EQ("init;close;cancel;", dlg.m_calls);
        // The template is not visible; the modal run showed it.
        EXPECT_TRUE(dlg.m_bVisibleAtEnd);
    }
}

TEST(ModalLoopTest, QuitMessageEndsTheLoopAndIsKept)
{
    CScriptedDialog dlg;
    dlg.onInit = [](CScriptedDialog&) { ::PostQuitMessage(5); };
    EXPECT_EQ(-1, dlg.DoModal());
    MSG msg;
    ASSERT_TRUE(::PeekMessageA(&msg, nullptr, WM_QUIT, WM_QUIT, PM_REMOVE));
    EXPECT_EQ(5u, msg.wParam);
}

TEST(DialogDataTest, ExchangesOnInitAndOnOk)
{
    CScriptedDialog dlg;
    HWND hEditSeen = nullptr;
    CWnd* pBoundSeen = nullptr;
    dlg.onInit = [&](CScriptedDialog& d) {
        hEditSeen = d.m_edit.m_hWnd;
        pBoundSeen = CWnd::FromHandlePermanent(d.Edit());
        d.PostMessage(WM_COMMAND, IDOK);
    };
    EXPECT_EQ(IDOK, dlg.DoModal());
    // FALSE from OnInitDialog, TRUE from OnOK.
    EXPECT_EQ((std::vector<BOOL>{FALSE, TRUE}), dlg.m_exchanges);
    EXPECT_NE(nullptr, hEditSeen);
    EXPECT_EQ(&dlg.m_edit, pBoundSeen);
    EXPECT_EQ(nullptr, dlg.m_edit.m_hWnd);
}

TEST(DialogOwnerTest, MainWindowIsDisabledWhileABoxRuns)
{
    CWnd mainWnd;
    const RECT rect = {200, 150, 900, 650};
    ASSERT_TRUE(mainWnd.Create(nullptr, "main", WS_OVERLAPPEDWINDOW | WS_VISIBLE, rect, nullptr, 0));
    theTestApp.m_pMainWnd = &mainWnd;

    CScriptedDialog box;
    BOOL bMainEnabledDuring = TRUE;
    box.onInit = [&](CScriptedDialog& d) {
        bMainEnabledDuring = ::IsWindowEnabled(mainWnd.m_hWnd);
        d.PostMessage(WM_CLOSE);
    };
    EXPECT_EQ(IDCANCEL, box.DoModal());
    EXPECT_EQ(mainWnd.m_hWnd, box.m_hOwnerAtInit);
    EXPECT_FALSE(bMainEnabledDuring);
    EXPECT_TRUE(::IsWindowEnabled(mainWnd.m_hWnd));
    // Placed by default over the middle of its owner.
    EXPECT_NEAR((rect.left + rect.right) / 2, (box.m_rectAtEnd.left + box.m_rectAtEnd.right) / 2, 1);
    EXPECT_NEAR((rect.top + rect.bottom) / 2, (box.m_rectAtEnd.top + box.m_rectAtEnd.bottom) / 2, 1);

    // The main window's destruction takes it out of the application object.
    mainWnd.DestroyWindow();
    EXPECT_EQ(nullptr, theTestApp.m_pMainWnd);
}

TEST(DialogOwnerTest, MainDialogHasNoOwnerAndLeavesTheApplication)
{
    CScriptedDialog dlg;
    theTestApp.m_pMainWnd = &dlg;
    CWnd* pMainDuring = nullptr;
    dlg.onInit = [&](CScriptedDialog& d) {
        pMainDuring = AfxGetMainWnd();
        d.PostMessage(WM_CLOSE);
    };
    EXPECT_EQ(IDCANCEL, dlg.DoModal());
    EXPECT_EQ(nullptr, dlg.m_hOwnerAtInit);
    EXPECT_EQ(&dlg, pMainDuring);
    EXPECT_EQ(nullptr, theTestApp.m_pMainWnd);
}

TEST(DialogCommandTest, UnhandledCommandsReachTheApplication)
{
    CScriptedDialog dlg;
    const int before = theTestApp.m_nAppOnlyCommands;
    dlg.onInit = [](CScriptedDialog& d) {
        d.PostMessage(WM_COMMAND, kAppOnlyCommand);
        d.PostMessage(WM_CLOSE);
    };
    EXPECT_EQ(IDCANCEL, dlg.DoModal());
    EXPECT_EQ(before + 1, theTestApp.m_nAppOnlyCommands);
}

TEST(DialogTemplateTest, MissingTemplateFailsAtOnce)
{
    class CMissing : public CDialog
    {
    public:
        CMissing() : CDialog(4321) {}
    } dlg;
    EXPECT_EQ(-1, dlg.DoModal());
}

// The application's message box caption when none is given: the executable's name.
TEST(ApplicationTest, NamesComeFromTheExecutable)
{
    EXPECT_STREQ("framework_test", theTestApp.m_pszExeName);
    EXPECT_STREQ("framework_test", theTestApp.m_pszAppName);
    EXPECT_EQ(&theTestApp, AfxGetApp());
    EXPECT_EQ(::GetModuleHandleA(nullptr), AfxGetInstanceHandle());
    EXPECT_EQ(::GetModuleHandleA(nullptr), theTestApp.m_hInstance);
}

TEST(ApplicationTest, LoadsIconsAtTheStandardSize)
{
    HICON hIcon = theTestApp.LoadIcon(IDI_TEST_ICON);
    ASSERT_NE(nullptr, hIcon);
    ICONINFO info = {};
    ASSERT_TRUE(::GetIconInfo(hIcon, &info));
    BITMAP bitmap = {};
    ::GetObjectA(info.hbmColor != nullptr ? info.hbmColor : info.hbmMask, sizeof(bitmap), &bitmap);
    EXPECT_EQ(::GetSystemMetrics(SM_CXICON), bitmap.bmWidth);
    if (info.hbmColor != nullptr) {
        EXPECT_EQ(::GetSystemMetrics(SM_CYICON), bitmap.bmHeight);
    }
    ::DeleteObject(info.hbmColor);
    ::DeleteObject(info.hbmMask);
    EXPECT_EQ(nullptr, theTestApp.LoadIcon(4321));
}

TEST(ApplicationTest, MessageBoxWithoutCaptionShowsTheApplicationName)
{
    CWnd owner;
    const RECT rect = {0, 0, 300, 200};
    ASSERT_TRUE(owner.Create(nullptr, "owner", WS_OVERLAPPEDWINDOW, rect, nullptr, 0));

    std::string boxText;
    bool found = false;
    std::thread closer([&] {
        HWND box = WaitForWindow("framework_test", "#32770", 20000, ::GetCurrentProcessId());
        if (box == nullptr)
            return;
        found = true;
        boxText = MessageBoxText(box);
        PressButton(box, IDOK);
    });
    const int result = owner.MessageBox("正文", nullptr, MB_OK);
    closer.join();
    EXPECT_TRUE(found);
    EXPECT_EQ("正文", boxText);
    EXPECT_EQ(IDOK, result);
}

}
