#include <gtest/gtest.h>

#include <windows.h>
#include <objbase.h>

#include <functional>
#include <string>
#include <thread>

#include "support/Files.h"
#include "support/InstallState.h"
#include "support/Paths.h"
#include "support/ShellLinks.h"
#include "ui/ZelmoraDlg.h"

namespace {

class LinkWriters : public ::testing::Test {
protected:
    void SetUp() override { ResetInstallState(); }
    void TearDown() override { ResetInstallState(); }

    CZelmoraDlg dlg;
    TempDir dir;
};

TEST_F(LinkWriters, CreateLinkSetsPathAndArgumentsWhereTheLinkCanBeSaved)
{
    const std::string existing = ProductExe();
    ASSERT_TRUE(MakeDirs(dir.File("试衣间\\")));
    ASSERT_TRUE(MakeDirs(dir.File("long\\")));
    const struct {
        const char* what;
        std::string target;
        std::string link;
        std::string arguments;
        bool saved;
    } cases[] = {
        {"no arguments", existing, dir.File("a.lnk"), "", true},
        {"arguments", existing, dir.File("b.lnk"), "-a \"b c\"", true},
        {"missing target", dir.File("Missing.exe"), dir.File("c.lnk"), "", true},
        // Converted to UTF-16 through the ANSI code page.
        {"Chinese link path", existing, dir.File("试衣间\\下载 Zelmora.lnk"), "", true},
        {"missing folder", existing, dir.File("missing\\ Zelmora.lnk"), "", false},
        // Cut to 259 characters it would still be a valid file name.
        {"link path beyond the buffer", existing, dir.File("long\\" + std::string(300, 'z') + ".lnk"), "", false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        EXPECT_EQ(TRUE, dlg.CreateLink(c.target.c_str(), c.link.c_str(), c.arguments.c_str()));
        const LinkInfo info = ReadLink(c.link);
        ASSERT_EQ(c.saved, info.ok);
        if (c.saved) {
            EXPECT_EQ(c.target, info.path);
            EXPECT_EQ(c.arguments, info.arguments);
            EXPECT_EQ("", info.workingDir);
        }
    }
    EXPECT_FALSE(DirExists(dir.File("missing")));
    EXPECT_TRUE(ListFolder(dir.File("long\\")).empty());
}

// Runs the writer on a fresh thread initialised with that model (-1: not at all) and checks that the thread's
// COM state, its initialisation count included, is the same afterwards.
void RunInApartment(int model, const std::function<void()>& writer)
{
    std::thread worker([&] {
        if (model >= 0) {
            ASSERT_EQ(S_OK, CoInitializeEx(nullptr, model));
        }
        writer();
        if (model >= 0) {
            EXPECT_EQ(S_FALSE, CoInitializeEx(nullptr, model)) << "the caller's initialisation was undone";
            CoUninitialize();
            CoUninitialize();
        }
        EXPECT_EQ(S_OK, CoInitialize(nullptr)) << "an initialisation leaked";
        CoUninitialize();
    });
    worker.join();
}

TEST_F(LinkWriters, BothWritersLeaveTheThreadsComStateAsTheyFoundIt)
{
    char module[MAX_PATH] = "";
    ASSERT_LT(GetModuleFileNameA(nullptr, module, MAX_PATH), DWORD(MAX_PATH));
    const std::string desktop = Shortcuts().desktop;
    for (int model : {-1, int(COINIT_APARTMENTTHREADED), int(COINIT_MULTITHREADED)}) {
        SCOPED_TRACE(model);
        const std::string link = dir.File(std::to_string(model) + ".lnk");
        RemoveTree(desktop);
        BOOL result = -1;
        RunInApartment(model, [&] { result = dlg.CreateLink(ProductExe().c_str(), link.c_str(), ""); });
        RunInApartment(model, [&] { dlg.CreateDesktopLink(); });
        // CoInitialize cannot join an MTA thread to an STA: the writers give up before touching COM.
        const bool written = model != COINIT_MULTITHREADED;
        EXPECT_EQ(written ? TRUE : FALSE, result);
        EXPECT_EQ(written, FileExists(link));
        const LinkInfo info = ReadLink(desktop);
        ASSERT_EQ(written, info.ok);
        if (written) {
            // The running executable less its last four characters, and no arguments.
            EXPECT_EQ(std::string(module, lstrlenA(module) - 4), info.path);
            EXPECT_EQ("", info.arguments);
        }
    }
}

}  // namespace
