#include "update/UpdateResult.h"
#include "support/Files.h"
#include "support/HttpServer.h"
#include "support/Paths.h"
#include "support/Process.h"
#include "support/WindowFinder.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

const DWORD kRunTimeoutMs = 60000;
const DWORD kBoxTimeoutMs = 30000;
const char kBackupName[] = "OldExecutable.bak";
const char kQuestionCaption[] = "有新版更新";

std::string HostExe(bool withVersion)
{
    return WinPath(withVersion ? UPDATE_HOST_EXE : UPDATE_HOST_NOVERSION_EXE);
}

std::string Question(const std::string& version)
{
    return "新版本 " + version + " 现在可用，是否下载更新？";
}

// A file held open the way a running image or a scanner holds it: readable and writable by others,
// but neither deletable nor movable.
class HeldFile {
public:
    explicit HeldFile(const std::string& path)
        : handle_(CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_ALWAYS,
                              FILE_ATTRIBUTE_NORMAL, nullptr))
    {
    }
    ~HeldFile() { Release(); }
    HeldFile(const HeldFile&) = delete;
    HeldFile& operator=(const HeldFile&) = delete;
    bool Ok() const { return handle_ != INVALID_HANDLE_VALUE; }
    void Release()
    {
        if (handle_ != INVALID_HANDLE_VALUE)
            CloseHandle(handle_);
        handle_ = INVALID_HANDLE_VALUE;
    }

private:
    HANDLE handle_;
};

// One throwaway copy of the host program, facing its own loopback update server. The copy's file name is
// unique to the test, so the download target in the temporary folder is the test's own too.
class UpdateProcedure : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(server.Ok());
        newer = ReadWholeFile(VariantExe("v3201"));
        ASSERT_FALSE(newer.empty());
        PlaceHost(std::string("Zelmora-") + ::testing::UnitTest::GetInstance()->current_test_info()->name() + ".exe");
    }

    void TearDown() override
    {
        child.Kill();
        DeleteFileA(DownloadTarget().c_str());
    }

    void PlaceHost(const std::string& fileName, bool withVersion = true)
    {
        if (!name.empty())
            DeleteFileA(DownloadTarget().c_str());
        name = fileName;
        exePath = folder.File(name);
        hostBytes = ReadWholeFile(HostExe(withVersion));
        ASSERT_FALSE(hostBytes.empty());
        DeleteFileA(folder.File(kBackupName).c_str());
        ASSERT_TRUE(CopyTo(HostExe(withVersion), exePath));
        DeleteFileA(DownloadTarget().c_str());
    }

    std::string ExeTarget() const { return "/update/" + name; }
    std::string DownloadTarget() const { return TempFolder() + name; }

    void OfferVersion(const std::string& text) { server.Set("/update/update.txt", HttpResponse{200, "text/plain", "", text}); }
    void OfferExecutable(const std::string& bytes, size_t dropAfter = SIZE_MAX)
    {
        HttpResponse response{200, "application/octet-stream", "", bytes};
        response.dropAfter = dropAfter;
        server.Set(ExeTarget(), response);
    }

    void Start(const char* mode = "run")
    {
        server.ClearRequests();
        ASSERT_TRUE(child.Start(exePath, "\"" + exePath + "\" " + mode + " " + server.Url("/update/"), folder.Path()));
    }

    // The procedure's result; -1 when the host did not end (for instance because a box waits for an answer).
    int Result()
    {
        if (!child.WaitExit(kRunTimeoutMs))
            return -1;
        return static_cast<int>(child.ExitCode());
    }

    HWND WaitForQuestion() { return WaitForWindow(kQuestionCaption, "#32770", kBoxTimeoutMs, child.Pid()); }

    void Answer(int button)
    {
        HWND box = WaitForQuestion();
        ASSERT_NE(nullptr, box);
        ASSERT_TRUE(PressButton(box, button));
    }

    // The running copy is exactly the host that was placed, with no backup beside it and nothing left in
    // the temporary folder.
    void ExpectUntouched()
    {
        EXPECT_TRUE(ReadWholeFile(exePath) == hostBytes) << "the running executable changed";
        EXPECT_FALSE(FileExists(folder.File(kBackupName)));
        EXPECT_FALSE(FileExists(DownloadTarget()));
    }

    HttpServer server;
    TempDir folder;
    ChildProcess child;
    std::string name;
    std::string exePath;
    std::string hostBytes;
    std::string newer;
};

TEST_F(UpdateProcedure, WithoutASessionNothingIsRequested)
{
    OfferVersion("3.2.0.1");
    OfferExecutable(newer);
    Start("nosession");
    EXPECT_EQ(UpdateNotConnected, Result());
    EXPECT_TRUE(server.Requests().empty());
    ExpectUntouched();
}

