// The agent's transfers against the loopback server, in this test program.
#include <gtest/gtest.h>

#include "framework/AfxHandles.h"
#include "support/Files.h"
#include "support/HttpServer.h"
#include "update/UpdateAgent.h"

namespace {

TEST(Transfers, OpenOnlySuccessAtTheCanonicalAddressAndSaveWholeBodies)
{
    HttpServer server;
    CUpdateAgent agent;
    const std::vector<int> statuses = {200, 204, 299, 300, 403, 404, 500};
    // No server, and an address whose canonical form does not fit: nothing is opened.
    std::vector<std::pair<std::string, bool>> addresses = {{"http://127.0.0.1:1/no server.txt", false},
                                                           {server.Url("/" + std::string(1100, 'a')), false}};
    for (int status : statuses) {
        server.SetPrefix("/" + std::to_string(status), HttpResponse{status, "text/html", "<html/>"});
        addresses.push_back({server.Url("/" + std::to_string(status) + " page"), status < 300});
    }
    for (int round = 0; round < 2; ++round) {  // the second round must not come from a cache
        for (const auto& [address, opens] : addresses) {
            SCOPED_TRACE(address.substr(0, 60));
            CInternetHandle request = agent.OpenRemote(address.c_str());
            EXPECT_EQ(opens, request.IsValid());
            char page[16];
            DWORD read = 0;
            while (request.IsValid() && agent.ReadChunk(request.Get(), page, sizeof page, &read) == ReadOutcome::Data) {
            }
        }
    }
    // Each page asked for in its canonical form, the space escaped.
    for (int status : statuses)
        EXPECT_EQ(2u, server.Count("/" + std::to_string(status) + "%20page")) << status;
    EXPECT_EQ(2 * statuses.size(), server.Requests().size());

    // Saved: whole bodies only, and at every block edge.
    TempDir folder;
    const std::string image = ReadWholeFile(VariantExe("v3200"));  // bodies are slices of a real executable
    // clang-format off
    const struct { size_t size; size_t dropAfter; bool full; bool saved; } saves[] = {  // full: a device with no space
        {0, SIZE_MAX, false, true}, {4096, SIZE_MAX, false, true}, {4097, SIZE_MAX, false, true},
        {100000, SIZE_MAX, false, true}, {20000, 9000, false, false}, {10000, SIZE_MAX, true, false},
    };
    // clang-format on
    for (const auto& c : saves) {
        SCOPED_TRACE(testing::Message() << c.size << " bytes, cut after " << c.dropAfter << (c.full ? ", full" : ""));
        const HttpResponse file{200, "application/octet-stream", image.substr(0, c.size), c.dropAfter};
        server.SetPrefix("/file", file);
        CInternetHandle request = agent.OpenRemote(server.Url("/file").c_str());
        ASSERT_TRUE(request.IsValid());
        const std::string path = folder.File(std::to_string(c.size));
        CKernelHandle target(CreateFileA(c.full ? "Z:\\dev\\full" : path.c_str(), GENERIC_WRITE, FILE_SHARE_READ,
                                         nullptr, c.full ? OPEN_EXISTING : CREATE_NEW, 0, nullptr));
        ASSERT_TRUE(target.IsValid());
        EXPECT_EQ(c.saved, agent.SaveRemoteToFile(request.Get(), target.Get()));
        target.Reset();
        // A whole body, or what was received and nothing else (the full device leaves no file at path).
        const std::string saved = ReadWholeFile(path);
        EXPECT_EQ(c.saved ? file.body : file.body.substr(0, saved.size()), saved);
    }
}

}  // namespace
