#include <gtest/gtest.h>

#include <string>

#include "install/PathText.h"

namespace {

struct QuotedCase {
    const char* name;
    std::string commandLine;
    bool found;
    std::string path;
};

TEST(QuotedProgramPath, TakesOnlyAPathQuotedWithinTheFirst255Characters)
{
    const std::string path253 = "C:\\" + std::string(244, 'd') + "\\Q.exe";
    const std::string path254 = "C:\\" + std::string(245, 'd') + "\\Q.exe";
    ASSERT_EQ(253u, path253.size());
    ASSERT_EQ(254u, path254.size());
    const QuotedCase cases[] = {
        {"quoted", "\"C:\\dl\\Quorel.exe\"", true, "C:\\dl\\Quorel.exe"},
        {"arguments ignored", "\"C:\\dl\\Quorel.exe\" -x \"y z\"", true, "C:\\dl\\Quorel.exe"},
        {"spaces inside the quotes", "\"C:\\my dl\\Quorel.exe\"", true, "C:\\my dl\\Quorel.exe"},
        {"bare", "C:\\ProgramData\\Quorelware\\Quorel.exe", false, ""},
        {"no closing quote", "\"C:\\dl\\Quorel.exe", false, ""},
        {"empty quotes", "\"\" -x", false, ""},
        {"empty", "", false, ""},
        {"path of 253", "\"" + path253 + "\"", true, path253},
        {"path of 254", "\"" + path254 + "\"", false, ""},
    };
    for (const QuotedCase& c : cases) {
        SCOPED_TRACE(c.name);
        char path[kCommandLineCopySize];
        memset(path, 'x', sizeof path);
        EXPECT_EQ(c.found, QuotedProgramPath(c.commandLine.c_str(), path, sizeof path));
        EXPECT_EQ(c.path, std::string(path));
    }
}

struct SplitCase {
    const char* name;
    std::string path;
    std::string folder;
    std::string fileName;
};

TEST(SplitProgramPath, SplitsAfterTheLastBackslashOfCodePage936Text)
{
    // U+4E57 is 0x81 0x5C in code page 936: its second byte is the backslash byte.
    ASSERT_EQ(std::string("\x81\x5C"), std::string("乗"));
    const SplitCase cases[] = {
        {"plain", "C:\\dl\\Quorel.exe", "C:\\dl\\", "Quorel.exe"},
        {"no backslash", "Quorel.exe", "", "Quorel.exe"},
        {"trail byte in the name", "C:\\dl\\乗Quorel.exe", "C:\\dl\\", "乗Quorel.exe"},
        {"trail byte ends the name", "C:\\dl\\Quorel乗", "C:\\dl\\", "Quorel乗"},
        {"trail byte in the folder", "C:\\乗\\Quorel.exe", "C:\\乗\\", "Quorel.exe"},
        {"other Chinese text", "C:\\下载\\试衣间.exe", "C:\\下载\\", "试衣间.exe"},
        {"folder only", "C:\\dl\\", "C:\\dl\\", ""},
    };
    for (const SplitCase& c : cases) {
        SCOPED_TRACE(c.name);
        char folder[256];
        char name[256];
        EXPECT_TRUE(SplitProgramPath(c.path.c_str(), folder, sizeof folder, name, sizeof name));
        EXPECT_EQ(c.folder, std::string(folder));
        EXPECT_EQ(c.fileName, std::string(name));
    }
}

TEST(SplitProgramPath, APartThatDoesNotFitLeavesBothEmpty)
{
    const std::string longName = "C:\\dl\\" + std::string(256, 'n');
    const std::string longFolder = "C:\\" + std::string(253, 'f') + "\\Quorel.exe";
    for (const std::string& path : {longName, longFolder}) {
        char folder[256] = "stale";
        char name[256] = "stale";
        EXPECT_FALSE(SplitProgramPath(path.c_str(), folder, sizeof folder, name, sizeof name));
        EXPECT_STREQ("", folder);
        EXPECT_STREQ("", name);
    }
}

}  // namespace
