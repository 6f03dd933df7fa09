#pragma once
// Resources of the framework test program, shared by its sources and its .rc file.
#define IDD_PLAIN 200
#define IDC_EDIT 201
#define IDD_BROWSER 210
#define IDC_SIDE_BUTTON 211
#define IDD_CLASSIC_BROWSER 220
#define IDS_GREETING 230
#define IDI_TEST_ICON 240
#define IDC_BROWSER_ITEM 1000

#ifndef RC_INVOKED
#include "framework/Afx.h"
// The test program's application object: the owner of modal boxes, as the shell's is.
extern CWinApp theTestApp;
#endif
