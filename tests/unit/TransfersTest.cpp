// The agent's transfers against the loopback server, in this test program.
#include <gtest/gtest.h>

#include "framework/AfxHandles.h"
#include "support/Files.h"
#include "support/HttpServer.h"
#include "update/UpdateAgent.h"
#include "update/UpdateTexts.h"

namespace {

std::string Pattern(size_t size)
{
    std::string data(size, '\0');
    for (size_t i = 0; i < size; ++i)
        data[i] = static_cast<char>('A' + (i * 7 + i / 26) % 26);
    return data;
}

TEST(OpenRemote, OpensOnlySuccessFromTheServerAndLeavesTheCanonicalAddress)
{
    HttpServer server;
    CUpdateAgent agent;
    const std::string tooLong = server.Url("/" + std::string(1100, 'a'));
    struct Case
    {
        std::string address;
        std::string canonical;
        bool opens;
    };
    std::vector<Case> cases = {{"http://127.0.0.1:1/no server.txt", "http://127.0.0.1:1/no%20server.txt", false},
                               {tooLong, tooLong, false}};  // no canonical form fits: nothing is opened
    for (int status : {200, 204, 299, 300, 403, 404, 500}) {
        HttpResponse page{status, "text/html", "<html/>"};
        server.SetPrefix("/" + std::to_string(status), page);
        cases.push_back({server.Url("/" + std::to_string(status) + " page"),
                         server.Url("/" + std::to_string(status) + "%20page"), status < 300});
    }
    for (int round = 0; round < 2; ++round) {  // the second round must not come from a cache
        for (const Case& c : cases) {
            SCOPED_TRACE(c.canonical.substr(0, 60));
            CString url(c.address.c_str());
            CInternetHandle request(agent.OpenRemote(url));
            EXPECT_EQ(c.opens, bool(request));
            EXPECT_EQ(c.canonical, static_cast<const char*>(url));
            char page[16];
            while (request && agent.ReadChunk(request.Get(), page, sizeof page)) {
            }
        }
    }
    EXPECT_EQ(14u, server.Requests().size());
    for (const HttpRequest& r : server.Requests()) {
        EXPECT_EQ(kAgentName, r.Header("User-Agent"));
        EXPECT_TRUE(r.Header("Pragma").empty() || r.Header("Pragma") == "no-cache");
        EXPECT_TRUE(r.Header("Cache-Control").empty() || r.Header("Cache-Control") == "no-cache");
    }
}

TEST(SaveRemoteToFile, WholeBodiesOnlyAndAtEveryBlockEdge)
{
    HttpServer server;
    CUpdateAgent agent;
    TempDir folder;
    const struct
    {
        size_t size;
        size_t dropAfter;
        const char* into;  // "missing": a missing folder; "full": a device with no space
        bool saved;
    } cases[] = {
        {0, SIZE_MAX, "", true},
        {1, SIZE_MAX, "", true},
        {4096, SIZE_MAX, "", true},
        {4097, SIZE_MAX, "", true},
        {100000, SIZE_MAX, "", true},
        {20000, 9000, "", false},
        {3000, SIZE_MAX, "missing", false},
        {10000, SIZE_MAX, "full", false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << c.size << " bytes, cut after " << c.dropAfter << " into " << c.into);
        HttpResponse file{200, "application/octet-stream", Pattern(c.size)};
        file.dropAfter = c.dropAfter;
        server.SetPrefix("/file", file);
        CString url(server.Url("/file").c_str());
        CInternetHandle request(agent.OpenRemote(url));
        ASSERT_TRUE(request);
        const std::string id = std::to_string(c.size);
        const std::string path = *c.into == 'f' ? "Z:\\dev\\full" : folder.File(*c.into ? "missing\\" + id : id);
        // A longer file is already there: it is replaced, not overwritten in place.
        ASSERT_TRUE(*c.into || WriteWholeFile(path, std::string(9000, 'o')));

        EXPECT_EQ(c.saved, agent.SaveRemoteToFile(request.Get(), path.c_str()));
        const std::string saved = ReadWholeFile(path);
        if (*c.into == 'm') {
            // Nothing was read: the body is still there from its start.
            char start[64];
            ASSERT_TRUE(agent.ReadChunk(request.Get(), start, sizeof start));
            EXPECT_EQ(file.body.substr(0, sizeof start), std::string(start, sizeof start));
        } else if (!*c.into) {
            EXPECT_TRUE(c.saved ? saved == file.body : saved.size() < file.body.size());
            EXPECT_EQ(file.body.substr(0, saved.size()), saved) << "the part received stays";
        }
    }
}

// The server's hostile behaviours, seen by a client that bounds its wait.
TEST(HttpServer, StallsTricklesAndAnnouncesMoreThanItSends)
{
    HttpServer server;
    HttpResponse stalled;
    stalled.stall = true;
    HttpResponse trickled{200, "text/plain", "abc"};
    trickled.trickleMs = 300;
    HttpResponse announced{200, "text/plain", "half"};
    announced.contentLength = 8;
    server.SetPrefix("/stall", stalled);
    server.SetPrefix("/trickle", trickled);
    server.SetPrefix("/short", announced);
    const struct
    {
        const char* target;
        bool answered;
        const char* body;
        DWORD atLeastMs;
    } cases[] = {{"/stall", false, "", 1900}, {"/trickle", true, "abc", 600}, {"/short", true, "half", 0}};
    CInternetHandle session(InternetOpenA("probe", INTERNET_OPEN_TYPE_DIRECT, nullptr, nullptr, 0));
    CInternetHandle connection(
        InternetConnectA(session.Get(), "127.0.0.1", server.Port(), nullptr, nullptr, INTERNET_SERVICE_HTTP, 0, 0));
    for (const auto& c : cases) {
        SCOPED_TRACE(c.target);
        const DWORD start = GetTickCount();
        CInternetHandle request(
            HttpOpenRequestA(connection.Get(), "GET", c.target, nullptr, nullptr, nullptr, INTERNET_FLAG_RELOAD, 0));
        DWORD timeoutMs = 2000;
        InternetSetOptionA(request.Get(), INTERNET_OPTION_RECEIVE_TIMEOUT, &timeoutMs, sizeof timeoutMs);
        EXPECT_EQ(c.answered, HttpSendRequestA(request.Get(), nullptr, 0, nullptr, 0) != FALSE);
        std::string body;
        char buffer[16];
        for (DWORD read = 1; c.answered && InternetReadFile(request.Get(), buffer, sizeof buffer, &read) && read;)
            body.append(buffer, read);
        EXPECT_EQ(c.body, body);
        EXPECT_GE(GetTickCount() - start, c.atLeastMs);
    }
}

}  // namespace