TEST_F(UpdateProcedure, MissingVersionFileIsAnAddressNotOpened)
{
    server.Set("/update/update.txt", HttpResponse{404, "text/html", "", "<html><body>Not Found</body></html>"});
    OfferExecutable(newer);
    Start();
    EXPECT_EQ(UpdateUrlNotOpened, Result());
    EXPECT_EQ(1u, server.Count("/update/update.txt"));
    EXPECT_EQ(0u, server.Count(ExeTarget()));
    ExpectUntouched();
}

TEST_F(UpdateProcedure, EmptyVersionFileIsUnread)
{
    OfferVersion("");
    OfferExecutable(newer);
    Start();
    EXPECT_EQ(UpdateVersionFileUnread, Result());
    EXPECT_EQ(0u, server.Count(ExeTarget()));
    ExpectUntouched();
}

TEST_F(UpdateProcedure, VersionsThatAreNotNewerOrNotValidEndQuietly)
{
    OfferExecutable(newer);
    const char* versions[] = {"3.2", "3.2.0.0", "3.1.9.9", "1", "0.0.0.1", "3.3\r\n", "3.3\n", "v3.3", "3.2.0.1.0"};
    for (const char* version : versions) {
        SCOPED_TRACE(version);
        OfferVersion(version);
        Start();
        // A question would keep the host waiting: ending at all means none was asked.
        EXPECT_EQ(UpdateNotNewer, Result());
        EXPECT_EQ(1u, server.Count("/update/update.txt"));
        EXPECT_EQ(0u, server.Count(ExeTarget()));
        ExpectUntouched();
    }
}

TEST_F(UpdateProcedure, RunningCopyWithoutVersionStopsAfterTheVersionFile)
{
    PlaceHost(name, false);
    OfferVersion("3.2.0.1");
    OfferExecutable(newer);
    Start();
    EXPECT_EQ(UpdateNoLocalVersion, Result());
    EXPECT_EQ(1u, server.Count("/update/update.txt"));
    EXPECT_EQ(0u, server.Count(ExeTarget()));
    ExpectUntouched();
}

TEST_F(UpdateProcedure, DeclinedDownloadWritesNothing)
{
    OfferVersion("3.2.0.1");
    OfferExecutable(newer);
    Start();
    HWND box = WaitForQuestion();
    ASSERT_NE(nullptr, box);
    EXPECT_EQ(Question("3.2.0.1"), MessageBoxText(box));
    EXPECT_NE(nullptr, GetDlgItem(box, IDYES));
    EXPECT_NE(nullptr, GetDlgItem(box, IDNO));
    // The executable was already asked for when the question appeared.
    EXPECT_EQ(1u, server.Count(ExeTarget()));
    ASSERT_TRUE(PressButton(box, IDNO));
    EXPECT_EQ(UpdateNotInstalled, Result());
    ExpectUntouched();
}

TEST_F(UpdateProcedure, AcceptedNewerExecutableIsSwappedIn)
{
    OfferVersion("3.2.0.1");
    OfferExecutable(newer);
    Start();
    Answer(IDYES);
    EXPECT_EQ(UpdateInstalled, Result());
    EXPECT_TRUE(ReadWholeFile(exePath) == newer) << "the new executable is not at the running path";
    EXPECT_TRUE(ReadWholeFile(folder.File(kBackupName)) == hostBytes) << "the backup is not the previous image";
    EXPECT_FALSE(FileExists(DownloadTarget()));
    EXPECT_EQ(2u, ListFolder(folder.Path()).size());
}

TEST_F(UpdateProcedure, BackupIsReplacedByTheNextSwap)
{
    ASSERT_TRUE(WriteWholeFile(folder.File(kBackupName), "an image two updates old"));
    OfferVersion("3.2.0.1");
    OfferExecutable(newer);
    Start();
    Answer(IDYES);
    EXPECT_EQ(UpdateInstalled, Result());
    EXPECT_TRUE(ReadWholeFile(folder.File(kBackupName)) == hostBytes);
}

TEST_F(UpdateProcedure, UnusableDownloadsAreNeverSwappedIn)
{
    const std::string otherVersion = ReadWholeFile(VariantExe("v3210"));
    ASSERT_FALSE(otherVersion.empty());
    const struct {
        const char* what;
        std::string bytes;
        size_t dropAfter;
    } cases[] = {
        {"an HTML page", "<html><head><title>Server busy</title></head><body>Try again later</body></html>", SIZE_MAX},
        {"the first half of the executable", newer.substr(0, newer.size() / 2), SIZE_MAX},
        {"the executable short of its last bytes", newer.substr(0, newer.size() - 16), SIZE_MAX},
        {"an executable of another version", otherVersion, SIZE_MAX},
        {"a download cut off midway", newer, newer.size() / 2},
        {"a download cut off near its end", newer, newer.size() - 100},
    };
    OfferVersion("3.2.0.1");
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        PlaceHost(name);
        OfferExecutable(c.bytes, c.dropAfter);
        Start();
        Answer(IDYES);
        EXPECT_EQ(UpdateTransferFailed, Result());
        EXPECT_EQ(1u, server.Count(ExeTarget()));
        ExpectUntouched();
    }
}

