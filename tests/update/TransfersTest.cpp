#include "update/UpdateAgent.h"
#include "support/Files.h"
#include "support/HttpServer.h"

#include <gtest/gtest.h>

#include <string>

// The import slot through which this program, the agent included, reaches the platform's function.
#ifdef _WIN64
extern "C" void* g_connectedStateSlot __asm__("__imp_InternetGetConnectedState");
#else
extern "C" void* g_connectedStateSlot __asm__("__imp__InternetGetConnectedState@8");
#endif

namespace {

void* g_realConnectedState;
int g_connectedQueries;

BOOL WINAPI CountingConnectedState(LPDWORD flags, DWORD reserved)
{
    ++g_connectedQueries;
    return reinterpret_cast<BOOL(WINAPI*)(LPDWORD, DWORD)>(g_realConnectedState)(flags, reserved);
}

void SetConnectedStateSlot(void* value)
{
    DWORD old = 0;
    VirtualProtect(&g_connectedStateSlot, sizeof(void*), PAGE_READWRITE, &old);
    g_connectedStateSlot = value;
    VirtualProtect(&g_connectedStateSlot, sizeof(void*), old, &old);
}

std::string Pattern(size_t size)
{
    std::string data(size, '\0');
    for (size_t i = 0; i < size; ++i)
        data[i] = static_cast<char>('A' + (i * 7 + i / 26) % 26);
    return data;
}

class Transfers : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(server.Ok()); }

    // Scripts the target and opens it; the caller closes the request.
    HINTERNET Serve(const std::string& target, const std::string& body, size_t dropAfter = SIZE_MAX,
                    const std::string& headers = "")
    {
        HttpResponse response{200, "application/octet-stream", headers, body};
        response.dropAfter = dropAfter;
        server.Set(target, response);
        CString url(server.Url(target).c_str());
        return agent.OpenRemote(url);
    }

    HttpServer server;
    CUpdateAgent agent;
    TempDir folder;
};

TEST(AgentSession, WithoutASessionTheConnectionIsNeverQueried)
{
    CUpdateAgent agent;
    ASSERT_NE(nullptr, agent.m_hSession);
    g_realConnectedState = g_connectedStateSlot;
    SetConnectedStateSlot(reinterpret_cast<void*>(&CountingConnectedState));
    g_connectedQueries = 0;
    const bool connected = agent.HasConnection();
    const int queriesWithSession = g_connectedQueries;
    InternetCloseHandle(agent.m_hSession);
    agent.m_hSession = nullptr;
    const bool connectedWithout = agent.HasConnection();
    SetConnectedStateSlot(g_realConnectedState);

    EXPECT_TRUE(connected);
    EXPECT_EQ(1, queriesWithSession);
    EXPECT_FALSE(connectedWithout);
    EXPECT_EQ(1, g_connectedQueries);
}

TEST_F(Transfers, EveryOpenReachesTheServerAsAutoUpdateAgent)
{
    const char kCacheable[] = "Cache-Control: max-age=3600\r\nExpires: Mon, 01 Jan 2035 00:00:00 GMT";
    for (int i = 0; i < 2; ++i) {
        HINTERNET request = Serve("/update/update.txt", "3.2.0.1", SIZE_MAX, kCacheable);
        ASSERT_NE(nullptr, request);
        char buffer[16];
        EXPECT_TRUE(agent.ReadChunk(request, buffer, sizeof(buffer)));
        InternetCloseHandle(request);
    }
    ASSERT_EQ(2u, server.Count("/update/update.txt"));
    for (const HttpRequest& r : server.Requests()) {
        EXPECT_EQ("GET", r.method);
        EXPECT_EQ("AutoUpdateAgent", r.Header("User-Agent"));
        if (r.HasHeader("Pragma"))
            EXPECT_EQ("no-cache", r.Header("Pragma"));
        if (r.HasHeader("Cache-Control"))
            EXPECT_EQ("no-cache", r.Header("Cache-Control"));
    }
}

