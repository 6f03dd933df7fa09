#pragma once

#define IDD_ABOUTBOX 100
#define IDS_ABOUTBOX 101
#define IDD_MAIN_DIALOG 102
#define IDD_DOWNLOAD 103
#define IDR_MAINFRAME 128
#define IDI_BIG_ICON 129
#define IDC_BROWSER 1000
#define IDC_DOWNLOAD_BAR 1001

#define IDM_ABOUTBOX 0x0010

// Texts of the About box and the main window, for the resource script, the code and the tests.
#define QUOREL_ABOUT_CAPTION "关于 Tovrask"
#define QUOREL_ABOUT_NAME "Tovrask"
#define QUOREL_ABOUT_MENU "关于 Tovrask(&A)..."
#define QUOREL_DROP_NOTICE "WM_DROPFILES"
// The update question's caption is also the download window's.
#define QUOREL_QUESTION_CAPTION "有新版更新"
#define QUOREL_DOWNLOAD_TEXT "正在下载新版本，请稍候……"
#define QUOREL_DOWNLOAD_CANCEL "取消"

#ifndef IDC_STATIC
#define IDC_STATIC (-1)
#endif

// Icon resources written from prepared images rather than from an .ico file.
#define RT_ICON_ID 3
#define RT_GROUP_ICON_ID 14

// The dialog-initialisation resource type and its "load the persisted stream" message.
#define RT_DLGINIT_ID 240
#define WM_OCC_LOADFROMSTREAM 0x0376
