// The main window of a real Quorel.exe copy, driven from outside as the platform and a user would.
#include <windows.h>
#include <gtest/gtest.h>

#include "mainwindow/RunningCopy.h"
#include "support/WindowFinder.h"

namespace {

const char kWebAppPath[] = "/touch/default/type/ipad/source/software?ver";

struct AddressCase
{
    const char* variant;
    const char* expectedTarget;
};

class WebAppAddress : public ::testing::TestWithParam<AddressCase>
{
};

TEST_P(WebAppAddress, CarriesTheRunningVersion)
{
    RunningCopy copy(GetParam().variant);
    ASSERT_TRUE(copy.Started());
    HttpRequest request;
    ASSERT_TRUE(copy.Server().WaitForPrefix("/touch/", kWaitMs, &request));
    EXPECT_EQ(request.method, "GET");
    EXPECT_EQ(request.target, GetParam().expectedTarget);
    EXPECT_EQ(copy.Server().CountPrefix("/update/"), 0u) << "the update check waits for its timer";
}

INSTANTIATE_TEST_SUITE_P(Versions, WebAppAddress,
                         ::testing::Values(AddressCase{"v3200", "/touch/default/type/ipad/source/software?ver3.2"},
                                           AddressCase{"v3210", "/touch/default/type/ipad/source/software?ver3.2.1.0"},
                                           AddressCase{"vnone", "/touch/default/type/ipad/source/software?ver"}),
                         [](const ::testing::TestParamInfo<AddressCase>& info) { return std::string(info.param.variant); });

HWND BrowserWindow(HWND dialog)
{
    // The control's own window is the dialog's only child.
    return FindWindowExA(dialog, nullptr, nullptr, nullptr);
}

TEST(MainWindow, BrowserControlFillsTheClientAreaButTheBottomStrip)
{
    RunningCopy copy("v3200");
    ASSERT_TRUE(copy.Started());
    HWND browser = BrowserWindow(copy.Window());
    ASSERT_NE(browser, nullptr);
    EXPECT_EQ(FindWindowExA(copy.Window(), browser, nullptr, nullptr), nullptr) << "one control only";

    RECT client, control;
    GetClientRect(copy.Window(), &client);
    GetWindowRect(browser, &control);
    MapWindowPoints(nullptr, copy.Window(), reinterpret_cast<POINT*>(&control), 2);
    EXPECT_EQ(control.left, 0);
    EXPECT_EQ(control.top, 0);
    EXPECT_EQ(control.right, client.right);
    // 444 of 445 dialog units: one unit, one to three pixels, stays the dialog's own surface.
    EXPECT_GE(client.bottom - control.bottom, 1);
    EXPECT_LE(client.bottom - control.bottom, 3);
    EXPECT_GT(control.bottom, 400);

    const LONG_PTR style = GetWindowLongPtrA(copy.Window(), GWL_STYLE);
    EXPECT_EQ(style & (WS_MINIMIZEBOX | WS_MAXIMIZEBOX | WS_THICKFRAME), 0) << "a fixed window";
    EXPECT_TRUE(GetWindowLongPtrA(copy.Window(), GWL_EXSTYLE) & WS_EX_APPWINDOW);
}

TEST(MainWindow, EscapeAndEnterLeaveTheWindowOpen)
{
    RunningCopy copy("v3200");
    ASSERT_TRUE(copy.Started());
    const UINT keys[] = {VK_ESCAPE, VK_RETURN};
    for (UINT key : keys) {
        SCOPED_TRACE(key);
        const LPARAM down = 1 | (MapVirtualKeyA(key, MAPVK_VK_TO_VSC) << 16);
        copy.PostAndSettle(WM_KEYDOWN, key, down);
        copy.PostAndSettle(WM_KEYUP, key, down | 0xC0000000);
        EXPECT_TRUE(IsWindow(copy.Window()));
        EXPECT_TRUE(copy.Process().Running());
    }
    // The same keys on the browser control's window, where the focus is.
    HWND browser = BrowserWindow(copy.Window());
    ASSERT_NE(browser, nullptr);
    for (UINT key : keys) {
        PostMessageA(browser, WM_KEYDOWN, key, 1);
        copy.PostAndSettle(WM_NULL, 0, 0);
        EXPECT_TRUE(copy.Process().Running());
    }
}

TEST(MainWindow, DroppedFilesBringUpTheNoticeCaptionedWithTheExecutableName)
{
    RunningCopy copy("v3200", "FittingRoom.exe");
    ASSERT_TRUE(copy.Started());

    PostMessageA(copy.Window(), WM_DROPFILES, 0, 0);
    HWND box = WaitForWindow("FittingRoom", "#32770", kWaitMs, copy.Pid());
    ASSERT_NE(box, nullptr);
    EXPECT_EQ(MessageBoxText(box), "WM_DROPFILES");
    EXPECT_TRUE(PressButton(box, IDOK));
    EXPECT_TRUE(WaitForWindowGone(box, kWaitMs));
    EXPECT_TRUE(copy.Process().Running());
}

TEST(MainWindow, StopsAcceptingDroppedFilesOnceThePageReportsStatus)
{
    RunningCopy copy("v3200");
    ASSERT_TRUE(copy.Started());
    // The control reports status text as it loads the page; from then on drops are refused.
    const DWORD deadline = GetTickCount() + kWaitMs;
    while ((GetWindowLongPtrA(copy.Window(), GWL_EXSTYLE) & WS_EX_ACCEPTFILES) && GetTickCount() < deadline)
        Sleep(20);
    EXPECT_FALSE(GetWindowLongPtrA(copy.Window(), GWL_EXSTYLE) & WS_EX_ACCEPTFILES);
    EXPECT_TRUE(copy.Process().Running());
}

TEST(MainWindow, UpdateTimerReachesTheTimerHandler)
{
    RunningCopy copy("v3200");
    ASSERT_TRUE(copy.Started());
    copy.Server().ClearRequests();

    // Another timer id is only passed on.
    PostMessageA(copy.Window(), WM_TIMER, 2, 0);
    PostMessageA(copy.Window(), WM_TIMER, 1, 0);
    ASSERT_TRUE(copy.Server().WaitFor("/update/update.txt", kWaitMs));
    EXPECT_EQ(copy.Server().Count("/update/update.txt"), 1u);
    EXPECT_TRUE(copy.Process().Running()) << "a missing version file is silent";
}

struct CloseCase
{
    const char* name;
    UINT message;
    WPARAM wParam;
};

class Closing : public ::testing::TestWithParam<CloseCase>
{
};

TEST_P(Closing, EndsTheProcess)
{
    RunningCopy copy("v3200");
    ASSERT_TRUE(copy.Started());
    PostMessageA(copy.Window(), GetParam().message, GetParam().wParam, 0);
    EXPECT_TRUE(copy.Process().WaitExit(kWaitMs));
}

INSTANTIATE_TEST_SUITE_P(Ways, Closing,
                         ::testing::Values(CloseCase{"CloseButton", WM_SYSCOMMAND, SC_CLOSE},
                                           CloseCase{"CloseMessage", WM_CLOSE, 0}),
                         [](const ::testing::TestParamInfo<CloseCase>& info) { return info.param.name; });

const char kAboutCaption[] = "关于 Tovrask";

std::vector<std::string> ChildTexts(HWND dialog)
{
    std::vector<std::string> texts;
    for (HWND child = GetWindow(dialog, GW_CHILD); child; child = GetWindow(child, GW_HWNDNEXT))
        texts.push_back(WindowText(child));
    return texts;
}

struct AboutCloseCase
{
    const char* name;
    WPARAM systemCommand;
    int how;   // 0 OK button, 1 Enter, 2 Escape, 3 close button
};

class AboutBox : public ::testing::TestWithParam<AboutCloseCase>
{
};

TEST_P(AboutBox, OpensFromTheSystemCommandAndEndsEachWay)
{
    RunningCopy copy("v3200");
    ASSERT_TRUE(copy.Started());
    std::vector<std::string> firstContent;
    for (int round = 0; round < 2; ++round) {
        SCOPED_TRACE(round);
        PostMessageA(copy.Window(), WM_SYSCOMMAND, GetParam().systemCommand, 0);
        HWND about = WaitForWindow(kAboutCaption, "#32770", kWaitMs, copy.Pid());
        ASSERT_NE(about, nullptr);
        std::vector<std::string> content = ChildTexts(about);
        ASSERT_EQ(content.size(), 4u);
        EXPECT_EQ(content[1], "Tovrask");
        EXPECT_EQ(content[3], "确定");
        if (round == 0)
            firstContent = content;
        EXPECT_EQ(content, firstContent) << "the same content each time";
        EXPECT_FALSE(IsWindowEnabled(copy.Window())) << "modal over the main window";

        switch (GetParam().how) {
        case 0:
            PressButton(about, IDOK);
            break;
        case 1:
            PostMessageA(GetDlgItem(about, IDOK), WM_KEYDOWN, VK_RETURN, 1);
            break;
        case 2:
            PostMessageA(GetDlgItem(about, IDOK), WM_KEYDOWN, VK_ESCAPE, 1);
            break;
        default:
            PostMessageA(about, WM_SYSCOMMAND, SC_CLOSE, 0);
            break;
        }
        ASSERT_TRUE(WaitForWindowGone(about, kWaitMs));
        copy.PostAndSettle(WM_NULL, 0, 0);
        EXPECT_TRUE(IsWindowEnabled(copy.Window()));
        EXPECT_TRUE(copy.Process().Running());
    }
}

INSTANTIATE_TEST_SUITE_P(Ways, AboutBox,
                         ::testing::Values(AboutCloseCase{"OkButton", 0x0010, 0}, AboutCloseCase{"Enter", 0x0013, 1},
                                           AboutCloseCase{"Escape", 0x001F, 2},
                                           AboutCloseCase{"CloseButton", 0x0018, 3}),
                         [](const ::testing::TestParamInfo<AboutCloseCase>& info) { return info.param.name; });

TEST(MainWindow, SystemCommandsOutsideTheAboutRangeKeepThePlatformsMeaning)
{
    RunningCopy copy("v3200");
    ASSERT_TRUE(copy.Started());
    // 0x0020 is no command of ours: nothing opens.
    copy.PostAndSettle(WM_SYSCOMMAND, 0x0020, 0);
    EXPECT_TRUE(FindWindows(kAboutCaption, "#32770", copy.Pid()).empty());
    PostMessageA(copy.Window(), WM_SYSCOMMAND, SC_CLOSE, 0);
    EXPECT_TRUE(copy.Process().WaitExit(kWaitMs));
}

}  // namespace
