#include "support/Files.h"
#include "support/HttpServer.h"
#include "support/InstallState.h"
#include "support/Process.h"
#include "support/ShellLinks.h"
#include "support/WindowFinder.h"

#include <gtest/gtest.h>
#include <wininet.h>

#include <algorithm>
#include <future>

namespace {

class InternetHandle {
public:
    explicit InternetHandle(HINTERNET h) : handle_(h) {}
    ~InternetHandle() { if (handle_) InternetCloseHandle(handle_); }
    InternetHandle(const InternetHandle&) = delete;
    InternetHandle& operator=(const InternetHandle&) = delete;
    HINTERNET Get() const { return handle_; }

private:
    HINTERNET handle_;
};

struct Fetched {
    bool opened = false;
    bool readOk = true;
    DWORD status = 0;
    std::string body;
};

Fetched Fetch(const std::string& url, const char* agent = "SupportAgent")
{
    Fetched result;
    InternetHandle session(InternetOpenA(agent, INTERNET_OPEN_TYPE_PRECONFIG, nullptr, nullptr, 0));
    InternetHandle request(InternetOpenUrlA(session.Get(), url.c_str(), nullptr, 0,
                                            INTERNET_FLAG_RELOAD | INTERNET_FLAG_NO_CACHE_WRITE |
                                            INTERNET_FLAG_PRAGMA_NOCACHE, 0));
    if (!request.Get())
        return result;
    result.opened = true;
    DWORD size = sizeof(result.status);
    HttpQueryInfoA(request.Get(), HTTP_QUERY_STATUS_CODE | HTTP_QUERY_FLAG_NUMBER, &result.status, &size, nullptr);
    char buffer[4096];
    for (;;) {
        DWORD read = 0;
        if (!InternetReadFile(request.Get(), buffer, sizeof(buffer), &read)) {
            result.readOk = false;
            result.body.append(buffer, read);
            break;
        }
        if (read == 0)
            break;
        result.body.append(buffer, read);
    }
    return result;
}

std::string BinaryBody(size_t size)
{
    std::string body(size, '\0');
    for (size_t i = 0; i < size; ++i)
        body[i] = static_cast<char>((i * 7 + i / 251) & 0xFF);
    return body;
}

TEST(HttpServer, ServesExactBytesAndRecordsTheRequest)
{
    HttpServer server;
    ASSERT_TRUE(server.Ok());
    HttpResponse response;
    response.contentType = "application/octet-stream";
    response.body = BinaryBody(5000);
    server.Set("/bin/a.exe?x=1", response);

    Fetched got = Fetch(server.Url("/bin/a.exe?x=1"));
    EXPECT_TRUE(got.opened);
    EXPECT_TRUE(got.readOk);
    EXPECT_EQ(200u, got.status);
    EXPECT_EQ(response.body, got.body);

    HttpRequest seen;
    ASSERT_TRUE(server.WaitFor("/bin/a.exe?x=1", 5000, &seen));
    EXPECT_EQ("GET", seen.method);
    EXPECT_EQ("GET /bin/a.exe?x=1 HTTP/1.1", seen.requestLine);
    EXPECT_EQ("SupportAgent", seen.Header("user-agent"));
    EXPECT_EQ(server.Host(), seen.Header("Host"));
    EXPECT_EQ(1u, server.Count("/bin/a.exe?x=1"));
}

TEST(HttpServer, AnswersByExactTargetThenLongestPrefixThen404)
{
    HttpServer server;
    ASSERT_TRUE(server.Ok());
    HttpResponse empty;
    server.Set("/update/update.txt", empty);
    HttpResponse prefix;
    prefix.body = "prefix";
    server.SetPrefix("/update/", prefix);
    HttpResponse longer;
    longer.status = 500;
    longer.body = "longer";
    server.SetPrefix("/update/x", longer);

    struct Row { const char* target; DWORD status; const char* body; } rows[] = {
        {"/update/update.txt", 200, ""},
        {"/update/Quorel.exe", 200, "prefix"},
        {"/update/xyz", 500, "longer"},
        {"/elsewhere", 404, nullptr},
    };
    for (const Row& row : rows) {
        Fetched got = Fetch(server.Url(row.target));
        EXPECT_EQ(row.status, got.status) << row.target;
        if (row.body) {
            EXPECT_EQ(row.body, got.body) << row.target;
        }
    }
    EXPECT_EQ(3u, server.CountPrefix("/update/"));
}

TEST(HttpServer, DropAfterCutsTheTransferShort)
{
    HttpServer server;
    ASSERT_TRUE(server.Ok());
    HttpResponse response;
    response.body = BinaryBody(100000);
    response.dropAfter = 10000;
    server.Set("/cut", response);

    Fetched got = Fetch(server.Url("/cut"));
    EXPECT_TRUE(got.opened);
    EXPECT_EQ(200u, got.status);
    EXPECT_FALSE(got.readOk);
    EXPECT_LE(got.body.size(), 10000u);
    EXPECT_EQ(response.body.substr(0, got.body.size()), got.body);
}

TEST(HttpServer, DelayMsSlowsTheBody)
{
    HttpServer server;
    ASSERT_TRUE(server.Ok());
    HttpResponse response;
    response.body = BinaryBody(3000);
    response.delayMs = 150;
    server.Set("/slow", response);

    DWORD start = GetTickCount();
    Fetched got = Fetch(server.Url("/slow"));
    EXPECT_GE(GetTickCount() - start, 400u);
    EXPECT_EQ(response.body, got.body);
}

TEST(HttpServer, FixedPortIsReusableButNotShared)
{
    unsigned short port = 0;
    {
        HttpServer first;
        ASSERT_TRUE(first.Ok());
        port = first.Port();
        first.Set("/x", HttpResponse());
        EXPECT_EQ(200u, Fetch(first.Url("/x")).status);
    }
    HttpServer again(port);
    ASSERT_TRUE(again.Ok());
    EXPECT_EQ(port, again.Port());
    EXPECT_EQ(404u, Fetch(again.Url("/x")).status);
    HttpServer rival(port);
    EXPECT_FALSE(rival.Ok());
}

TEST(WindowFinder, FindsAMessageBoxAndPressesItsButton)
{
    const char caption[] = "支持测试";
    const char text[] = "要下载新版本吗？";
    std::future<int> answer = std::async(std::launch::async, [&] {
        return MessageBoxA(nullptr, text, caption, MB_YESNO | MB_ICONQUESTION);
    });

    HWND box = WaitForWindow(caption, "#32770", 10000, GetCurrentProcessId());
    ASSERT_NE(nullptr, box);
    EXPECT_EQ(text, MessageBoxText(box));
    EXPECT_TRUE(FindWindows(caption, "#32770", GetCurrentProcessId() + 1).empty());
    EXPECT_TRUE(PressButton(box, IDNO));
    EXPECT_TRUE(WaitForWindowGone(box, 10000));
    ASSERT_EQ(std::future_status::ready, answer.wait_for(std::chrono::seconds(10)));
    EXPECT_EQ(IDNO, answer.get());
}

TEST(Process, FindsAndKillsAChildByImageAndWindow)
{
    char windows[MAX_PATH] = "";
    GetWindowsDirectoryA(windows, sizeof(windows));
    TempDir dir;
    const std::string exe = dir.File("Quorel.exe");
    ASSERT_TRUE(CopyTo(std::string(windows) + "\\system32\\notepad.exe", exe));
    ChildProcess child;
    ASSERT_TRUE(child.Start(exe, "", dir.Path()));
    EXPECT_TRUE(child.Running());
    EXPECT_EQ(0, lstrcmpiA(exe.c_str(), ProcessImage(child.Pid()).c_str()));
    DWORD pid = 0;
    EXPECT_TRUE(WaitForProcessOfImage(exe, 10000, &pid));
    EXPECT_EQ(child.Pid(), pid);
    EXPECT_FALSE(WaitForProcessOfImage(exe, 200, nullptr, child.Pid()));
    EXPECT_NE(nullptr, WaitForWindow(nullptr, "Notepad", 10000, child.Pid()));

    KillQuorelProcesses();
    EXPECT_TRUE(child.WaitExit(5000));
    EXPECT_TRUE(WaitForProcessExit(pid, 5000));
    EXPECT_TRUE(ProcessesWithImage(exe).empty());
}

TEST(Process, SeesItsOwnImage)
{
    char self[MAX_PATH] = "";
    GetModuleFileNameA(nullptr, self, sizeof(self));
    std::vector<DWORD> pids = ProcessesWithImage(self);
    EXPECT_NE(pids.end(), std::find(pids.begin(), pids.end(), GetCurrentProcessId()));
}

TEST(ShellLinks, ReadsBackAWrittenLink)
{
    TempDir dir;
    const std::string lnk = dir.File(" Zelmora.lnk");
    const std::string target = "C:\\ProgramData\\Quorelware\\试衣间.exe";
    ASSERT_TRUE(WriteLink(lnk, target, "-x \"y\""));
    LinkInfo info = ReadLink(lnk);
    EXPECT_TRUE(info.ok);
    EXPECT_EQ(target, info.path);
    EXPECT_EQ("-x \"y\"", info.arguments);
    EXPECT_FALSE(ReadLink(dir.File("missing.lnk")).ok);
}

TEST(Files, TempDirRemovesItsTree)
{
    std::string path;
    {
        TempDir dir;
        path = dir.Path();
        ASSERT_TRUE(DirExists(path));
        EXPECT_EQ('\\', path.back());
        ASSERT_TRUE(MakeDirs(path + "a\\b"));
        ASSERT_TRUE(WriteWholeFile(path + "a\\b\\f.bin", std::string("x\0y", 3)));
        EXPECT_EQ(std::string("x\0y", 3), ReadWholeFile(path + "a\\b\\f.bin"));
        SetFileAttributesA((path + "a\\b\\f.bin").c_str(), FILE_ATTRIBUTE_READONLY);
    }
    EXPECT_FALSE(DirExists(path));
    EXPECT_EQ("Z:\\tmp\\a b\\c.exe", WinPath("/tmp/a b/c.exe"));
    EXPECT_EQ("C:\\x", WinPath("C:\\x"));
}

TEST(InstallState, ShortcutsNameSevenLinksMarkerFirst)
{
    ShortcutPaths paths = Shortcuts();
    std::vector<std::string> links = paths.Links();
    ASSERT_EQ(7u, links.size());
    EXPECT_EQ(MarkerLink(), links.front());
    EXPECT_EQ(InstallFolder() + " Zelmora.lnk", MarkerLink());
    EXPECT_EQ(paths.commonGroup + " Zelmora.lnk", paths.commonPrograms);
    for (const std::string& link : links)
        EXPECT_EQ(" Zelmora.lnk", link.substr(link.size() - 12)) << link;
    EXPECT_EQ("C:\\ProgramData\\Quorelware\\Quorel.exe", InstalledExe());
}

}  // namespace
