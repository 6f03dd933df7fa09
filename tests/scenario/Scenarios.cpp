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
constexpr auto Paced = [](HttpResponse&, HttpResponse& exe) {
    exe.trickleMs = 50;
    exe.trickleBytes = 8192;
};
// Slow as a poor line is, never long silent: the download lasts some seconds.
constexpr auto Slow = [](HttpResponse&, HttpResponse& exe) {
    exe.trickleMs = 150;
    exe.trickleBytes = 4096;
};

// clang-format off
const char kReadOnly[] = "chmod a-w Quorelware", kSticky[] = "chmod a+w,+t Quorelware && chown -R nobody Quorelware";  // its owner may rename in it
// 3.2.0.1 offered on the tick and taken: updated, it runs on without a restart; otherwise its download fails.
Scenario Taken(Scenario row)
{
    row.version = "3.2.0.1";
    row.trigger = kTick;
    row.boxes = {Question("3.2.0.1", IDYES), row.after == After::Updated ? Success(IDNO) : kFailure};
    return row;
}
// The installed copy takes that 3.2.0.1 and restarts into it.
Scenario Restarted(const char* name, const Variant& installed, const Variant& exe)
{
    return {.name = name, .installed = installed, .running = installed, .fromInstallPath = true, .version = "3.2.0.1",
            .exe = exe, .trigger = kTick, .boxes = {Question("3.2.0.1", IDYES), Success(IDYES)}, .end = End::Restarts,
            .after = After::Updated, .versionRequests = 1, .exeRequests = 1};
}
// A release that passes every check but does not come up: after the restart the closing copy puts its
// own program back, starts it and reports the failure, no sooner than the limit for a release that hangs.
Scenario RolledBack(const char* name, const Variant& installed, const Variant& exe, DWORD limitMs = 0)
{
    Scenario row = Restarted(name, installed, exe);
    row.boxes.push_back(kFailure);
    row.boxes.back().notBeforeMs = limitMs;
    row.answersMs = limitMs ? 2000 : 0;
    row.after = After::RolledBack;
    row.log = "rollback to the previous program: done";
    return row;
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
    // A stranger's DLL beside the installed copy never loads, not even for the check.
    {.name = "PlantedDllNeverLoads", .plantedDll = true, .fromInstallPath = true, .version = "3.2", .trigger = kTick,
     .versionRequests = 1, .exeRequests = 0},
    {.name = "VersionFileMissing", .trigger = kTick, .versionRequests = 1, .exeRequests = 0},
    {.name = "GarbageVersionFile", .version = "<html><body>Service Unavailable</body></html>", .trigger = kTick,
     .exeRequests = 0},
    {.name = "OlderVersion", .installed = kV3210, .running = kV3210, .version = "3.2.0.1", .trigger = kTick,
     .exeRequests = 0},
    {.name = "RunningCopyWithoutAVersion", .running = kVNone, .version = "3.2.0.1", .trigger = kTick,
     .versionRequests = 1, .exeRequests = 0},
    {.name = "ExecutableMissing", .version = "3.2.0.1", .exe = kNoCopy, .trigger = kTick, .exeRequests = 1},
    // A version file that arrives a byte at a time is read whole.
    {.name = "TrickledVersionFile", .version = "3.2.0.1",
     .shape = [](HttpResponse& version, HttpResponse&) { version.trickleMs = 200; }, .trigger = kTick,
     .boxes = {Question("3.2.0.1", IDNO), kFailure}, .maxMs = 20000},

    // A newer version: the executable is asked for before the question.
    {.name = "DeclinedDownload", .version = "3.2.0.1", .trigger = kTick, .boxes = {Question("3.2.0.1", IDNO), kFailure},
     .versionRequests = 1, .exeRequests = 1, .log = "question: declined by the user"},
    // Only the first 4096 bytes count: a huge valid version, which the downloaded 3.2.0.1 is not.
    {.name = "VersionFileBeyondOneRead", .version = "",
     .shape = [](HttpResponse& version, HttpResponse&) { version.body.assign(1 << 20, '7'); }, .trigger = kTick,
     .boxes = {Question(std::string(4096, '7'), IDYES), kFailure}},
    Taken({.name = "HtmlPageInPlaceOfTheExecutable",
           .shape = [](HttpResponse&, HttpResponse& exe) { exe = {200, "text/html", "<html><body>Busy</body></html>"}; }}),
    // Short of its last bytes its version resource still reads.
    Taken({.name = "ExecutableShortOfItsLastBytes",
           .shape = [](HttpResponse&, HttpResponse& exe) { exe.body.resize(exe.body.size() - 16); }}),
    Taken({.name = "ExecutableOfAnotherVersion", .exe = kV3210}),
    Taken({.name = "ConnectionResetMidDownload",
           .shape = [](HttpResponse&, HttpResponse& exe) { exe.dropAfter = exe.body.size() / 3; }}),
    Taken({.name = "BackupThatCannotBeDeleted", .held = Held::Backup}),
    Taken({.name = "UpdatedWithoutRestart", .after = After::Updated}),
    // The download shows itself, and the user can stop it.
    Taken({.name = "SlowDownloadCancelled", .shape = Slow, .progress = Progress::Cancelled,
           .log = "download: cancelled by the user"}),
    Taken({.name = "SlowDownloadLeftToFinish", .shape = Slow, .progress = Progress::Watched, .after = After::Updated}),
    Taken({.name = "SlowDownloadWithoutALength",
           .shape = [](HttpResponse& version, HttpResponse& exe) { Slow(version, exe); exe.unannounced = true; },
           .progress = Progress::Watched, .after = After::Updated}),
    // A scanner holds the program for a moment, then for good: waited out, then a failure with nothing lost.
    Taken({.name = "ProgramHeldForAMoment", .held = Held::ImageBriefly, .after = After::Updated}),
    Taken({.name = "ProgramHeldThroughout", .held = Held::Image}),
    // Another process takes the program's path between the swap's two renames and holds it: waited out,
    // or the program goes back over it; the session may not end meanwhile.
    Taken({.name = "PathTakenBetweenTheRenamesForAMoment", .held = Held::GapBriefly, .after = After::Updated}),
    Taken({.name = "PathTakenBetweenTheRenamesPastTheRetries", .held = Held::GapPastRetries}),
    // What another process can do to the download while it arrives, is judged and moved: read it, no more.
    Taken({.name = "DownloadOutOfOtherProcessesReach", .intruder = true, .shape = Paced, .after = After::Updated}),
    // Staged beside the program, the swap is two renames: the running path never holds part of a file.
    Taken({.name = "TemporaryFolderOnAnotherDrive", .otherDrive = true, .shape = Paced, .after = After::Updated}),
    Restarted("UpdatedAndRestartedFromTheInstallPath", kV3200, kV3201),
    RolledBack("ReleaseThatEndsAtStartIsRolledBack", kV3200, kV3201Dies),
    RolledBack("SignedReleaseThatEndsAtStartIsRolledBack", kV3200Vendor, kV3201DiesVendor),
    RolledBack("ReleaseThatHangsAtStartIsRolledBackAfterTheLimit", kV3200, kV3201Hangs,
               kStartLimitMs / QUOREL_TEST_LIMIT_DIVISOR),
    RolledBack("ReleaseThatEndsWithoutAWindowIsRolledBack", kV3200, kV3201Quits),
    RolledBack("ReleaseThatDiesAfterItsWindowShowedIsRolledBack", kV3200, kV3201Fades),
    // Restarted outside the install folder, the release installs itself and hands over to the installed copy.
    [] { Scenario row = Restarted("RestartHandedOverToTheInstalledRelease", kV3200, kV3201);
         row.fromInstallPath = false; return row; }(),
    // The other instance goes on running from the backup.
    Taken({.name = "UpdatedWhileAnotherInstanceRuns", .installedRuns = true, .fromInstallPath = true,
           .after = After::Updated}),

    // A server that stalls, trickles or stops short.
    {.name = "VersionFileNeverAnswered", .version = "3.2.0.1",
     .shape = [](HttpResponse& version, HttpResponse&) { version.stall = true; }, .trigger = kTick,
     .maxMs = Within(kAnswerLimitMs), .exeRequests = 0},
    // Headers and one byte, then silence.
    Taken({.name = "ExecutableFallsSilentAfterYes",
           .shape = [](HttpResponse&, HttpResponse& exe) { exe.trickleMs = INFINITE; },
           .maxMs = Within(kSilenceLimitMs), .log = "(timeout)"}),
    // Never silent for long, but no block completes within its limit.
    Taken({.name = "ExecutableTrickled",
           .shape = [](HttpResponse&, HttpResponse& exe) { exe.trickleMs = kBlockLimitMs / QUOREL_TEST_LIMIT_DIVISOR / 15; },
           .maxMs = Within(kBlockLimitMs + kBlockLimitMs / 15), .answersMs = 2000}),
    // Larger than any release may be: announced so, then silent (refused at once, not after the silence), or
    // an endless body without a length.
    Taken({.name = "ExecutableAnnouncedBeyondTheLimit",
           .shape = [](HttpResponse&, HttpResponse& exe) { exe.contentLength = kMaxExecutableBytes + 1;
                                                           exe.trickleMs = INFINITE; },
           .maxMs = kSilenceLimitMs / QUOREL_TEST_LIMIT_DIVISOR}),
    Taken({.name = "EndlessExecutable", .shape = [](HttpResponse&, HttpResponse& exe) { exe.endless = true; }}),
    // Announced longer than sent, then closed cleanly: the whole image, yet short of its announcement.
    Taken({.name = "ExecutableShorterThanAnnounced",
           .shape = [](HttpResponse&, HttpResponse& exe) { exe.contentLength = exe.body.size() * 2; }}),

    // Self-installation and the shortcuts.
    {.name = "FirstRunInstallsAndHandsOver", .installed = kNoCopy, .end = End::HandsOver, .links = true, .versionRequests = 0},
    {.name = "NewerCopyReplacesTheInstalledOne", .placed = false, .quickLaunch = false, .running = kV3201,
     .end = End::HandsOver, .links = true},
    {.name = "InstalledCopyWithoutAVersionIsReplaced", .installed = kVNone, .placed = false, .end = End::HandsOver,
     .links = true},
    // Shortcuts name the installed copy, never a running copy's own name.
    {.name = "SameVersionRenamedStaysAndNamesTheInstalledCopy", .placed = false, .groups = true,
     .fileName = "Zelmora-Setup (2).exe", .links = true},
    // The second byte of 乗 is the backslash byte.
    {.name = "OlderCopyWithACodePageName", .installed = kV3201, .placed = false, .fileName = "乗Quorel.exe",
     .links = true},
    {.name = "RunningCopyWithoutAVersionLeavesTheInstalledOne", .placed = false, .running = kVNone, .links = true},
    // Installed without a version, the installed copy must not reinstall itself for ever; shortcuts wait for
    // an installed copy with a version.
    {.name = "CopyWithoutAVersionInstallsOnce", .installed = kNoCopy, .running = kVNone, .end = End::HandsOver},
    {.name = "PathOf257Characters", .installed = kNoCopy, .running = kV3201,
     .fileName = "*\\Quorel.exe", .end = End::HandsOver, .links = true},
    {.name = "RenamedCopyIsInstalledAsQuorel", .installed = kNoCopy, .running = kV3201,
     .fileName = "Zelmora-Setup (2).exe", .end = End::HandsOver, .links = true},
    // The command line names a file that does not exist: no image was read, so none is installed, and
    // the shortcuts name the installed copy.
    {.name = "UnreadableImageOlderInstalled", .placed = false, .running = kV3201, .commandLine = "\"%s-else.exe\"",
     .links = true},
    {.name = "CommonAppDataLookupFails", .installed = kNoCopy, .commonAppData = "", .running = kV3201},
    {.name = "InstallPathBeyondMaxPath", .installed = kNoCopy, .commonAppData = "long", .running = kV3201},
    // A folder no one may write in: nothing can be installed, so this copy stays the user's.
    {.name = "UnwritableInstallFolderKeepsTheCopyOpen", .installed = kNoCopy, .commonAppData = "Z:\\proc", .running = kV3201},
    // It cannot replace the running installed copy, nor one held by another process: it starts nothing.
    {.name = "RunningInstalledCopyStaysWhole", .installedRuns = true, .running = kV3201},
    {.name = "HeldInstalledCopyWithoutAVersionStaysWhole", .installed = kVNone, .held = Held::Installed,
     .running = kV3201Vendor},
    // The install folder is every user's way to the program: an open one is closed, a link is never used.
    {.name = "OpenInstallFolderIsClosedToOtherUsers", .installFolder = InstallDir::Open},
    {.name = "LinkedInstallFolderIsNeverUsed", .placed = false, .installFolder = InstallDir::Linked, .running = kV3201},
    {.name = "NoShortcutsToAnUnsignedNewerInstalledCopy", .installed = kV3201, .placed = false,
     .running = kV3200Vendor},
    {.name = "StagedLeftoversGoUnlessHeld", .leftovers = true, .fromInstallPath = true},
    {.name = "InstalledCopyPlacesShortcutsWithoutQuickLaunch", .placed = false, .quickLaunch = false,
     .fromInstallPath = true, .commandLine = "%s", .links = true},

    // A user who is not the installer, run only where file permissions bind: what cannot land is never offered,
    // and nothing waits on access denied. Wine opens the program for DELETE where its rename is refused.
    {.name = "NotTheInstallerWithAReadOnlyFolderIsNeverAsked", .unixScript = kReadOnly, .fromInstallPath = true,
     .version = "3.2.0.1", .trigger = kTick, .maxMs = 5000, .exeRequests = 0},
    {.name = "NotTheInstallerWithAReadOnlyFolderKeepsANewerCopyOpen", .unixScript = kReadOnly, .running = kV3201, .maxMs = 2000},
    {.name = "NotTheInstallerWhoCannotRenameTheProgramFailsAtOnce", .unixScript = kSticky, .fromInstallPath = true,
     .version = "3.2.0.1", .trigger = kTick, .boxes = {Question("3.2.0.1", IDYES), {kFailure.caption, kFailure.text,
     "question", "OK", IDOK, 0, 2000}}},
    {.name = "NotTheInstallerWhoCannotRenameTheInstalledCopyKeepsANewerCopyOpen", .unixScript = kSticky, .running = kV3201,
     .maxMs = 2000},
    // Signed copies accept only their own publisher.
    Restarted("SignedTakesItsPublishersUpdate", kV3200Vendor, kV3201Vendor),
    Restarted("SignedTakesItsPublishersRenewedCertificate", kV3200Vendor, kV3201Renewed),
    // The release folder that scripts/release.sh made, served as it stands.
    Restarted("SignedTakesTheReleaseMadeByTheReleaseCommand", kV3200Vendor, kV3201Released),
    // A log that cannot be written changes nothing.
    [] { Scenario row = Restarted("UpdatedAndRestartedWithAnUnwritableLog", kV3200, kV3201);
         row.logBlocked = true; return row; }(),
    // A signed 3.2.0.0 offered another copy of 3.2.0.1: it fails as a broken download would.
    Taken({.name = "SignedRefusesAnUnsignedUpdate", .running = kV3200Vendor, .exe = kV3201}),
    Taken({.name = "SignedRefusesAnotherPublisher", .running = kV3200Vendor, .exe = kV3201Other,
           .log = "refused, rule: publisher"}),
    Taken({.name = "SignedRefusesASelfMadeCopyOfItsPublishersName", .running = kV3200Vendor, .exe = kV3201Impostor}),
    Taken({.name = "SignedRefusesItsPublishersNameFromAnUntrustedAuthority", .running = kV3200Vendor, .exe = kV3201Forged}),
    // A byte of the code changed after signing.
    Taken({.name = "SignedRefusesAnUpdateChangedAfterSigning", .running = kV3200Vendor, .exe = kV3201Vendor,
           .shape = [](HttpResponse&, HttpResponse& exe) { exe.body[0x2000] ^= 1; }}),
    {.name = "SignedInstalledCopyStaysForAnUnsignedNewerOne", .installed = kV3200Vendor, .running = kV3201},
    {.name = "SignedInstalledCopyStaysForAnotherPublisher", .installed = kV3200Vendor, .running = kV3201Other},
    {.name = "SignedInstalledCopyGivesWayToItsPublisher", .installed = kV3200Vendor, .running = kV3201Renewed,
     .end = End::HandsOver},

    // An update server over https: its certificate must chain to a trusted root, and its answers stay on https.
    Restarted("UpdatedOverHttps", kV3200Https, kV3201Https),
    {.name = "FailureOverHttpsNamesTheHttpsHomePage", .running = kV3200Https, .version = "3.2.0.1", .trigger = kTick,
     .boxes = {Question("3.2.0.1", IDNO), {QUOREL_FAILURE_CAPTION, QUOREL_FAILURE_BEFORE "https://" QUOREL_TLS_HOST
     QUOREL_FAILURE_AFTER, "question", "OK", IDOK}}},
    {.name = "UntrustedCertificateEndsTheCheckSilently", .running = kV3200Untrusted, .version = "3.2.0.1", .trigger = kTick,
     .versionRequests = 0, .exeRequests = 0},
    {.name = "RedirectFromHttpsToHttpIsRefused", .running = kV3200Https, .version = "3.2.0.1",
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
