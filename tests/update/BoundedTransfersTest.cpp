// The agent's transfers against servers that stall, trickle or send less than they announce.
#include "update/UpdateAgent.h"
#include "support/Files.h"
#include "support/HttpServer.h"
#include "update/TransferLimits.h"

#include <gtest/gtest.h>

#include <string>

namespace {

const DWORD kAnswerMs = kAnswerLimitMs / QUOREL_TEST_LIMIT_DIVISOR;
const DWORD kSilenceMs = kSilenceLimitMs / QUOREL_TEST_LIMIT_DIVISOR;
const DWORD kBlockMs = kBlockLimitMs / QUOREL_TEST_LIMIT_DIVISOR;
const DWORD kSlackMs = 1500;

enum class Op { Open, ReadChunk, Save };

TEST(BoundedTransfers, GiveUpWithinTheirLimits)
{
    HttpServer server;
    ASSERT_TRUE(server.Ok());
    CUpdateAgent agent;
    TempDir folder;
    const std::string body(3000, 'q');
    const struct {
        const char* what;
        Op op;
        bool stall;
        DWORD trickleMs;
        size_t contentLength;
        bool ok;
        DWORD boundMs;
    } cases[] = {
        {"no answer", Op::Open, true, 0, SIZE_MAX, false, kAnswerMs},
        {"silent after the headers", Op::ReadChunk, false, INFINITE, SIZE_MAX, false, kSilenceMs},
        {"a block that trickles", Op::Save, false, kBlockMs / 20, SIZE_MAX, false, kBlockMs},
        {"half the announced length, closed cleanly", Op::Save, false, 0, body.size() * 2, false, 0},
        {"the announced length", Op::Save, false, 0, body.size(), true, 0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        HttpResponse response{200, "application/octet-stream", "", body};
        response.stall = c.stall;
        response.trickleMs = c.trickleMs;
        response.contentLength = c.contentLength;
        server.Set("/t", response);
        CString url(server.Url("/t").c_str());
        const DWORD start = GetTickCount();
        HINTERNET request = agent.OpenRemote(url);
        bool ok = request != nullptr;
        if (request && c.op == Op::ReadChunk) {
            char buffer[64];
            ok = agent.ReadChunk(request, buffer, sizeof(buffer));
            EXPECT_EQ(DWORD(ERROR_INTERNET_TIMEOUT), GetLastError());
        }
        const std::string path = folder.File("download");
        if (request && c.op == Op::Save)
            ok = agent.SaveRemoteToFile(request, path.c_str());
        const DWORD took = GetTickCount() - start;
        EXPECT_EQ(c.ok, ok);
        EXPECT_LE(took, c.boundMs + kSlackMs);
        // What arrived is on disk, also when it was less than announced.
        if (c.op == Op::Save && c.trickleMs == 0) {
            EXPECT_EQ(body, ReadWholeFile(path));
        }
        if (request)
            InternetCloseHandle(request);
    }
}

}
