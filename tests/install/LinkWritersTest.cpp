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

std::string ModulePath()
{
    char path[MAX_PATH] = "";
    GetModuleFileNameA(nullptr, path, MAX_PATH);
    return path;
}

class LinkWriters : public ::testing::Test {
protected:
    void SetUp() override { ResetInstallState(); }
    void TearDown() override { ResetInstallState(); }

    CZelmoraDlg dlg;
    TempDir dir;
};

TEST_F(LinkWriters, CreateLinkStoresTargetAndArguments)
{
    struct Case {
        const char* name;
        std::string target;
        std::string arguments;
    };
    const std::string existing = dir.File("Quorel.exe");
    ASSERT_TRUE(CopyTo(FixtureExe("v3200"), existing));
    const Case cases[] = {
        {"no arguments", existing, ""},
        {"arguments", existing, "-a \"b c\""},
        {"missing target", dir.File("Missing.exe"), ""},
    };
    int n = 0;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const std::string link = dir.File("link" + std::to_string(n++) + ".lnk");
        EXPECT_EQ(TRUE, dlg.CreateLink(c.target.c_str(), link.c_str(), c.arguments.c_str()));
        const LinkInfo info = ReadLink(link);
        ASSERT_TRUE(info.ok);
        EXPECT_EQ(c.target, info.path);
        EXPECT_EQ(c.arguments, info.arguments);
        EXPECT_EQ("", info.workingDir);
    }
}

TEST_F(LinkWriters, CreateLinkPathIsConvertedThroughTheAnsiCodePage)
{
    const std::string folder = dir.File("试衣间") + "\\";
    ASSERT_TRUE(MakeDirs(folder));
    const std::string link = folder + "下载 Zelmora.lnk";
    EXPECT_EQ(TRUE, dlg.CreateLink(ProductExe().c_str(), link.c_str(), ""));
    EXPECT_TRUE(FileExists(link));
    EXPECT_EQ(ProductExe(), ReadLink(link).path);
}

TEST_F(LinkWriters, CreateLinkIntoAMissingFolderSucceedsAndWritesNothing)
{
    const std::string link = dir.File("missing") + "\\ Zelmora.lnk";
    EXPECT_EQ(TRUE, dlg.CreateLink(ProductExe().c_str(), link.c_str(), ""));
    EXPECT_FALSE(FileExists(link));
    EXPECT_FALSE(DirExists(dir.File("missing")));
}

TEST_F(LinkWriters, CreateLinkSkipsALinkPathBeyondTheBufferInsteadOfCuttingIt)
{
    // Cut to 259 characters this would still be a valid file name in the folder.
    const std::string link = dir.File(std::string(300 - dir.Path().size(), 'z') + ".lnk");
    ASSERT_GT(link.size(), 300u);
    EXPECT_EQ(TRUE, dlg.CreateLink(ProductExe().c_str(), link.c_str(), ""));
    EXPECT_TRUE(ListFolder(dir.Path()).empty());
}

TEST_F(LinkWriters, CreateDesktopLinkTargetsTheRunningExecutableLessItsExtension)
{
    const std::string desktopLink = Shortcuts().desktop;
    ASSERT_FALSE(FileExists(desktopLink));
    dlg.CreateDesktopLink();
    const LinkInfo info = ReadLink(desktopLink);
    ASSERT_TRUE(info.ok);
    const std::string module = ModulePath();
    EXPECT_EQ(module.substr(0, module.size() - 4), info.path);
    EXPECT_EQ("", info.arguments);
}

enum class Apartment { None, Single, Multi };

const char* Name(Apartment a)
{
    return a == Apartment::None ? "uninitialised thread" : a == Apartment::Single ? "STA thread" : "MTA thread";
}

// Runs the writer on a fresh thread in the given COM state; checks that the thread's state, including
// its initialisation count, is the same afterwards.
void RunInApartment(Apartment apartment, const std::function<void()>& writer)
{
    std::thread worker([&] {
        if (apartment == Apartment::Single) {
            ASSERT_EQ(S_OK, CoInitialize(nullptr));
        }
        if (apartment == Apartment::Multi) {
            ASSERT_EQ(S_OK, CoInitializeEx(nullptr, COINIT_MULTITHREADED));
        }

        writer();

        switch (apartment) {
        case Apartment::None:
            EXPECT_EQ(S_OK, CoInitialize(nullptr)) << "COM left initialised";
            CoUninitialize();
            break;
        case Apartment::Single:
            EXPECT_EQ(S_FALSE, CoInitialize(nullptr)) << "the caller's initialisation was undone";
            CoUninitialize();
            CoUninitialize();
            EXPECT_EQ(S_OK, CoInitialize(nullptr)) << "an initialisation leaked";
            CoUninitialize();
            break;
        case Apartment::Multi:
            EXPECT_EQ(S_FALSE, CoInitializeEx(nullptr, COINIT_MULTITHREADED)) << "the caller's MTA was left";
            CoUninitialize();
            CoUninitialize();
            EXPECT_EQ(S_OK, CoInitialize(nullptr)) << "an initialisation leaked";
            CoUninitialize();
            break;
        }
    });
    worker.join();
}

TEST_F(LinkWriters, CreateLinkLeavesTheThreadsComStateAsItFoundIt)
{
    for (Apartment apartment : {Apartment::None, Apartment::Single, Apartment::Multi}) {
        SCOPED_TRACE(Name(apartment));
        const std::string link = dir.File(std::string(Name(apartment)) + ".lnk");
        BOOL result = -1;
        RunInApartment(apartment, [&] { result = dlg.CreateLink(ProductExe().c_str(), link.c_str(), ""); });
        // CoInitialize cannot join an MTA thread to an STA: the writer gives up before touching COM.
        const bool written = apartment != Apartment::Multi;
        EXPECT_EQ(written ? TRUE : FALSE, result);
        EXPECT_EQ(written, FileExists(link));
    }
}

TEST_F(LinkWriters, CreateDesktopLinkLeavesTheThreadsComStateAsItFoundIt)
{
    const std::string desktopLink = Shortcuts().desktop;
    for (Apartment apartment : {Apartment::None, Apartment::Single, Apartment::Multi}) {
        SCOPED_TRACE(Name(apartment));
        RemoveTree(desktopLink);
        RunInApartment(apartment, [&] { dlg.CreateDesktopLink(); });
        EXPECT_EQ(apartment != Apartment::Multi, FileExists(desktopLink));
    }
}

}  // namespace
