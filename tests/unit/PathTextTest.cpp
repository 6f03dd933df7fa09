#include <gtest/gtest.h>

#include "install/PathText.h"

// Tables of cases, laid out by hand.
// clang-format off
namespace {

TEST(ProgramPathText, QuotedWithinTheFirst255CharactersAndSplitAfterTheLastBackslash)
{
    const std::string path253 = "C:\\" + std::string(244, 'd') + "\\Q.exe";
    const std::string path254 = "C:\\" + std::string(245, 'd') + "\\Q.exe";
    const struct { const char* what; std::string commandLine; std::string path; } cases[] = {  // path empty: none found
        {"quoted with arguments", "\"C:\\my dl\\Quorel.exe\" -x \"y z\"", "C:\\my dl\\Quorel.exe"},
        {"bare", "C:\\ProgramData\\Quorelware\\Quorel.exe", ""}, {"no closing quote", "\"C:\\dl\\Quorel.exe", ""},
        {"empty quotes", "\"\" -x", ""}, {"empty", "", ""},
        {"path of 253", "\"" + path253 + "\"", path253}, {"path of 254", "\"" + path254 + "\"", ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        char path[kCommandLineCopySize];
        memset(path, 'x', sizeof path);
        EXPECT_EQ(!c.path.empty(), QuotedProgramPath(c.commandLine.c_str(), path, sizeof path));
        EXPECT_EQ(c.path, std::string(path));
    }
    // U+4E57 is 0x81 0x5C in code page 936: its second byte is the backslash byte.
    ASSERT_EQ(std::string("\x81\x5C"), std::string("乗"));
    const struct { std::string path; bool fits; std::string folder; std::string name; } splits[] = {
        {"C:\\dl\\Quorel.exe", true, "C:\\dl\\", "Quorel.exe"}, {"Quorel.exe", true, "", "Quorel.exe"},
        {"C:\\dl\\", true, "C:\\dl\\", ""}, {"C:\\dl\\乗Quorel.exe", true, "C:\\dl\\", "乗Quorel.exe"},
        {"C:\\dl\\Quorel乗", true, "C:\\dl\\", "Quorel乗"}, {"C:\\乗\\下载.exe", true, "C:\\乗\\", "下载.exe"},
        // A folder or name that does not fit leaves both empty.
        {"C:\\dl\\" + std::string(256, 'n'), false, "", ""},
        {"C:\\" + std::string(253, 'f') + "\\Quorel.exe", false, "", ""},
    };
    for (const auto& c : splits) {
        SCOPED_TRACE(c.path.substr(0, 40));
        char folder[256] = "stale";
        char name[256] = "stale";
        EXPECT_EQ(c.fits, SplitProgramPath(c.path.c_str(), folder, sizeof folder, name, sizeof name));
        EXPECT_EQ(c.folder, std::string(folder));
        EXPECT_EQ(c.name, std::string(name));
    }
}

}  // namespace
// clang-format on
