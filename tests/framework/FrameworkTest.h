#pragma once
// Resources of the framework test program, shared by its sources and its .rc file.
#define IDC_EDIT 201
#define IDD_BROWSER 210
#define IDC_SIDE_BUTTON 211
#define IDD_CLASSIC_BROWSER 220
#define IDS_GREETING 230
#define IDC_BROWSER_ITEM 1000

#ifndef RC_INVOKED
#include "framework/Afx.h"
#endif