TEST_F(UpdateProcedure, ExecutableMissingOnTheServerIsNotAsked)
{
    OfferVersion("3.2.0.1");
    server.Set(ExeTarget(), HttpResponse{404, "text/html", "", "<html><body>Not Found</body></html>"});
    Start();
    EXPECT_EQ(UpdateUrlNotOpened, Result());
    EXPECT_EQ(1u, server.Count(ExeTarget()));
    ExpectUntouched();
}

TEST_F(UpdateProcedure, BackupThatCannotBeDeletedMovesNothing)
{
    const std::string backup = folder.File(kBackupName);
    ASSERT_TRUE(WriteWholeFile(backup, "the image the previous process still runs from"));
    HeldFile held(backup);
    ASSERT_TRUE(held.Ok());
    OfferVersion("3.2.0.1");
    OfferExecutable(newer);
    Start();
    Answer(IDYES);
    EXPECT_EQ(UpdateNotInstalled, Result());
    held.Release();
    EXPECT_TRUE(ReadWholeFile(exePath) == hostBytes);
    EXPECT_EQ("the image the previous process still runs from", ReadWholeFile(backup));
    EXPECT_FALSE(FileExists(DownloadTarget()));
}

TEST_F(UpdateProcedure, FailedSecondMoveRestoresTheRunningPath)
{
    // The download target can be written but not moved away while this handle is open.
    HeldFile held(DownloadTarget());
    ASSERT_TRUE(held.Ok());
    OfferVersion("3.2.0.1");
    OfferExecutable(newer);
    Start();
    Answer(IDYES);
    EXPECT_EQ(UpdateNotInstalled, Result());
    held.Release();
    EXPECT_TRUE(ReadWholeFile(exePath) == hostBytes) << "the running path was not restored";
    EXPECT_FALSE(FileExists(folder.File(kBackupName)));
}

TEST_F(UpdateProcedure, OnlyTheBytesReceivedFormTheServerVersion)
{
    // The version file fills the whole read; the text must end with the bytes received.
    OfferVersion(std::string(6000, '7'));
    OfferExecutable(newer);
    Start();
    HWND box = WaitForQuestion();
    ASSERT_NE(nullptr, box);
    const std::string text = MessageBoxText(box);
    const std::string head = "新版本 ";
    const std::string tail = " 现在可用，是否下载更新？";
    ASSERT_GT(text.size(), head.size() + tail.size());
    EXPECT_EQ(head, text.substr(0, head.size()));
    EXPECT_EQ(tail, text.substr(text.size() - tail.size()));
    const std::string version = text.substr(head.size(), text.size() - head.size() - tail.size());
    EXPECT_LE(version.size(), 4096u);
    EXPECT_EQ(std::string(version.size(), '7'), version);
    ASSERT_TRUE(PressButton(box, IDNO));
    EXPECT_EQ(UpdateNotInstalled, Result());
}

TEST_F(UpdateProcedure, ExecutableIsRequestedUnderTheRunningFilesOwnName)
{
    OfferVersion("3.2.0.1");
    const char* names[] = {"Quorel-renamed.exe", "zelmora.exe"};
    for (const char* fileName : names) {
        SCOPED_TRACE(fileName);
        PlaceHost(fileName);
        OfferExecutable(newer);
        Start();
        Answer(IDNO);
        EXPECT_EQ(UpdateNotInstalled, Result());
        std::vector<HttpRequest> requests = server.Requests();
        ASSERT_EQ(2u, requests.size());
        EXPECT_EQ("/update/update.txt", requests[0].target);
        EXPECT_EQ(std::string("/update/") + fileName, requests[1].target);
    }
}

TEST(AgentLifetime, AgentIsDestroyedBeforeTheApplicationObject)
{
    TempDir folder;
    const std::string log = folder.File("order.log");
    ChildProcess host;
    ASSERT_TRUE(host.Start(HostExe(true), "\"" + HostExe(true) + "\" order \"" + log + "\""));
    ASSERT_TRUE(host.WaitExit(kRunTimeoutMs));
    EXPECT_EQ(0u, host.ExitCode());
    EXPECT_EQ("app destroyed, agent session closed\n", ReadWholeFile(log));
}

}
