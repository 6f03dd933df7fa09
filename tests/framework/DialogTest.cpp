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

// A dialog that records what the framework does with it; onInit scripts the input the modal
// loop is to process.
class CScriptedDialog : public CDialog
{
public:
    explicit CScriptedDialog(UINT nIDTemplate = IDD_PLAIN) : CDialog(nIDTemplate) {}

    std::function<void(CScriptedDialog&)> onInit;
    UINT m_swallowKey = 0;
    std::vector<std::pair<UINT, WPARAM>> m_preTranslated;
    std::string m_calls;
    std::string m_editTextAtEnd;
    BOOL m_bVisibleAtEnd = FALSE;
    BOOL m_bEditBoundAtInit = FALSE;
    RECT m_rectAtEnd = {};
    HWND m_hOwnerAtInit = nullptr;
    CWnd m_edit;

    HWND Edit() const { return GetDlgItem(IDC_EDIT); }

    BOOL OnInitDialog() override
    {
        CDialog::OnInitDialog();
        m_calls += "init;";
        m_hOwnerAtInit = ::GetWindow(m_hWnd, GW_OWNER);
        m_bEditBoundAtInit = m_edit.m_hWnd == Edit() && CWnd::FromHandlePermanent(Edit()) == &m_edit;
        SetTimer(kSafetyTimer, kSafetyMs, nullptr);
        if (onInit)
            onInit(*this);
        return TRUE;
    }
    BOOL PreTranslateMessage(MSG* pMsg) override
    {
        if (pMsg->message >= WM_KEYFIRST && pMsg->message <= WM_KEYLAST)
            m_preTranslated.emplace_back(pMsg->message, pMsg->wParam);
        if (pMsg->message == WM_KEYDOWN && pMsg->wParam == m_swallowKey)
            return TRUE;
        return CDialog::PreTranslateMessage(pMsg);
    }
    void DoDataExchange(CDataExchange* pDX) override
    {
        m_calls += pDX->m_bSaveAndValidate ? "save;" : "load;";
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
        m_editTextAtEnd = WindowText(Edit());
        m_bVisibleAtEnd = IsWindowVisible();
        GetWindowRect(&m_rectAtEnd);
    }
};

BEGIN_MESSAGE_MAP(CScriptedDialog, CDialog)
    ON_WM_CLOSE()
    ON_WM_TIMER()
END_MESSAGE_MAP()

struct EndingCase {
    const char* name;
    void (*script)(CScriptedDialog&);
    INT_PTR result;
    const char* calls;
    bool shownAtEnd;
};

// The template is not visible: the modal run shows it once OnInitDialog has returned.
const EndingCase kEndings[] = {
    {"WM_CLOSE", [](CScriptedDialog& d) { d.PostMessage(WM_CLOSE); }, IDCANCEL, "load;init;close;cancel;", true},
    {"system menu Close", [](CScriptedDialog& d) { d.PostMessage(WM_SYSCOMMAND, SC_CLOSE, 0); }, IDCANCEL,
     "load;init;close;cancel;", true},
    {"Escape", [](CScriptedDialog& d) { d.PostKey(WM_KEYDOWN, VK_ESCAPE); }, IDCANCEL, "load;init;cancel;", true},
    {"Enter activates the default button", [](CScriptedDialog& d) { d.PostKey(WM_KEYDOWN, VK_RETURN); }, IDOK,
     "load;init;ok;save;", true},
    // The way the shell closes its own window when it hands over to an installed copy.
    {"WM_CLOSE during OnInitDialog", [](CScriptedDialog& d) { d.SendMessage(WM_CLOSE); }, IDCANCEL,
     "load;init;close;cancel;", false},
    {"EndDialog during OnInitDialog", [](CScriptedDialog& d) { d.EndDialog(42); }, 42, "load;init;", false},
    {"quit message", [](CScriptedDialog&) { ::PostQuitMessage(5); }, -1, "load;init;", false},
};

TEST(ModalLoopTest, EndsEachWayPromptly)
{
    for (const EndingCase& c : kEndings) {
        SCOPED_TRACE(c.name);
        CScriptedDialog dlg;
        dlg.onInit = c.script;
        const DWORD start = ::GetTickCount();
        EXPECT_EQ(c.result, dlg.DoModal());
        EXPECT_LT(::GetTickCount() - start, kSafetyMs / 2);
        EXPECT_EQ(c.calls, dlg.m_calls);
        EXPECT_TRUE(!c.shownAtEnd || dlg.m_bVisibleAtEnd);
        EXPECT_TRUE(dlg.m_bEditBoundAtInit);
        EXPECT_EQ(nullptr, dlg.m_edit.m_hWnd);
        EXPECT_EQ(nullptr, dlg.m_hWnd);
        // The loop leaves WM_QUIT in the queue for the caller.
        MSG msg;
        const bool quit = ::PeekMessageA(&msg, nullptr, WM_QUIT, WM_QUIT, PM_REMOVE) != FALSE;
        EXPECT_EQ(c.result == -1, quit);
        EXPECT_TRUE(!quit || msg.wParam == 5);
    }
    EXPECT_EQ(-1, CScriptedDialog(4321).DoModal()); // no such template
}

