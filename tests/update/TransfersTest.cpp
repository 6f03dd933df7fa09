#include "update/UpdateAgent.h"
#include "support/Files.h"
#include "support/HttpServer.h"

#include <gtest/gtest.h>

#include <string>

namespace {

// Redirects this program's import of one WinINet function (the agent's calls go through it) to a
// recorder that passes every call on to the real function.
class ImportSpy {
public:
    ImportSpy(const char* function, void* replacement)
    {
        BYTE* image = reinterpret_cast<BYTE*>(GetModuleHandleA(nullptr));
        auto* dos = reinterpret_cast<IMAGE_DOS_HEADER*>(image);
        auto* nt = reinterpret_cast<IMAGE_NT_HEADERS*>(image + dos->e_lfanew);
        const IMAGE_DATA_DIRECTORY& dir = nt->OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_IMPORT];
        for (auto* desc = reinterpret_cast<IMAGE_IMPORT_DESCRIPTOR*>(image + dir.VirtualAddress);
             desc->Name != 0; ++desc) {
            if (lstrcmpiA(reinterpret_cast<char*>(image + desc->Name), "wininet.dll") != 0)
                continue;
            auto* names = reinterpret_cast<IMAGE_THUNK_DATA*>(image + desc->OriginalFirstThunk);
            auto* slots = reinterpret_cast<IMAGE_THUNK_DATA*>(image + desc->FirstThunk);
            for (; names->u1.AddressOfData != 0; ++names, ++slots) {
                if (IMAGE_SNAP_BY_ORDINAL(names->u1.Ordinal))
                    continue;
                auto* byName = reinterpret_cast<IMAGE_IMPORT_BY_NAME*>(image + names->u1.AddressOfData);
                if (strcmp(reinterpret_cast<char*>(byName->Name), function) == 0) {
                    slot_ = reinterpret_cast<void**>(&slots->u1.Function);
                    original_ = *slot_;
                    Write(replacement);
                    return;
                }
            }
        }
    }
    ~ImportSpy()
    {
        if (slot_)
            Write(original_);
    }
    ImportSpy(const ImportSpy&) = delete;
    ImportSpy& operator=(const ImportSpy&) = delete;

    bool Installed() const { return slot_ != nullptr; }
    void* Original() const { return original_; }

private:
    void Write(void* value)
    {
        DWORD old = 0;
        VirtualProtect(slot_, sizeof(*slot_), PAGE_READWRITE, &old);
        *slot_ = value;
        VirtualProtect(slot_, sizeof(*slot_), old, &old);
    }

    void** slot_ = nullptr;
    void* original_ = nullptr;
};

ImportSpy* g_connectedSpy;
int g_connectedQueries;

BOOL WINAPI CountingConnectedState(LPDWORD flags, DWORD reserved)
{
    ++g_connectedQueries;
    auto real = reinterpret_cast<BOOL(WINAPI*)(LPDWORD, DWORD)>(g_connectedSpy->Original());
    return real(flags, reserved);
}

ImportSpy* g_openSpy;
DWORD g_openFlags;

HINTERNET WINAPI RecordingOpenUrl(HINTERNET session, LPCSTR url, LPCSTR headers, DWORD headersLength, DWORD flags,
                                  DWORD_PTR context)
{
    g_openFlags = flags;
    auto real = reinterpret_cast<HINTERNET(WINAPI*)(HINTERNET, LPCSTR, LPCSTR, DWORD, DWORD, DWORD_PTR)>(
        g_openSpy->Original());
    return real(session, url, headers, headersLength, flags, context);
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

    HINTERNET Open(const std::string& target)
    {
        CString url(server.Url(target).c_str());
        return agent.OpenRemote(url);
    }

    HttpServer server;
    CUpdateAgent agent;
    TempDir folder;
};

TEST_F(Transfers, SessionIdentifiesItselfAsAutoUpdateAgent)
{
    server.Set("/update/update.txt", HttpResponse{200, "text/plain", "", "3.2.0.1"});
    HINTERNET request = Open("/update/update.txt");
    ASSERT_NE(nullptr, request);
    InternetCloseHandle(request);
    HttpRequest received;
    ASSERT_TRUE(server.WaitFor("/update/update.txt", 5000, &received));
    EXPECT_EQ("GET", received.method);
    EXPECT_EQ("AutoUpdateAgent", received.Header("User-Agent"));
}

