#pragma once
// Shared ground for the tests that run throwaway copies of Quorel.exe against the prefix's install location.

#include <gtest/gtest.h>

#include <windows.h>

#include <string>

#include "support/Files.h"
#include "support/InstallState.h"
#include "support/Process.h"

// The main window of every test copy.
extern const char kMainCaption[];
const DWORD kScenarioTimeoutMs = 30000;

class InstallScenario : public ::testing::Test {
protected:
    void SetUp() override;
    void TearDown() override;

    // A copy of a variant ("v3200", "v3201", "v3210", "vnone") in the test's own folder.
    std::string PlaceCopy(const char* variant, const std::string& name = "Quorel.exe");
    // Puts a variant at the install path, as an earlier install would have.
    void Preinstall(const char* variant);

    TempDir downloads;
};

// The started copy installed the variant's image whole, started the installed copy and ended;
// the installed copy's window is open.
::testing::AssertionResult HandedOverToInstalledCopy(ChildProcess& started, const char* variant);
// The started copy opened its window and kept it; no (other) installed copy was started.
::testing::AssertionResult StayedOpen(ChildProcess& started);
// The install path holds exactly this variant's image (or nothing, for nullptr), and the install
// folder holds nothing but the installed copy and the marker.
::testing::AssertionResult InstalledImageIs(const char* variant);
// Every shortcut of the placement exists (Quick Launch exactly when its folder exists), resolves
// to target (the desktop one to desktopTarget) and has no arguments; both program groups exist.
::testing::AssertionResult AllShortcutsPlaced(const std::string& target, const std::string& desktopTarget);
// Which of the placement's shortcuts exist, for failure messages and "nothing written" checks.
std::string ExistingShortcuts();
