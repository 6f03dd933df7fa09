#pragma once
// Resources of the framework test program, shared by its sources and its .rc file.
#define IDD_BROWSER 210
#define IDC_BROWSER_ITEM 1000