TEST(ModalLoopTest, KeyboardMessagesPassPreTranslateMessageFirst)
{
    CScriptedDialog dlg;
    dlg.m_swallowKey = VK_ESCAPE;
    dlg.onInit = [](CScriptedDialog& d) {
        // F5 has no character, so translation adds no WM_CHAR of its own.
        d.PostKey(WM_KEYDOWN, VK_F5);
        d.PostKey(WM_CHAR, 'x');
        d.PostKey(WM_KEYUP, VK_F5);
        // Kept from the dialog manager, which would turn it into IDCANCEL.
        d.PostKey(WM_KEYDOWN, VK_ESCAPE);
        d.PostKey(WM_CHAR, 'y');
        d.PostMessage(WM_CLOSE);
    };
    EXPECT_EQ(IDCANCEL, dlg.DoModal());

    const std::vector<std::pair<UINT, WPARAM>> expected = {
        {WM_KEYDOWN, VK_F5}, {WM_CHAR, 'x'}, {WM_KEYUP, VK_F5}, {WM_KEYDOWN, VK_ESCAPE}, {WM_CHAR, 'y'}};
    EXPECT_EQ(expected, dlg.m_preTranslated);
    EXPECT_EQ("xy", dlg.m_editTextAtEnd);
    EXPECT_EQ("load;init;close;cancel;", dlg.m_calls);
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
    // Centred over its owner.
    EXPECT_NEAR((rect.left + rect.right) / 2, (box.m_rectAtEnd.left + box.m_rectAtEnd.right) / 2, 1);
    EXPECT_NEAR((rect.top + rect.bottom) / 2, (box.m_rectAtEnd.top + box.m_rectAtEnd.bottom) / 2, 1);

    mainWnd.DestroyWindow();
    EXPECT_EQ(nullptr, theTestApp.m_pMainWnd);
}

// Commands the dialog does not handle go on to the application object's map.
TEST(DialogOwnerTest, MainDialogHasNoOwnerAndPassesCommandsToTheApplication)
{
    CScriptedDialog dlg;
    theTestApp.m_pMainWnd = &dlg;
    CWnd* pMainDuring = nullptr;
    const int before = theTestApp.m_nAppOnlyCommands;
    dlg.onInit = [&](CScriptedDialog& d) {
        pMainDuring = AfxGetMainWnd();
        d.PostMessage(WM_COMMAND, kAppOnlyCommand);
        d.PostMessage(WM_CLOSE);
    };
    EXPECT_EQ(IDCANCEL, dlg.DoModal());
    EXPECT_EQ(nullptr, dlg.m_hOwnerAtInit);
    EXPECT_EQ(&dlg, pMainDuring);
    EXPECT_EQ(nullptr, theTestApp.m_pMainWnd);
    EXPECT_EQ(before + 1, theTestApp.m_nAppOnlyCommands);
    EXPECT_TRUE(theTestApp.OnCmdMsg(ID_HELP, 0));
    EXPECT_FALSE(theTestApp.OnCmdMsg(0x4FFF, 0));
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
    ::DeleteObject(info.hbmColor);
    ::DeleteObject(info.hbmMask);
    EXPECT_EQ(nullptr, theTestApp.LoadIcon(4321));
}

// Without a caption the box is titled with the application name, taken from the executable's.
TEST(ApplicationTest, MessageBoxWithoutCaptionShowsTheApplicationName)
{
    EXPECT_STREQ("framework_test", theTestApp.m_pszExeName);
    EXPECT_EQ(&theTestApp, AfxGetApp());
    EXPECT_EQ(::GetModuleHandleA(nullptr), AfxGetInstanceHandle());
    CWnd owner;
    const RECT rect = {0, 0, 300, 200};
    ASSERT_TRUE(owner.Create(nullptr, "owner", WS_OVERLAPPEDWINDOW, rect, nullptr, 0));

    std::string boxText = "<none>";
    std::thread closer([&] {
        HWND box = WaitForWindow("framework_test", "#32770", 20000, ::GetCurrentProcessId());
        if (box == nullptr)
            return;
        boxText = MessageBoxText(box);
        PressButton(box, IDOK);
    });
    const int result = owner.MessageBox("正文", nullptr, MB_OK);
    closer.join();
    EXPECT_EQ("正文", boxText);
    EXPECT_EQ(IDOK, result);
}

}