TEST_F(Transfers, OpenRemoteOpensOnlySuccessAndLeavesTheCanonicalAddress)
{
    for (int status : {200, 204, 299, 300, 403, 404, 500})
        server.Set("/status/" + std::to_string(status) + "%20page", HttpResponse{status, "text/html", "", "<html/>"});
    const std::string tooLong = server.Url("/" + std::string(1100, 'a'));
    server.SetPrefix("/a", HttpResponse{200, "text/plain", "", "anything"});
    const struct {
        std::string address;
        std::string canonical;
        bool opens;
    } cases[] = {
        {server.Url("/status/200 page"), server.Url("/status/200%20page"), true},
        {server.Url("/status/204 page"), server.Url("/status/204%20page"), true},
        {server.Url("/status/299 page"), server.Url("/status/299%20page"), true},
        {server.Url("/status/300 page"), server.Url("/status/300%20page"), false},
        {server.Url("/status/403 page"), server.Url("/status/403%20page"), false},
        {server.Url("/status/404 page"), server.Url("/status/404%20page"), false},
        {server.Url("/status/500 page"), server.Url("/status/500%20page"), false},
        // Nothing listens on port 1.
        {"http://127.0.0.1:1/no server.txt", "http://127.0.0.1:1/no%20server.txt", false},
        // No canonical form fits the agent's buffer: nothing is opened and the address stays.
        {tooLong, tooLong, false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.canonical.substr(0, 60));
        CString url(c.address.c_str());
        HINTERNET request = agent.OpenRemote(url);
        EXPECT_EQ(c.opens, request != nullptr);
        EXPECT_EQ(c.canonical, static_cast<const char*>(url));
        if (request)
            InternetCloseHandle(request);
    }
    EXPECT_EQ(7u, server.CountPrefix("/status/"));
    EXPECT_EQ(0u, server.CountPrefix("/a"));
}

TEST_F(Transfers, ReadChunkDeliversAtMostItsSizeFromOneRead)
{
    const std::string body = Pattern(10000);
    HINTERNET request = Serve("/long", body);
    ASSERT_NE(nullptr, request);
    char buffer[116];
    memset(buffer, '#', sizeof(buffer));
    EXPECT_TRUE(agent.ReadChunk(request, buffer, 100));
    EXPECT_EQ(body.substr(0, 100), std::string(buffer, 100));
    EXPECT_EQ(std::string(16, '#'), std::string(buffer + 100, 16));
    EXPECT_TRUE(agent.ReadChunk(request, buffer, 100));
    EXPECT_EQ(body.substr(100, 100), std::string(buffer, 100));
    InternetCloseHandle(request);

    request = Serve("/empty", "");
    ASSERT_NE(nullptr, request);
    EXPECT_FALSE(agent.ReadChunk(request, buffer, sizeof(buffer)));
    InternetCloseHandle(request);
}

TEST_F(Transfers, SaveRemoteToFile)
{
    const struct {
        size_t size;
        size_t dropAfter;
        bool missingFolder;
        bool saved;
    } cases[] = {
        {0, SIZE_MAX, false, true},     {1, SIZE_MAX, false, true},    {4096, SIZE_MAX, false, true},
        {4097, SIZE_MAX, false, true},  {100000, SIZE_MAX, false, true},
        {20000, 9000, false, false},    {3000, SIZE_MAX, true, false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << c.size << " bytes, dropped after " << c.dropAfter
                                        << (c.missingFolder ? ", into a missing folder" : ""));
        const std::string body = Pattern(c.size);
        const std::string id = std::to_string(c.size);
        HINTERNET request = Serve("/file/" + id, body, c.dropAfter);
        ASSERT_NE(nullptr, request);
        const std::string path = folder.File(c.missingFolder ? "missing\\" + id : id);
        // A longer file is already there: it is replaced, not overwritten in place.
        if (!c.missingFolder)
            ASSERT_TRUE(WriteWholeFile(path, std::string(9000, 'o')));

        EXPECT_EQ(c.saved, agent.SaveRemoteToFile(request, path.c_str()));
        if (c.missingFolder) {
            EXPECT_FALSE(FileExists(path));
            // Nothing was read: the body is still there from its start.
            char buffer[64];
            ASSERT_TRUE(agent.ReadChunk(request, buffer, sizeof(buffer)));
            EXPECT_EQ(body.substr(0, sizeof(buffer)), std::string(buffer, sizeof(buffer)));
        } else if (c.saved) {
            EXPECT_EQ(body, ReadWholeFile(path));
        } else {
            // The part received stays.
            const std::string partial = ReadWholeFile(path);
            EXPECT_LT(partial.size(), body.size());
            EXPECT_EQ(body.substr(0, partial.size()), partial);
        }
        // The request is still the caller's to close.
        EXPECT_TRUE(InternetCloseHandle(request));
    }
}

}
