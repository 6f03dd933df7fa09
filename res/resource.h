#pragma once

#define IDD_ABOUTBOX     100
#define IDS_ABOUTBOX     101
#define IDD_MAIN_DIALOG  102
#define IDR_MAINFRAME    128
#define IDI_BIG_ICON     129
#define IDC_BROWSER      1000

#define IDM_ABOUTBOX     0x0010

#ifndef IDC_STATIC
#define IDC_STATIC       (-1)
#endif

// Icon resources written from prepared images rather than from an .ico file.
#define RT_ICON_ID             3
#define RT_GROUP_ICON_ID       14

// The dialog-initialisation resource type and its "load the persisted stream" message.
#define RT_DLGINIT_ID          240
#define WM_OCC_LOADFROMSTREAM  0x0376
