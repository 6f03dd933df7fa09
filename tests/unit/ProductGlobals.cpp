// The globals that app/ZelmoraApp.cpp defines for Quorel.exe, for test programs that link the product's
// classes: an application object, and the update agent after it. The build constants come from
// app/BuildConfig.cpp, compiled with a test copy's configuration.
#include "framework/Afx.h"
#include "update/UpdateAgent.h"

CWinApp theTestApp;
CUpdateAgent g_updateAgent;
