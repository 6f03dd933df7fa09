#include "update/UpdateAgent.h"
#include "support/Files.h"
#include "support/HttpServer.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

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
    HINTERNET Serve(const std::string& target, const std::string& body, size_t dropAfter = SIZE_MAX)
    {
        HttpResponse response{200, "application/octet-stream", "", body};
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
    EXPECT_TRUE(agent.HasConnection());
    EXPECT_EQ(1, g_connectedQueries);
    InternetCloseHandle(agent.m_hSession);
    agent.m_hSession = nullptr;
    EXPECT_FALSE(agent.HasConnection());
    EXPECT_EQ(1, g_connectedQueries);
    SetConnectedStateSlot(g_realConnectedState);
}

TEST_F(Transfers, OpenRemoteOpensOnlySuccessAndLeavesTheCanonicalAddress)
{
    const std::string tooLong = server.Url("/" + std::string(1100, 'a'));
    server.SetPrefix("/", HttpResponse{200, "text/plain", "", "anything"});
    struct Case {
        std::string address;
        std::string canonical;
        bool opens;
    };
    std::vector<Case> cases = {
        // Nothing listens on port 1.
        {"http://127.0.0.1:1/no server.txt", "http://127.0.0.1:1/no%20server.txt", false},
        // No canonical form fits the agent's buffer: nothing is opened and the address stays.
        {tooLong, tooLong, false},
    };
    const char kCacheable[] = "Cache-Control: max-age=3600\r\nExpires: Mon, 01 Jan 2035 00:00:00 GMT";
    for (int status : {200, 204, 299, 300, 403, 404, 500}) {
        const std::string target = "/status/" + std::to_string(status);
        server.Set(target + "%20page", HttpResponse{status, "text/html", kCacheable, "<html/>"});
        cases.push_back({server.Url(target + " page"), server.Url(target + "%20page"), status < 300});
    }
    // The second round must not be answered from the cache.
    for (int round = 0; round < 2; ++round) {
        for (const Case& c : cases) {
            SCOPED_TRACE(c.canonical.substr(0, 60));
            CString url(c.address.c_str());
            HINTERNET request = agent.OpenRemote(url);
            EXPECT_EQ(c.opens, request != nullptr);
            EXPECT_EQ(c.canonical, static_cast<const char*>(url));
            char page[16];
            // Read whole, the page could be kept in a cache.
            if (request && agent.ReadChunk(request, page, sizeof(page)))
                agent.ReadChunk(request, page, sizeof(page));
            if (request)
                InternetCloseHandle(request);
        }
    }
    // Each status page twice, and never the address without a canonical form.
    const std::vector<HttpRequest> requests = server.Requests();
    EXPECT_EQ(14u, requests.size());
    for (const HttpRequest& r : requests) {
        EXPECT_EQ("/status/", r.target.substr(0, 8));
        EXPECT_EQ("GET", r.method);
        EXPECT_EQ("AutoUpdateAgent", r.Header("User-Agent"));
        EXPECT_TRUE(!r.HasHeader("Pragma") || r.Header("Pragma") == "no-cache");
        EXPECT_TRUE(!r.HasHeader("Cache-Control") || r.Header("Cache-Control") == "no-cache");
    }
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
        ASSERT_TRUE(c.missingFolder || WriteWholeFile(path, std::string(9000, 'o')));

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
