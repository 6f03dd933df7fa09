#pragma once
// Ground shared by the end-to-end scenarios: the loopback server that plays the web application and
// the update server, a download folder, and the user's moves (start a download, answer a box).

#include <gtest/gtest.h>

#include <windows.h>

#include <memory>
#include <string>
#include <vector>

#include "support/Files.h"
#include "support/HttpServer.h"
#include "support/Process.h"

extern const char kMainCaption[];
extern const char kQuestionCaption[];
extern const char kSuccessCaption[];
extern const char kFailureCaption[];
extern const char kWebAppPath[];

// Wine starts are slow on a busy machine; every wait is on a condition, bounded by this.
const DWORD kWaitMs = 60000;

// The web application's address as a shell of that version asks for it: "?ver" and the version.
std::string WebAppTarget(const char* version);

// One running shell and its main window.
struct Shell {
    DWORD pid = 0;
    HWND window = nullptr;
};

class Story : public ::testing::Test {
protected:
    void SetUp() override;
    void TearDown() override;

    // update.txt holds versionText; the executable is answered as given.
    void OfferUpdate(const std::string& versionText, const HttpResponse& executable);
    // The user starts a downloaded copy of the variant from the download folder; returns the shell
    // that ends up holding the window: the installed copy, once the download has handed over to it.
    Shell FirstRun(const char* variant = "v3200");
    // Starts the installed copy once more, the way its shortcuts do.
    Shell StartInstalledAgain(ChildProcess& process);
    // Fires the update timer now instead of twenty seconds after the window opened.
    void FireUpdateTimer(const Shell& shell);
    // Temporary-folder entries that were not there when the scenario began.
    std::vector<std::string> NewTempEntries() const;

    std::unique_ptr<HttpServer> server;
    TempDir downloads;
    ChildProcess downloaded;

private:
    std::vector<std::string> tempBefore_;
};

// The box of that caption, of that process, appears; *text gets its message; the button is pressed
// and the box goes away.
::testing::AssertionResult Answer(DWORD pid, const char* caption, int button, std::string* text = nullptr);
// True once the window's thread has handled a message sent now. The update run blocks that thread but
// for the moments between its waits on the server, so this returns when the run is over, when a box's
// modal loop is up, or between two of the run's waits.
bool Settled(HWND window);
// The shell still runs with its window, from the install path holding exactly the variant's image,
// with no backup beside it.
::testing::AssertionResult IntactInstalledShell(const Shell& shell, const char* variant);
bool SameImage(const std::string& path, const char* variant);
