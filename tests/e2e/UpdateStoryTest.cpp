// The installed shell finds 3.2.0.1 on the update server and the user answers its questions.
#include "e2e/Story.h"

#include "support/InstallState.h"
#include "support/Paths.h"
#include "support/WindowFinder.h"

namespace {

HttpResponse Executable(const char* variant)
{
    return HttpResponse{200, "application/octet-stream", "", ReadWholeFile(VariantExe(variant))};
}

}  // namespace

using UpdateStory = Story;

TEST_F(UpdateStory, AcceptedUpdateRestartsIntoTheNewVersionFromTheInstallPath)
{
    OfferUpdate("3.2.0.1", Executable("v3201"));
    const Shell old = FirstRun("v3200");
    ASSERT_TRUE(old.window);

    FireUpdateTimer(old);
    std::string question;
    ASSERT_TRUE(Answer(old.pid, kQuestionCaption, IDYES, &question));
    EXPECT_EQ("新版本 3.2.0.1 现在可用，是否下载更新？", question);
    ASSERT_TRUE(Answer(old.pid, kSuccessCaption, IDYES));

    EXPECT_TRUE(WaitForProcessExit(old.pid, kWaitMs)) << "the old process still runs";
    DWORD restarted = 0;
    ASSERT_TRUE(WaitForProcessOfImage(InstalledExe(), kWaitMs, &restarted, old.pid));
    EXPECT_TRUE(WaitForWindow(kMainCaption, "#32770", kWaitMs, restarted));
    EXPECT_TRUE(server->WaitFor(WebAppTarget("3.2.0.1"), kWaitMs));

    EXPECT_TRUE(SameImage(InstalledExe(), "v3201"));
    EXPECT_TRUE(SameImage(InstallFolder() + "OldExecutable.bak", "v3200"));
    EXPECT_TRUE(NewTempEntries().empty()) << NewTempEntries().front();

    HttpRequest versionRequest;
    HttpRequest exeRequest;
    ASSERT_TRUE(server->WaitFor("/update/update.txt", 0, &versionRequest));
    ASSERT_TRUE(server->WaitFor("/update/Quorel.exe", 0, &exeRequest));
    EXPECT_EQ("AutoUpdateAgent", versionRequest.Header("User-Agent"));
    EXPECT_EQ("AutoUpdateAgent", exeRequest.Header("User-Agent"));
}

TEST_F(UpdateStory, DeclinedUpdateShowsTheFailureBoxAndChangesNothing)
{
    OfferUpdate("3.2.0.1", Executable("v3201"));
    const Shell shell = FirstRun("v3200");
    ASSERT_TRUE(shell.window);

    FireUpdateTimer(shell);
    ASSERT_TRUE(Answer(shell.pid, kQuestionCaption, IDNO));
    std::string failure;
    ASSERT_TRUE(Answer(shell.pid, kFailureCaption, IDOK, &failure));
    EXPECT_EQ("对不起，更新失败！请手动至http://" QUOREL_TEST_HOST "下载更新程序。", failure);

    ASSERT_TRUE(Settled(shell.window));
    EXPECT_TRUE(IntactInstalledShell(shell, "v3200"));
    EXPECT_TRUE(FindWindows(kSuccessCaption, "#32770", shell.pid, false).empty());
    EXPECT_TRUE(NewTempEntries().empty()) << NewTempEntries().front();
    EXPECT_EQ(1u, ProcessesWithImage(InstalledExe()).size());
}