TEST_F(Transfers, EveryOpenReachesTheServerEvenForACacheableAnswer)
{
    server.Set("/update/update.txt",
               HttpResponse{200, "text/plain", "Cache-Control: max-age=3600\r\nExpires: Mon, 01 Jan 2035 00:00:00 GMT",
                            "3.2.0.1"});
    ImportSpy spy("InternetOpenUrlA", reinterpret_cast<void*>(&RecordingOpenUrl));
    ASSERT_TRUE(spy.Installed());
    g_openSpy = &spy;
    g_openFlags = 0;
    for (int i = 0; i < 2; ++i) {
        HINTERNET request = Open("/update/update.txt");
        ASSERT_NE(nullptr, request);
        char buffer[16];
        EXPECT_TRUE(agent.ReadChunk(request, buffer, sizeof(buffer)));
        InternetCloseHandle(request);
    }
    EXPECT_EQ(2u, server.Count("/update/update.txt"));
    // Reload, resynchronise, hyperlink, need-file: never an answer from the cache.
    EXPECT_EQ(0x80000C10u, g_openFlags);
    for (const HttpRequest& r : server.Requests()) {
        if (r.HasHeader("Pragma")) {
            EXPECT_EQ("no-cache", r.Header("Pragma"));
        }
        if (r.HasHeader("Cache-Control")) {
            EXPECT_EQ("no-cache", r.Header("Cache-Control"));
        }
    }
}

TEST(AgentSession, WithoutASessionTheConnectionIsNeverQueried)
{
    ImportSpy spy("InternetGetConnectedState", reinterpret_cast<void*>(&CountingConnectedState));
    ASSERT_TRUE(spy.Installed());
    g_connectedSpy = &spy;
    g_connectedQueries = 0;

    CUpdateAgent agent;
    ASSERT_NE(nullptr, agent.m_hSession);
    EXPECT_TRUE(agent.HasConnection());
    EXPECT_EQ(1, g_connectedQueries);

    InternetCloseHandle(agent.m_hSession);
    agent.m_hSession = nullptr;
    EXPECT_FALSE(agent.HasConnection());
    EXPECT_EQ(1, g_connectedQueries);
}

struct StatusCase {
    int status;
    bool opens;
};

TEST_F(Transfers, OnlyASuccessStatusIsAnOpenedAddress)
{
    const StatusCase cases[] = {{200, true}, {204, true}, {299, true}, {300, false},
                                {404, false}, {403, false}, {500, false}, {503, false}};
    for (const StatusCase& c : cases) {
        SCOPED_TRACE(c.status);
        std::string target = "/status/" + std::to_string(c.status);
        server.Set(target, HttpResponse{c.status, "text/html", "", "<html><body>page</body></html>"});
        HINTERNET request = Open(target);
        EXPECT_EQ(c.opens, request != nullptr);
        if (request)
            InternetCloseHandle(request);
        EXPECT_EQ(1u, server.Count(target));
    }
}

TEST_F(Transfers, CallersAddressBecomesCanonicalWhateverTheOutcome)
{
    server.Set("/update/new%20build.txt", HttpResponse{200, "text/plain", "", "3.2.0.1"});
    server.Set("/update/missing%20build.txt", HttpResponse{404, "text/html", "", "not here"});
    const struct {
        std::string address;
        std::string canonical;
        bool opens;
    } cases[] = {
        {server.Url("/update/new build.txt"), server.Url("/update/new%20build.txt"), true},
        {server.Url("/update/missing build.txt"), server.Url("/update/missing%20build.txt"), false},
        // Nothing listens on port 1.
        {"http://127.0.0.1:1/update/no server.txt", "http://127.0.0.1:1/update/no%20server.txt", false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.address);
        CString url(c.address.c_str());
        HINTERNET request = agent.OpenRemote(url);
        EXPECT_EQ(c.opens, request != nullptr);
        EXPECT_EQ(c.canonical, static_cast<const char*>(url));
        if (request)
            InternetCloseHandle(request);
    }
    EXPECT_EQ(1u, server.Count("/update/new%20build.txt"));
    EXPECT_EQ(1u, server.Count("/update/missing%20build.txt"));
}

TEST_F(Transfers, AnAddressWithoutACanonicalFormOpensNothing)
{
    server.SetPrefix("/", HttpResponse{200, "text/plain", "", "anything"});
    std::string address = server.Url("/" + std::string(1100, 'a'));
    CString url(address.c_str());
    EXPECT_EQ(nullptr, agent.OpenRemote(url));
    EXPECT_EQ(address, static_cast<const char*>(url));
    EXPECT_TRUE(server.Requests().empty());
}

