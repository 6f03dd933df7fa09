#include "update/UpdateResult.h"
#include "support/Files.h"
#include "support/HttpServer.h"
#include "support/Paths.h"
#include "support/Process.h"
#include "support/WindowFinder.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

namespace {

const DWORD kTimeoutMs = 60000;
const char kBackupName[] = "OldExecutable.bak";

std::string HostExe(bool withVersion)
{
    return WinPath(withVersion ? UPDATE_HOST_EXE : UPDATE_HOST_NOVERSION_EXE);
}

std::string Question(const std::string& version)
{
    return "新版本 " + version + " 现在可用，是否下载更新？";
}

// Held the way a running image is: others may read and write it, but neither delete nor move it.
using HeldFile = std::unique_ptr<void, BOOL(WINAPI*)(HANDLE)>;
HeldFile Hold(const std::string& path)
{
    return HeldFile(CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_ALWAYS,
                                FILE_ATTRIBUTE_NORMAL, nullptr),
                    CloseHandle);
}

// A throwaway copy of the host facing its own loopback update server. Its name is unique to the test, and so
// is its download target in the temporary folder.
class UpdateProcedure : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(server.Ok());
        newer = ReadWholeFile(VariantExe("v3201"));
        ASSERT_FALSE(newer.empty());
        name = std::string("Zelmora-") + ::testing::UnitTest::GetInstance()->current_test_info()->name() + ".exe";
        exePath = folder.File(name);
        Place();
    }

    void TearDown() override
    {
        child.Kill();
        DeleteFileA(DownloadTarget().c_str());
    }

    // A fresh copy of the host, with no backup beside it and no download left.
    void Place(bool withVersion = true)
    {
        hostBytes = ReadWholeFile(HostExe(withVersion));
        DeleteFileA(folder.File(kBackupName).c_str());
        DeleteFileA(DownloadTarget().c_str());
        ASSERT_TRUE(CopyTo(HostExe(withVersion), exePath));
    }

    std::string ExeTarget() const { return "/update/" + name; }
    std::string DownloadTarget() const { return TempFolder() + name; }

    void Offer(const std::string& version, const std::string& exe, size_t dropAfter = SIZE_MAX, int versionStatus = 200,
               int exeStatus = 200)
    {
        server.Set("/update/update.txt", HttpResponse{versionStatus, "text/plain", "", version});
        HttpResponse response{exeStatus, "application/octet-stream", "", exe};
        response.dropAfter = dropAfter;
        server.Set(ExeTarget(), response);
    }

    void Start(const char* mode = "run")
    {
        server.ClearRequests();
        ASSERT_TRUE(child.Start(exePath, "\"" + exePath + "\" " + mode + " " + server.Url("/update/"), folder.Path()));
    }

    // The procedure's result; -1 while the host waits (for instance for an answer).
    int Result() { return child.WaitExit(kTimeoutMs) ? static_cast<int>(child.ExitCode()) : -1; }

    HWND WaitForQuestion() { return WaitForWindow("有新版更新", "#32770", kTimeoutMs, child.Pid()); }

    HttpServer server;
    TempDir folder;
    ChildProcess child;
    std::string name;
    std::string exePath;
    std::string hostBytes;
    std::string newer;
};

TEST_F(UpdateProcedure, EndsWithoutAskingUnlessANewerVersionIsOffered)
{
    const struct {
        const char* what;
        const char* mode;
        bool withVersion;
        int versionStatus;
        const char* version;
        int exeStatus;
        int result;
        size_t versionRequests;
        size_t exeRequests;
    } cases[] = {
        {"no session", "nosession", true, 200, "3.2.0.1", 200, UpdateNotConnected, 0, 0},
        {"version file missing", "run", true, 404, "<html>Not Found</html>", 200, UpdateUrlNotOpened, 1, 0},
        {"empty version file", "run", true, 200, "", 200, UpdateVersionFileUnread, 1, 0},
        {"3.3 and a line break", "run", true, 200, "3.3\r\n", 200, UpdateNotNewer, 1, 0},
        {"the same version", "run", true, 200, "3.2", 200, UpdateNotNewer, 1, 0},
        {"an older version", "run", true, 200, "3.1.9.9", 200, UpdateNotNewer, 1, 0},
        {"five components", "run", true, 200, "3.2.0.1.0", 200, UpdateNotNewer, 1, 0},
        {"running copy without a version", "run", false, 200, "3.2.0.1", 200, UpdateNoLocalVersion, 1, 0},
        {"executable missing", "run", true, 200, "3.2.0.1", 404, UpdateUrlNotOpened, 1, 1},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        Place(c.withVersion);
        Offer(c.version, newer, SIZE_MAX, c.versionStatus, c.exeStatus);
        Start(c.mode);
        // A question would keep the host waiting: ending at all means none was asked.
        EXPECT_EQ(c.result, Result());
        EXPECT_EQ(c.versionRequests, server.Count("/update/update.txt"));
        EXPECT_EQ(c.exeRequests, server.Count(ExeTarget()));
        EXPECT_TRUE(ReadWholeFile(exePath) == hostBytes) << "the running executable changed";
        EXPECT_FALSE(FileExists(folder.File(kBackupName)));
        EXPECT_FALSE(FileExists(DownloadTarget()));
    }
}

