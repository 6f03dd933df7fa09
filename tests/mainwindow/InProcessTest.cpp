// The main window run inside the test, so that its menu, icons and painting can be read directly.
#include <windows.h>
#include <shlobj.h>
#include <gtest/gtest.h>

#include <functional>
#include <set>
#include <string>
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
}

// Draws a window (frame included) the way it looks on screen, into a 24-bit BMP file; returns how many
// distinct colours it holds.
size_t SaveWindowImage(HWND window, const std::string& path)
{
    RECT rect;
    GetWindowRect(window, &rect);
    const int width = rect.right - rect.left, height = rect.bottom - rect.top;
    BITMAPINFO info = {};
    info.bmiHeader.biSize = sizeof info.bmiHeader;
    info.bmiHeader.biWidth = width;
    info.bmiHeader.biHeight = height;
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 24;
    void* bits = nullptr;
    HDC dc = CreateCompatibleDC(nullptr);
    HBITMAP bitmap = CreateDIBSection(dc, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
    HGDIOBJ old = SelectObject(dc, bitmap);
    // The window's own surface, frame included: what the platform has drawn for it.
    RedrawWindow(window, nullptr, nullptr, RDW_INVALIDATE | RDW_FRAME | RDW_ERASE | RDW_ALLCHILDREN | RDW_UPDATENOW);
    HDC windowDc = GetWindowDC(window);
    BitBlt(dc, 0, 0, width, height, windowDc, 0, 0, SRCCOPY);
    ReleaseDC(window, windowDc);
    GdiFlush();

    const DWORD stride = (width * 3 + 3) & ~3;
    const DWORD imageSize = stride * height;
    BITMAPFILEHEADER file = {};
    file.bfType = 0x4D42;
    file.bfOffBits = sizeof file + sizeof info.bmiHeader;
    file.bfSize = file.bfOffBits + imageSize;
    info.bmiHeader.biSizeImage = imageSize;
    std::string data(reinterpret_cast<const char*>(&file), sizeof file);
    data.append(reinterpret_cast<const char*>(&info.bmiHeader), sizeof info.bmiHeader);
    data.append(static_cast<const char*>(bits), imageSize);
    WriteWholeFile(path, data);

    std::set<DWORD> colours;
    const BYTE* pixels = static_cast<const BYTE*>(bits);
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x) {
            const BYTE* p = pixels + y * stride + x * 3;
            colours.insert(p[0] | (p[1] << 8) | (p[2] << 16));
        }
    SelectObject(dc, old);
    DeleteObject(bitmap);
    DeleteDC(dc);
    return colours.size();
}

// Pictures of the main window and the About box for a person to look at; saved in the build tree.
TEST(MainWindowInProcess, ScreenshotsOfTheMainWindowAndTheAboutBox)
{
    const std::string folder = BinaryDir() + "screenshots\\";
    MakeDirs(folder);
    CZelmoraDlg dlg;
    size_t mainColours = 0, aboutColours = 0;
    WithMainWindow(dlg, [&](HWND window) {
        mainColours = SaveWindowImage(window, folder + "main-window.bmp");
        PostMessageA(window, WM_SYSCOMMAND, IDM_ABOUTBOX, 0);
        HWND about = WaitForWindow("关于 Tovrask", "#32770", kWaitMs, GetCurrentProcessId());
        if (about == nullptr) {
            ADD_FAILURE() << "no About box";
            return;
        }
        aboutColours = SaveWindowImage(about, folder + "about-box.bmp");
        PressButton(about, IDOK);
        WaitForWindowGone(about, kWaitMs);
    });
    // Here the page renders blank, below it the dialog's own strip; the About box has text and its icon.
    EXPECT_GE(mainColours, 2u);
    EXPECT_GT(aboutColours, 8u);
    EXPECT_TRUE(FileExists(folder + "main-window.bmp"));
    EXPECT_TRUE(FileExists(folder + "about-box.bmp"));
}

TEST(MainWindowInProcess, TheDropIsReleasedAfterTheNotice)
{
    CZelmoraDlg dlg;
    WithMainWindow(dlg, [](HWND window) {
        // A drop of no files, as the shell hands it over: the receiver frees it.
        HGLOBAL drop = GlobalAlloc(GMEM_MOVEABLE | GMEM_ZEROINIT, sizeof(DROPFILES) + 2);
        ASSERT_NE(nullptr, drop);
        static_cast<DROPFILES*>(GlobalLock(drop))->pFiles = sizeof(DROPFILES);
        GlobalUnlock(drop);
        ASSERT_TRUE(PostMessageA(window, WM_DROPFILES, reinterpret_cast<WPARAM>(drop), 0));
        HWND notice = nullptr;
        for (const DWORD start = GetTickCount(); !notice && GetTickCount() - start < kWaitMs; Sleep(50)) {
            for (HWND box : FindWindows(nullptr, "#32770", GetCurrentProcessId()))
                notice = MessageBoxText(box) == "WM_DROPFILES" ? box : notice;
        }
        ASSERT_NE(nullptr, notice);
        EXPECT_NE(UINT(GMEM_INVALID_HANDLE), GlobalFlags(drop)) << "released before the notice was dismissed";
        ASSERT_TRUE(PressButton(notice, IDOK));
        ASSERT_TRUE(WaitForWindowGone(notice, kWaitMs));
        SendMessageA(window, WM_NULL, 0, 0);
        EXPECT_EQ(UINT(GMEM_INVALID_HANDLE), GlobalFlags(drop));
    });
}

}  // namespace
