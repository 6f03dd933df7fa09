// Two instances of the installed shell at once: both run, both check for the update, and neither
// corrupts the installed copy.
#include "e2e/Story.h"

#include "support/InstallState.h"
#include "support/Paths.h"
#include "support/WindowFinder.h"

using TwoInstances = Story;

TEST_F(TwoInstances, BothRunAndNeitherCorruptsTheInstalledCopy)
{
    server->Set("/update/update.txt", HttpResponse{200, "text/plain", "", "3.2.0.1"});
    server->Set("/update/Quorel.exe",
                HttpResponse{200, "application/octet-stream", "", ReadWholeFile(VariantExe("v3201"))});
    const Shell first = FirstRun("v3200");
    ASSERT_TRUE(first.window);
    ChildProcess again;
    const Shell second = StartInstalledAgain(again);
    ASSERT_TRUE(second.window);

    EXPECT_NE(first.window, second.window);
    EXPECT_EQ(2u, ProcessesWithImage(InstalledExe()).size());
    EXPECT_TRUE(SameImage(InstalledExe(), "v3200"));
    EXPECT_TRUE(server->WaitForCount(WebAppTarget("3.2"), 3, kWaitMs));

    // The first one updates and is told not to restart.
    FireUpdateTimer(first);
    ASSERT_TRUE(Answer(first.pid, kQuestionCaption, IDYES));
    ASSERT_TRUE(Answer(first.pid, kSuccessCaption, IDNO));
    ASSERT_TRUE(Settled(first.window));
    EXPECT_TRUE(SameImage(InstalledExe(), "v3201"));

    // The second one still runs the 3.2.0.0 image, whose version the platform reports for its own path, so
    // it is offered the update as well. Its swap would have to replace the backup, the image both processes
    // run from: that fails, the user is told, and the installed 3.2.0.1 stays whole.
    FireUpdateTimer(second);
    std::string question;
    ASSERT_TRUE(Answer(second.pid, kQuestionCaption, IDYES, &question));
    EXPECT_EQ("新版本 3.2.0.1 现在可用，是否下载更新？", question);
    ASSERT_TRUE(Answer(second.pid, kFailureCaption, IDOK));
    ASSERT_TRUE(Settled(second.window));
    EXPECT_EQ(2u, server->Count("/update/Quorel.exe"));

    EXPECT_FALSE(WaitForProcessExit(first.pid, 0)) << "the first instance ended";
    EXPECT_FALSE(WaitForProcessExit(second.pid, 0)) << "the second instance ended";
    EXPECT_TRUE(IsWindowVisible(first.window));
    EXPECT_TRUE(IsWindowVisible(second.window));
    EXPECT_TRUE(SameImage(InstalledExe(), "v3201"));
    EXPECT_TRUE(SameImage(InstallFolder() + "OldExecutable.bak", "v3200"));
    EXPECT_TRUE(NewTempEntries().empty()) << NewTempEntries().front();
}
