// An update server that is broken or hostile: the user meets at most a question and a failure box,
// and the running program, the installed copy and the temporary folder stay as they were.
#include "e2e/Story.h"

#include "support/InstallState.h"
#include "support/Paths.h"
#include "support/WindowFinder.h"

namespace {

// What the user meets after the update timer.
enum class Meets {
    Nothing,            // the run ends silently
    QuestionThenFailure // the question, answered Yes, then the failure box
};

enum class VersionFile { Newer, Missing, Garbage, MegabyteOfDigits };
enum class Executable { Newer, Missing, HtmlPage, Truncated, OtherVersion, DroppedMidway };

struct ServerCase {
    const char* name;
    VersionFile versionFile;
    Executable executable;
    Meets meets;
    bool asksForExecutable;
};

const ServerCase kCases[] = {
    {"VersionFileMissing", VersionFile::Missing, Executable::Newer, Meets::Nothing, false},
    {"ExecutableMissing", VersionFile::Newer, Executable::Missing, Meets::Nothing, true},
    {"HtmlPageInPlaceOfTheExecutable", VersionFile::Newer, Executable::HtmlPage, Meets::QuestionThenFailure, true},
    {"TruncatedExecutable", VersionFile::Newer, Executable::Truncated, Meets::QuestionThenFailure, true},
    {"ExecutableOfAnotherVersion", VersionFile::Newer, Executable::OtherVersion, Meets::QuestionThenFailure, true},
    {"ConnectionDroppedMidDownload", VersionFile::Newer, Executable::DroppedMidway, Meets::QuestionThenFailure, true},
    {"GarbageVersionFile", VersionFile::Garbage, Executable::Newer, Meets::Nothing, false},
    // Only the first 4096 digits count: a huge but valid version, which the downloaded 3.2.0.1 is not.
    {"MegabyteOfDigitsInTheVersionFile", VersionFile::MegabyteOfDigits, Executable::Newer,
     Meets::QuestionThenFailure, true},
};

HttpResponse Text(int status, const std::string& body)
{
    return HttpResponse{status, "text/plain", "", body};
}

HttpResponse Answering(VersionFile kind)
{
    switch (kind) {
    case VersionFile::Newer:
        return Text(200, "3.2.0.1");
    case VersionFile::Missing:
        return Text(404, "not found");
    case VersionFile::Garbage:
        return Text(200, "<html><body>Service Unavailable</body></html>");
    case VersionFile::MegabyteOfDigits:
        return Text(200, std::string(1 << 20, '7'));
    }
    return Text(500, "");
}

HttpResponse Answering(Executable kind)
{
    const std::string newer = ReadWholeFile(VariantExe("v3201"));
    HttpResponse exe{200, "application/octet-stream", "", newer};
    switch (kind) {
    case Executable::Newer:
        break;
    case Executable::Missing:
        return Text(404, "not found");
    case Executable::HtmlPage:
        return HttpResponse{200, "text/html", "", "<html><body><h1>Welcome</h1></body></html>"};
    case Executable::Truncated:
        exe.body.resize(newer.size() / 2);
        break;
    case Executable::OtherVersion:
        exe.body = ReadWholeFile(VariantExe("v3210"));
        break;
    case Executable::DroppedMidway:
        exe.dropAfter = newer.size() / 3;
        break;
    }
    return exe;
}

class HostileServer : public Story, public ::testing::WithParamInterface<size_t> {};

}  // namespace

TEST_P(HostileServer, LeavesTheProgramIntactAndTheTemporaryFolderClean)
{
    const ServerCase& c = kCases[GetParam()];
    server->Set("/update/update.txt", Answering(c.versionFile));
    server->Set("/update/Quorel.exe", Answering(c.executable));
    const Shell shell = FirstRun("v3200");
    ASSERT_TRUE(shell.window);

    FireUpdateTimer(shell);
    ASSERT_TRUE(server->WaitFor("/update/update.txt", kWaitMs));
    if (c.meets == Meets::QuestionThenFailure) {
        ASSERT_TRUE(Answer(shell.pid, kQuestionCaption, IDYES));
        ASSERT_TRUE(Answer(shell.pid, kFailureCaption, IDOK));
    }
    // Between its waits on the server the run answers sent messages: settled only after its last request.
    if (c.asksForExecutable) {
        ASSERT_TRUE(server->WaitFor("/update/Quorel.exe", kWaitMs));
    }
    ASSERT_TRUE(Settled(shell.window));
    EXPECT_TRUE(FindWindows(kQuestionCaption, "#32770", shell.pid, false).empty());
    EXPECT_TRUE(FindWindows(kSuccessCaption, "#32770", shell.pid, false).empty());
    EXPECT_TRUE(FindWindows(kFailureCaption, "#32770", shell.pid, false).empty());

    EXPECT_EQ(c.asksForExecutable ? 1u : 0u, server->Count("/update/Quorel.exe"));
    EXPECT_TRUE(IntactInstalledShell(shell, "v3200"));
    EXPECT_TRUE(NewTempEntries().empty()) << NewTempEntries().front();
}

INSTANTIATE_TEST_SUITE_P(Cases, HostileServer, ::testing::Range<size_t>(0, sizeof(kCases) / sizeof(kCases[0])),
                         [](const ::testing::TestParamInfo<size_t>& info) { return kCases[info.param].name; });