TEST_F(UpdateProcedure, OnlyAWholeExecutableOfTheOfferedVersionIsSwappedIn)
{
    enum Held { kNothing, kBackup, kDownload };
    // Each run finds the backup of an earlier update beside the running copy.
    const std::string earlier = "the image the previous process still runs from";
    const struct {
        const char* what;
        std::string version;
        std::string bytes;
        size_t dropAfter;
        Held held;
        int answer;
        int result;
        std::string backupAfter;
    } cases[] = {
        {"declined", "3.2.0.1", newer, SIZE_MAX, kNothing, IDNO, UpdateNotInstalled, earlier},
        {"a version file beyond one read", std::string(6000, '7'), newer, SIZE_MAX, kNothing, IDNO,
         UpdateNotInstalled, earlier},
        {"a valid newer executable", "3.2.0.1", newer, SIZE_MAX, kNothing, IDYES, UpdateInstalled, hostBytes},
        {"an HTML page", "3.2.0.1", "<html>Server busy</html>", SIZE_MAX, kNothing, IDYES, UpdateTransferFailed,
         earlier},
        // Short of its last bytes, its version resource still reads.
        {"a truncated executable", "3.2.0.1", newer.substr(0, newer.size() - 16), SIZE_MAX, kNothing, IDYES,
         UpdateTransferFailed, earlier},
        {"another version", "3.2.0.1", ReadWholeFile(VariantExe("v3210")), SIZE_MAX, kNothing, IDYES,
         UpdateTransferFailed, earlier},
        {"a download cut off midway", "3.2.0.1", newer, newer.size() / 2, kNothing, IDYES, UpdateTransferFailed,
         earlier},
        {"a backup that cannot be deleted", "3.2.0.1", newer, SIZE_MAX, kBackup, IDYES, UpdateNotInstalled, earlier},
        // The download can be written but not moved: the running path is restored.
        {"a second move that fails", "3.2.0.1", newer, SIZE_MAX, kDownload, IDYES, UpdateNotInstalled, ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        Place();
        ASSERT_TRUE(WriteWholeFile(folder.File(kBackupName), earlier));
        HeldFile held(c.held == kBackup ? Hold(folder.File(kBackupName))
                                        : c.held == kDownload ? Hold(DownloadTarget()) : HeldFile(nullptr, CloseHandle));
        ASSERT_NE(INVALID_HANDLE_VALUE, held.get());
        Offer(c.version, c.bytes, c.dropAfter);
        Start();
        HWND box = WaitForQuestion();
        ASSERT_NE(nullptr, box);
        // The executable, under the running file's own name, was asked for before the question.
        const std::vector<HttpRequest> requests = server.Requests();
        ASSERT_EQ(2u, requests.size());
        EXPECT_EQ("/update/update.txt", requests[0].target);
        EXPECT_EQ(ExeTarget(), requests[1].target);
        // The version shown is what one read of at most 4096 bytes received, and nothing beyond it.
        EXPECT_EQ(Question(c.version.substr(0, 4096)), MessageBoxText(box));
        ASSERT_TRUE(PressButton(box, c.answer));

        EXPECT_EQ(c.result, Result());
        held.reset();
        // Only the test's own handle kept that one from being deleted.
        if (c.held == kDownload)
            DeleteFileA(DownloadTarget().c_str());
        EXPECT_TRUE(ReadWholeFile(exePath) == (c.result == UpdateInstalled ? newer : hostBytes));
        EXPECT_TRUE(ReadWholeFile(folder.File(kBackupName)) == c.backupAfter);
        EXPECT_FALSE(FileExists(DownloadTarget()));
    }
}

TEST(AgentLifetime, AgentIsDestroyedBeforeTheApplicationObject)
{
    TempDir folder;
    const std::string log = folder.File("order.log");
    ChildProcess host;
    ASSERT_TRUE(host.Start(HostExe(true), "\"" + HostExe(true) + "\" order \"" + log + "\""));
    ASSERT_TRUE(host.WaitExit(kTimeoutMs));
    EXPECT_EQ(0u, host.ExitCode());
    EXPECT_EQ("agent session closed\n", ReadWholeFile(log));
}

}
