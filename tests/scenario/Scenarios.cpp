// Everything a user meets in a real Quorel.exe copy, one row each. Unless a row says otherwise, the
// copy 3.2.0.0 runs from a folder of its own while the same version is installed with its shortcuts.
#include <gtest/gtest.h>

#include "resource.h"
#include "scenario/Scenario.h"
#include "update/Restart.h"
#include "update/TransferLimits.h"
#include "update/UpdateTexts.h"

namespace {

Box Question(const std::string& version, int answer)
{
    return {QUOREL_QUESTION_CAPTION, QUOREL_QUESTION_BEFORE + version + QUOREL_QUESTION_AFTER, "question", "YesNo",
            answer};
}

const Box kFailure = {QUOREL_FAILURE_CAPTION, QUOREL_FAILURE_BEFORE "http://" QUOREL_TEST_HOST QUOREL_FAILURE_AFTER,
                      "question", "OK", IDOK};
// The update 3.2.0.1 taken, and its download failing.
const std::vector<Box> kYesThenFailure = {Question("3.2.0.1", IDYES), kFailure};

Box Success(int answer)
{
    return {QUOREL_SUCCESS_CAPTION, QUOREL_SUCCESS_TEXT, "question", "YesNo", answer};
}

// A limit of the test copies, and the time a box takes to come up and be answered under Wine.
constexpr DWORD Within(DWORD shippedMs)
{
    return shippedMs / QUOREL_TEST_LIMIT_DIVISOR + 4000;
}

Box About(int answer)
{
    return {QUOREL_ABOUT_CAPTION, QUOREL_ABOUT_NAME, "128", "OK", answer};
}

// The executable in parts, well within every limit, so that its download lasts about a second.
void Paced(HttpResponse&, HttpResponse& exe)
{
    exe.trickleMs = 50;
    exe.trickleBytes = 8192;
}

// clang-format off
// A signed 3.2.0.0 offered that copy of 3.2.0.1: it fails as a broken download would.
Scenario Refused(const char* name, const char* exe, void (*shape)(HttpResponse&, HttpResponse&) = nullptr)
{
    return {.name = name, .running = "v3200-vendor", .version = "3.2.0.1", .exe = exe, .shape = shape,
            .trigger = kTick, .boxes = kYesThenFailure};
}
Scenario Accepted(const char* name, const char* exe)
{
    return {.name = name, .installed = "v3200-vendor", .running = "v3200-vendor", .fromInstallPath = true,
            .version = "3.2.0.1", .exe = exe, .trigger = kTick, .boxes = {Question("3.2.0.1", IDYES), Success(IDYES)},
            .end = End::Restarts, .runningAfter = exe, .backupAfter = "v3200-vendor"};
}
// A release that passes every check but does not come up: after the restart the closing copy puts its
// own program back, starts it and reports the failure, no sooner than the limit for a release that hangs.
Scenario RolledBack(const char* name, const char* installed, const char* exe, DWORD limitMs = 0)
{
    Box failure = kFailure;
    failure.notBeforeMs = limitMs;
    return {.name = name, .installed = installed, .running = installed, .fromInstallPath = true, .version = "3.2.0.1",
            .exe = exe, .trigger = kTick, .boxes = {Question("3.2.0.1", IDYES), Success(IDYES), failure},
            .answersMs = limitMs ? 2000u : 0u, .end = End::Restarts, .runningAfter = installed, .backupAfter = exe};
}

// One row a line or two: the table reads better than any formatter would lay it out.
const Scenario kScenarios[] = {
    // The main window.
    {.name = "MainWindowLooksAndWaitsForItsTimer", .versionRequests = 0, .exeRequests = 0, .looks = true},
    {.name = "EscapeLeavesTheWindowOpen", .trigger = {WM_KEYDOWN, VK_ESCAPE}},
    {.name = "EnterLeavesTheWindowOpen", .trigger = {WM_KEYDOWN, VK_RETURN}},
    {.name = "DroppedFilesBringUpANoticeCaptionedWithTheName", .fileName = "FittingRoom.exe", .trigger = {WM_DROPFILES},
     .boxes = {{"FittingRoom", QUOREL_DROP_NOTICE, "none", "OK", IDOK}}},
    {.name = "AboutBoxClosedWithItsButton", .trigger = {WM_SYSCOMMAND, IDM_ABOUTBOX}, .boxes = {About(IDOK)}},
    // The low four bits of a system command are the platform's.
    {.name = "AboutBoxClosedWithEnter", .trigger = {WM_SYSCOMMAND, 0x13}, .boxes = {About(kByEnter)}},
    {.name = "AboutBoxClosedWithEscape", .trigger = {WM_SYSCOMMAND, 0x1F}, .boxes = {About(kByEscape)}},
    {.name = "AboutBoxClosedByItsFrame", .trigger = {WM_SYSCOMMAND, 0x18}, .boxes = {About(kByCloseBox)}},
    {.name = "CloseButtonEndsTheProgram", .trigger = {WM_SYSCOMMAND, SC_CLOSE}, .end = End::Exits},

    // The update check: silent unless a newer version is offered.
    // The same version is offered: the check asks for nothing more.
    {.name = "RealTimerFiresOnceAfterTwentySeconds", .version = "3.2", .trigger = kRealTimer, .versionRequests = 1,
     .exeRequests = 0},
    {.name = "VersionFileMissing", .trigger = kTick, .versionRequests = 1, .exeRequests = 0},
    {.name = "GarbageVersionFile", .version = "<html><body>Service Unavailable</body></html>", .trigger = kTick,
     .exeRequests = 0},
    {.name = "OlderVersion", .installed = "v3210", .running = "v3210", .version = "3.2.0.1", .trigger = kTick,
     .exeRequests = 0},
    {.name = "RunningCopyWithoutAVersion", .running = "vnone", .version = "3.2.0.1", .trigger = kTick,
     .versionRequests = 1, .exeRequests = 0},
    {.name = "ExecutableMissing", .version = "3.2.0.1", .exe = nullptr, .trigger = kTick, .exeRequests = 1},
    // A version file that arrives a byte at a time is read whole.
    {.name = "TrickledVersionFile", .version = "3.2.0.1",
     .shape = [](HttpResponse& version, HttpResponse&) { version.trickleMs = 200; }, .trigger = kTick,
     .boxes = {Question("3.2.0.1", IDNO), kFailure}, .maxMs = 20000},

    // A newer version: the executable is asked for before the question.
    {.name = "DeclinedDownload", .version = "3.2.0.1", .trigger = kTick, .boxes = {Question("3.2.0.1", IDNO), kFailure},
     .versionRequests = 1, .exeRequests = 1},
    // Only the first 4096 bytes count: a huge valid version, which the downloaded 3.2.0.1 is not.
    {.name = "VersionFileBeyondOneRead", .version = "",
     .shape = [](HttpResponse& version, HttpResponse&) { version.body.assign(1 << 20, '7'); }, .trigger = kTick,
     .boxes = {Question(std::string(4096, '7'), IDYES), kFailure}},
    {.name = "HtmlPageInPlaceOfTheExecutable", .version = "3.2.0.1",
     .shape = [](HttpResponse&, HttpResponse& exe) { exe = {200, "text/html", "<html><body>Busy</body></html>"}; },
     .trigger = kTick, .boxes = kYesThenFailure},
    // Short of its last bytes its version resource still reads.
    {.name = "ExecutableShortOfItsLastBytes", .version = "3.2.0.1",
     .shape = [](HttpResponse&, HttpResponse& exe) { exe.body.resize(exe.body.size() - 16); }, .trigger = kTick,
     .boxes = kYesThenFailure},
    {.name = "ExecutableOfAnotherVersion", .version = "3.2.0.1", .exe = "v3210", .trigger = kTick,
     .boxes = kYesThenFailure},
    {.name = "ConnectionResetMidDownload", .version = "3.2.0.1",
     .shape = [](HttpResponse&, HttpResponse& exe) { exe.dropAfter = exe.body.size() / 3; }, .trigger = kTick,
     .boxes = kYesThenFailure},
    {.name = "BackupThatCannotBeDeleted", .held = Held::Backup, .version = "3.2.0.1", .trigger = kTick,
     .boxes = kYesThenFailure},
    {.name = "UpdatedWithoutRestart", .version = "3.2.0.1", .trigger = kTick,
     .boxes = {Question("3.2.0.1", IDYES), Success(IDNO)}, .runningAfter = "v3201", .backupAfter = "v3200"},
    // A scanner holds the program for a moment, then for good: waited out, then a failure with nothing lost.
    {.name = "ProgramHeldForAMoment", .held = Held::ImageBriefly, .version = "3.2.0.1", .trigger = kTick,
     .boxes = {Question("3.2.0.1", IDYES), Success(IDNO)}, .runningAfter = "v3201", .backupAfter = "v3200"},
    {.name = "ProgramHeldThroughout", .held = Held::Image, .version = "3.2.0.1", .trigger = kTick,
     .boxes = kYesThenFailure},
    // What another process can do to the download while it arrives, is judged and moved: read it, no more.
    {.name = "DownloadOutOfOtherProcessesReach", .intruder = true, .version = "3.2.0.1", .shape = Paced,
     .trigger = kTick, .boxes = {Question("3.2.0.1", IDYES), Success(IDNO)}, .runningAfter = "v3201",
     .backupAfter = "v3200"},
    // Staged beside the program, the swap is two renames: the running path never holds part of a file.
    {.name = "TemporaryFolderOnAnotherDrive", .otherDrive = true, .version = "3.2.0.1", .shape = Paced,
     .trigger = kTick, .boxes = {Question("3.2.0.1", IDYES), Success(IDNO)}, .runningAfter = "v3201",
     .backupAfter = "v3200"},
    {.name = "UpdatedAndRestartedFromTheInstallPath", .fromInstallPath = true, .version = "3.2.0.1", .trigger = kTick,
     .boxes = {Question("3.2.0.1", IDYES), Success(IDYES)}, .end = End::Restarts, .runningAfter = "v3201",
     .backupAfter = "v3200", .versionRequests = 1, .exeRequests = 1},
    RolledBack("ReleaseThatEndsAtStartIsRolledBack", "v3200", "v3201dies"),
    RolledBack("SignedReleaseThatEndsAtStartIsRolledBack", "v3200-vendor", "v3201dies-vendor"),
    RolledBack("ReleaseThatHangsAtStartIsRolledBackAfterTheLimit", "v3200", "v3201hangs",
               kStartLimitMs / QUOREL_TEST_LIMIT_DIVISOR),
    // The other instance goes on running from the backup.
    {.name = "UpdatedWhileAnotherInstanceRuns", .installedRuns = true, .fromInstallPath = true, .version = "3.2.0.1",
     .trigger = kTick, .boxes = {Question("3.2.0.1", IDYES), Success(IDNO)}, .runningAfter = "v3201",
     .backupAfter = "v3200"},

    // A server that stalls, trickles or stops short.
    {.name = "VersionFileNeverAnswered", .version = "3.2.0.1",
     .shape = [](HttpResponse& version, HttpResponse&) { version.stall = true; }, .trigger = kTick,
     .maxMs = Within(kAnswerLimitMs), .exeRequests = 0},
    // Headers and one byte, then silence.
    {.name = "ExecutableFallsSilentAfterYes", .version = "3.2.0.1",
     .shape = [](HttpResponse&, HttpResponse& exe) { exe.trickleMs = INFINITE; }, .trigger = kTick,
     .boxes = kYesThenFailure, .maxMs = Within(kSilenceLimitMs)},
    // Never silent for long, but no block completes within its limit.
    {.name = "ExecutableTrickled", .version = "3.2.0.1",
     .shape = [](HttpResponse&, HttpResponse& exe) { exe.trickleMs = kBlockLimitMs / QUOREL_TEST_LIMIT_DIVISOR / 15; },
     .trigger = kTick, .boxes = kYesThenFailure, .maxMs = Within(kBlockLimitMs + kBlockLimitMs / 15),
     .answersMs = 2000},
    // Larger than any release may be: announced so, then silent (refused at once, not after the silence), or
    // an endless body without a length.
    {.name = "ExecutableAnnouncedBeyondTheLimit", .version = "3.2.0.1",
     .shape = [](HttpResponse&, HttpResponse& exe) { exe.contentLength = kMaxExecutableBytes + 1; exe.trickleMs = INFINITE; },
     .trigger = kTick, .boxes = kYesThenFailure, .maxMs = kSilenceLimitMs / QUOREL_TEST_LIMIT_DIVISOR},
    {.name = "EndlessExecutable", .version = "3.2.0.1",
     .shape = [](HttpResponse&, HttpResponse& exe) { exe.endless = true; }, .trigger = kTick, .boxes = kYesThenFailure},
    // Announced longer than sent, then closed cleanly: the whole image, yet short of its announcement.
    {.name = "ExecutableShorterThanAnnounced", .version = "3.2.0.1",
     .shape = [](HttpResponse&, HttpResponse& exe) { exe.contentLength = exe.body.size() * 2; }, .trigger = kTick,
     .boxes = kYesThenFailure},

    // Self-installation and the shortcuts.
    {.name = "FirstRunInstallsAndHandsOver", .installed = nullptr, .placed = false, .end = End::HandsOver,
     .links = true, .versionRequests = 0},
    {.name = "NewerCopyReplacesTheInstalledOne", .placed = false, .quickLaunch = false, .running = "v3201",
     .end = End::HandsOver, .links = true},
    {.name = "InstalledCopyWithoutAVersionIsReplaced", .installed = "vnone", .placed = false, .end = End::HandsOver,
     .links = true},
    // Shortcuts name the installed copy, never a running copy's own name.
    {.name = "SameVersionRenamedStaysAndNamesTheInstalledCopy", .placed = false, .groups = true,
     .fileName = "Zelmora-Setup (2).exe", .links = true},
    // The second byte of 乗 is the backslash byte.
    {.name = "OlderCopyWithACodePageName", .installed = "v3201", .placed = false, .fileName = "乗Quorel.exe",
     .links = true},
    {.name = "RunningCopyWithoutAVersionLeavesTheInstalledOne", .placed = false, .running = "vnone", .links = true},
    // Installed without a version, the installed copy must not reinstall itself for ever; shortcuts wait for
    // an installed copy with a version.
    {.name = "CopyWithoutAVersionInstallsOnce", .installed = nullptr, .placed = false, .running = "vnone",
     .end = End::HandsOver},
    {.name = "PathOf257Characters", .installed = nullptr, .placed = false, .running = "v3201",
     .fileName = "*\\Quorel.exe", .end = End::HandsOver, .links = true},
    {.name = "RenamedCopyIsInstalledAsQuorel", .installed = nullptr, .placed = false, .running = "v3201",
     .fileName = "Zelmora-Setup (2).exe", .end = End::HandsOver, .links = true},
    // The command line names a file that does not exist: no image was read, so none is installed, and
    // the shortcuts name the installed copy.
    {.name = "UnreadableImageOlderInstalled", .placed = false, .running = "v3201", .commandLine = "\"%s-else.exe\"",
     .links = true},
    {.name = "CommonAppDataLookupFails", .installed = nullptr, .placed = false, .commonAppData = "",
     .running = "v3201"},
    {.name = "InstallPathBeyondMaxPath", .installed = nullptr, .placed = false, .commonAppData = "long",
     .running = "v3201"},
    // A folder no one may write in: nothing can be installed, so this copy stays the user's.
    {.name = "UnwritableInstallFolderKeepsTheCopyOpen", .installed = nullptr, .placed = false,
     .commonAppData = "Z:\\proc", .running = "v3201"},
    // It cannot replace the running installed copy, nor one held by another process: it starts nothing.
    {.name = "RunningInstalledCopyStaysWhole", .installedRuns = true, .running = "v3201"},
    {.name = "HeldInstalledCopyWithoutAVersionStaysWhole", .installed = "vnone", .held = Held::Installed,
     .running = "v3201-vendor"},
    {.name = "InstalledCopyPlacesShortcutsWithoutQuickLaunch", .placed = false, .quickLaunch = false,
     .fromInstallPath = true, .commandLine = "%s", .links = true},

    // Signed copies accept only their own publisher.
    Accepted("SignedTakesItsPublishersUpdate", "v3201-vendor"),
    Accepted("SignedTakesItsPublishersRenewedCertificate", "v3201-renewed"),
    Refused("SignedRefusesAnUnsignedUpdate", "v3201"),
    Refused("SignedRefusesAnotherPublisher", "v3201-other"),
    Refused("SignedRefusesASelfMadeCopyOfItsPublishersName", "v3201-impostor"),
    Refused("SignedRefusesItsPublishersNameFromAnUntrustedAuthority", "v3201-forged"),
    // A byte of the code changed after signing.
    Refused("SignedRefusesAnUpdateChangedAfterSigning", "v3201-vendor",
            [](HttpResponse&, HttpResponse& exe) { exe.body[0x2000] ^= 1; }),
    {.name = "SignedInstalledCopyStaysForAnUnsignedNewerOne", .installed = "v3200-vendor", .running = "v3201"},
    {.name = "SignedInstalledCopyStaysForAnotherPublisher", .installed = "v3200-vendor", .running = "v3201-other"},
    {.name = "SignedInstalledCopyGivesWayToItsPublisher", .installed = "v3200-vendor", .running = "v3201-renewed",
     .end = End::HandsOver},

    // An update server over https: its certificate must chain to a trusted root, and its answers stay on https.
    {.name = "UpdatedOverHttps", .installed = "v3200s", .running = "v3200s", .fromInstallPath = true,
     .version = "3.2.0.1", .exe = "v3201s", .trigger = kTick, .boxes = {Question("3.2.0.1", IDYES), Success(IDYES)},
     .end = End::Restarts, .runningAfter = "v3201s", .backupAfter = "v3200s", .versionRequests = 1, .exeRequests = 1},
    {.name = "FailureOverHttpsNamesTheHttpsHomePage", .running = "v3200s", .version = "3.2.0.1", .trigger = kTick,
     .boxes = {Question("3.2.0.1", IDNO), {QUOREL_FAILURE_CAPTION, QUOREL_FAILURE_BEFORE "https://" QUOREL_TLS_HOST
     QUOREL_FAILURE_AFTER, "question", "OK", IDOK}}},
    {.name = "UntrustedCertificateEndsTheCheckSilently", .running = "v3200u", .version = "3.2.0.1", .trigger = kTick,
     .versionRequests = 0, .exeRequests = 0},
    {.name = "RedirectFromHttpsToHttpIsRefused", .running = "v3200s", .version = "3.2.0.1",
     .redirect = "/plain/update.txt", .trigger = kTick, .versionRequests = 1, .exeRequests = 0},
};
// clang-format on

class Scenarios : public ::testing::TestWithParam<Scenario>
{};

TEST_P(Scenarios, Run)
{
    RunScenario(GetParam());
}

INSTANTIATE_TEST_SUITE_P(Quorel, Scenarios, ::testing::ValuesIn(kScenarios),
                         [](const ::testing::TestParamInfo<Scenario>& info) { return std::string(info.param.name); });

}  // namespace