TEST_F(Transfers, ReadChunkDeliversAtMostItsSizeFromOneRead)
{
    const std::string body = Pattern(10000);
    server.Set("/long", HttpResponse{200, "application/octet-stream", "", body});
    HINTERNET request = Open("/long");
    ASSERT_NE(nullptr, request);
    char buffer[116];
    memset(buffer, '#', sizeof(buffer));
    EXPECT_TRUE(agent.ReadChunk(request, buffer, 100));
    EXPECT_EQ(body.substr(0, 100), std::string(buffer, 100));
    EXPECT_EQ(std::string(16, '#'), std::string(buffer + 100, 16));
    // The rest stays unread for the next read.
    EXPECT_TRUE(agent.ReadChunk(request, buffer, 100));
    EXPECT_EQ(body.substr(100, 100), std::string(buffer, 100));
    InternetCloseHandle(request);
}

TEST_F(Transfers, ReadChunkOfAnEmptyResponseIsFalse)
{
    server.Set("/empty", HttpResponse{200, "text/plain", "", ""});
    HINTERNET request = Open("/empty");
    ASSERT_NE(nullptr, request);
    char buffer[16] = {};
    EXPECT_FALSE(agent.ReadChunk(request, buffer, sizeof(buffer)));
    InternetCloseHandle(request);
}

TEST_F(Transfers, SaveRemoteToFileWritesWholeResponses)
{
    const size_t sizes[] = {0, 1, 4095, 4096, 4097, 8192, 100000};
    for (size_t size : sizes) {
        SCOPED_TRACE(size);
        const std::string body = Pattern(size);
        const std::string target = "/file/" + std::to_string(size);
        server.Set(target, HttpResponse{200, "application/octet-stream", "", body});
        HINTERNET request = Open(target);
        ASSERT_NE(nullptr, request);
        const std::string path = folder.File("download-" + std::to_string(size) + ".bin");
        EXPECT_TRUE(agent.SaveRemoteToFile(request, path.c_str()));
        EXPECT_TRUE(FileExists(path));
        EXPECT_EQ(body, ReadWholeFile(path));
        // The request is still the caller's to close.
        EXPECT_TRUE(InternetCloseHandle(request));
    }
}

TEST_F(Transfers, SaveRemoteToFileReplacesAnExistingFile)
{
    const std::string path = folder.File("Quorel.exe");
    ASSERT_TRUE(WriteWholeFile(path, std::string(9000, 'o')));
    server.Set("/new", HttpResponse{200, "application/octet-stream", "", "new and shorter"});
    HINTERNET request = Open("/new");
    ASSERT_NE(nullptr, request);
    EXPECT_TRUE(agent.SaveRemoteToFile(request, path.c_str()));
    InternetCloseHandle(request);
    EXPECT_EQ("new and shorter", ReadWholeFile(path));
}

TEST_F(Transfers, SaveRemoteToFileKeepsThePartOfADroppedResponse)
{
    const std::string body = Pattern(20000);
    HttpResponse cut{200, "application/octet-stream", "", body};
    cut.dropAfter = 9000;
    server.Set("/cut", cut);
    HINTERNET request = Open("/cut");
    ASSERT_NE(nullptr, request);
    const std::string path = folder.File("partial.bin");
    EXPECT_FALSE(agent.SaveRemoteToFile(request, path.c_str()));
    EXPECT_TRUE(InternetCloseHandle(request));
    ASSERT_TRUE(FileExists(path));
    const std::string partial = ReadWholeFile(path);
    EXPECT_LT(partial.size(), body.size());
    EXPECT_EQ(body.substr(0, partial.size()), partial);
}

TEST_F(Transfers, SaveRemoteToFileIntoAMissingFolderReadsNothing)
{
    const std::string body = Pattern(3000);
    server.Set("/body", HttpResponse{200, "application/octet-stream", "", body});
    HINTERNET request = Open("/body");
    ASSERT_NE(nullptr, request);
    const std::string path = folder.File("no such folder\\Quorel.exe");
    EXPECT_FALSE(agent.SaveRemoteToFile(request, path.c_str()));
    EXPECT_FALSE(FileExists(path));
    // The whole body is still there to be read.
    char buffer[64];
    ASSERT_TRUE(agent.ReadChunk(request, buffer, sizeof(buffer)));
    EXPECT_EQ(body.substr(0, sizeof(buffer)), std::string(buffer, sizeof(buffer)));
    InternetCloseHandle(request);
}

}
