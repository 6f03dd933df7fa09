#pragma once

#define IDD_PLAIN               200
#define IDC_EDIT                201
#define IDD_BROWSER             210
#define IDD_CLASSIC_BROWSER     220
#define IDC_BROWSER_ITEM        1000
#define IDC_SIDE_BUTTON         211
#define IDS_GREETING            230
#define IDI_TEST_ICON           240
