// The agent's transfers against the loopback server, in this test program.
#include <gtest/gtest.h>

#include "framework/AfxHandles.h"
#include "support/Files.h"
#include "support/HttpServer.h"
#include "update/UpdateAgent.h"

namespace {

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
        server.SetPrefix("/" + std::to_string(status), HttpResponse{status, "text/html", "<html/>"});
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
}

TEST(SaveRemoteToFile, WholeBodiesOnlyAndAtEveryBlockEdge)
{
    HttpServer server;
    CUpdateAgent agent;
    TempDir folder;
    const std::string image = ReadWholeFile(VariantExe("v3200"));  // bodies are slices of a real executable
    // clang-format off
    const struct
    {
        size_t size;
        size_t dropAfter;
        bool full;  // into a device with no space
        bool saved;
    } cases[] = {
        {0, SIZE_MAX, false, true},
        {4096, SIZE_MAX, false, true},
        {4097, SIZE_MAX, false, true},
        {100000, SIZE_MAX, false, true},
        {20000, 9000, false, false},
        {10000, SIZE_MAX, true, false},
    };
    // clang-format on
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << c.size << " bytes, cut after " << c.dropAfter
                                        << (c.full ? " into a full device" : ""));
        HttpResponse file{200, "application/octet-stream", image.substr(0, c.size)};
        file.dropAfter = c.dropAfter;
        server.SetPrefix("/file", file);
        CString url(server.Url("/file").c_str());
        CInternetHandle request(agent.OpenRemote(url));
        ASSERT_TRUE(request);
        const std::string path = folder.File(std::to_string(c.size));
        CKernelHandle target(CreateFileA(c.full ? "Z:\\dev\\full" : path.c_str(), GENERIC_WRITE, FILE_SHARE_READ,
                                         nullptr, c.full ? OPEN_EXISTING : CREATE_NEW, 0, nullptr));
        ASSERT_TRUE(target.IsValid());

        EXPECT_EQ(c.saved, agent.SaveRemoteToFile(request.Get(), target.Get()));
        target.Close();
        const std::string saved = ReadWholeFile(path);
        if (!c.full) {
            EXPECT_TRUE(c.saved ? saved == file.body : saved.size() < file.body.size());
            EXPECT_EQ(file.body.substr(0, saved.size()), saved) << "the part received stays";
        }
    }
}

}  // namespace
