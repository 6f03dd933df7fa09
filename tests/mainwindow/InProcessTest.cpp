// The main window run inside the test, so that its menu, icons and painting can be read directly.
#include <windows.h>
#include <gtest/gtest.h>

#include <functional>
#include <thread>

#include "mainwindow/RunningCopy.h"
#include "resource.h"
#include "support/InstallState.h"
#include "support/Paths.h"
#include "support/WindowFinder.h"
#include "ui/ZelmoraDlg.h"

namespace {

// Runs the main window modally on this thread while `inspect` runs on another against its window;
// the window is closed when `inspect` returns.
void WithMainWindow(CZelmoraDlg& dlg, const std::function<void(HWND)>& inspect)
{
    HttpServer server(TestHostPort());
    KillQuorelProcesses();
    ResetInstallState();
    // The same version installed and placed: the window stays open and writes nothing.
    MakeDirs(InstallFolder());
    CopyTo(VariantExe("v3200"), InstalledExe());
    WriteWholeFile(MarkerLink(), "");

    std::thread inspector([&] {
        HWND window = WaitForWindow(MainCaption(), "#32770", kWaitMs, GetCurrentProcessId());
        if (window != nullptr)
            inspect(window);
        else
            ADD_FAILURE() << "the main window did not open";
        if (window != nullptr)
            PostMessageA(window, WM_CLOSE, 0, 0);
    });
    AfxGetApp()->m_pMainWnd = &dlg;
    dlg.DoModal();
    inspector.join();
}

std::string MenuText(HMENU menu, int position)
{
    char text[128] = {};
    GetMenuStringA(menu, position, text, sizeof text, MF_BYPOSITION);
    return text;
}

TEST(MainWindowInProcess, SystemMenuGainsASeparatorAndTheAboutEntryOnce)
{
    // A window of the same styles shows what the platform's own system menu holds.
    HWND plain = CreateWindowExA(0, "#32770", "plain", WS_POPUP | WS_CAPTION | WS_SYSMENU | DS_MODALFRAME, 0, 0,
                                 100, 100, nullptr, nullptr, nullptr, nullptr);
    ASSERT_NE(plain, nullptr);
    const int platformItems = GetMenuItemCount(GetSystemMenu(plain, FALSE));
    DestroyWindow(plain);
    ASSERT_GT(platformItems, 0);

    CZelmoraDlg dlg;
    int items = 0;
    std::string aboutText;
    UINT aboutId = 0, separatorState = 0;
    WithMainWindow(dlg, [&](HWND window) {
        HMENU menu = GetSystemMenu(window, FALSE);
        items = GetMenuItemCount(menu);
        separatorState = GetMenuState(menu, items - 2, MF_BYPOSITION);
        aboutId = GetMenuItemID(menu, items - 1);
        aboutText = MenuText(menu, items - 1);
    });
    EXPECT_EQ(items, platformItems + 2);
    EXPECT_TRUE(separatorState & MF_SEPARATOR);
    EXPECT_EQ(aboutId, static_cast<UINT>(IDM_ABOUTBOX));
    EXPECT_EQ(aboutText, "关于 Tovrask(&A)...");
}

TEST(MainWindowInProcess, BigAndSmallIconsComeFromTheirOwnResources)
{
    CZelmoraDlg dlg;
    HICON big = nullptr, small = nullptr;
    WithMainWindow(dlg, [&](HWND window) {
        big = reinterpret_cast<HICON>(SendMessageA(window, WM_GETICON, ICON_BIG, 0));
        small = reinterpret_cast<HICON>(SendMessageA(window, WM_GETICON, ICON_SMALL, 0));
    });
    EXPECT_EQ(big, dlg.m_hIconBig);
    EXPECT_EQ(small, dlg.m_hIconSmall);
    EXPECT_EQ(dlg.m_hIconBig, AfxGetApp()->LoadIcon(IDI_BIG_ICON));
    EXPECT_EQ(dlg.m_hIconSmall, AfxGetApp()->LoadIcon(IDR_MAINFRAME));
    EXPECT_NE(dlg.m_hIconBig, dlg.m_hIconSmall) << "two groups, two icons";
}

}  // namespace
