#include "update/UpdateAgent.h"
#include "update/Versions.h"
#include "ui/ZelmoraDlg.h"
#include "support/Paths.h"

#include <gtest/gtest.h>

#include <string>

namespace {

struct ReaderCase {
    const char* fixture;  // nullptr: a file that does not exist
    const char* shortText;
    const char* fullText;
};

const ReaderCase kReaderCases[] = {
    {"v3200", "3.2", "3.2.0.0"},
    {"v3201", "3.2.0.1", "3.2.0.1"},
    {"v3210", "3.2.1.0", "3.2.1.0"},
    {"v1000", "1.0", "1.0.0.0"},
    {"v0001", "0.0.0.1", "0.0.0.1"},
    {"v0000", "", "0.0.0.0"},
    {"vnone", "", ""},
    {nullptr, "", ""},
};

std::string PathOf(const ReaderCase& c)
{
    return c.fixture ? FixtureExe(c.fixture) : FixtureExe("v3200") + ".missing";
}

TEST(VersionReaders, ShortAndFullFormOfEveryFixture)
{
    CUpdateAgent agent;
    // The main window's reader uses none of the window's state: no window is created.
    CZelmoraDlg dialog;
    for (const ReaderCase& c : kReaderCases) {
        SCOPED_TRACE(c.fixture ? c.fixture : "missing file");
        std::string path = PathOf(c);
        EXPECT_STREQ(c.shortText, static_cast<const char*>(agent.ReadVersionText(path.c_str())));
        EXPECT_STREQ(c.fullText, static_cast<const char*>(dialog.ReadFullVersionText(path.c_str())));
    }
}

TEST(VersionReaders, TheShellsOwnVariantsReadAsBuilt)
{
    CUpdateAgent agent;
    EXPECT_STREQ("3.2", static_cast<const char*>(agent.ReadVersionText(VariantExe("v3200").c_str())));
    EXPECT_STREQ("3.2.0.1", static_cast<const char*>(FullVersionText(VariantExe("v3201").c_str())));
    EXPECT_STREQ("", static_cast<const char*>(agent.ReadVersionText(VariantExe("vnone").c_str())));
}

struct CompareCase {
    const char* first;
    const char* second;
    int expected;
};

const CompareCase kCompareCases[] = {
    // Valid texts, ordered numerically per component; a missing component counts as 0.
    {"3.2", "3.2.0.1", -1},
    {"3.2.0.1", "3.2", 1},
    {"3.2", "3.3", -1},
    {"3.3", "3.2.9.9", 1},
    {"3.2", "3.2.0.0", 0},
    {"3.2.0.0", "3.2", 0},
    {"3.10", "3.9", 1},
    {"3.9", "3.10", -1},
    {"1", "1.0.0.0", 0},
    {"0", "0.0.0.0", 0},
    {"0.0.0.1", "0", 1},
    {"65535.65535.65535.65535", "65535.65535.65535.65534", 1},
    // Leading zeros vanish.
    {"03.2", "3.2", 0},
    {"3.02", "3.2", 0},
    {"000", "0", 0},
    {"3.0010", "3.9", 1},
    // Empty components do not exist.
    {"3..2", "3.2", 0},
    {".3.2.", "3.2", 0},
    {"1...2...3...4", "1.2.3.4", 0},
    // Components beyond 32 bits compare by their true magnitude.
    {"99999999999", "3", 1},
    {"3", "99999999999", -1},
    {"2147483648", "2147483647", 1},
    {"4294967296", "0", 1},
    {"3.99999999999999999999", "3.99999999999999999998", 1},
    {"1.00000000000000000005", "1.5", 0},
    {"12345678901234567890.1", "12345678901234567890.1", 0},
    // An invalid first text gives -21, even when the second is invalid too.
    {"", "3.2", -21},
    {".", "3.2", -21},
    {"...", "3.2", -21},
    {"1.2.3.4.5", "3.2", -21},
    {"3.3\r\n", "3.2", -21},
    {"3.3\n", "3.2", -21},
    {"-1", "3.2", -21},
    {"+3.2", "3.2", -21},
    {"3.2b", "3.2", -21},
    {" 3.2", "3.2", -21},
    {"3,2", "3.2", -21},
    {"版本3.2", "3.2", -21},
    {"", "", -21},
    {"x", "y", -21},
    {"1.2.3.4.5", "1.2.3.4.5", -21},
    // A valid first text with an invalid second gives -22.
    {"3.2", "", -22},
    {"3.2", "..", -22},
    {"3.2", "1.2.3.4.5", -22},
    {"3.2", "3.2b", -22},
    {"3.2", "3.3\r\n", -22},
    {"3.2", "-1", -22},
    {"3.2", "3.2.0.1 ", -22},
};

TEST(CompareVersionText, Table)
{
    CUpdateAgent agent;
    for (const CompareCase& c : kCompareCases) {
        SCOPED_TRACE(testing::Message() << "\"" << c.first << "\" vs \"" << c.second << "\"");
        EXPECT_EQ(c.expected, agent.CompareVersionText(c.first, c.second));
    }
}

TEST(CompareVersionText, LeavesTheCallersTextsUnchanged)
{
    CUpdateAgent agent;
    CString first("3.2.0.1");
    CString second("..3..2..");
    EXPECT_EQ(1, agent.CompareVersionText(first, second));
    EXPECT_STREQ("3.2.0.1", static_cast<const char*>(first));
    EXPECT_STREQ("..3..2..", static_cast<const char*>(second));
}

TEST(ConsistsOfDigits, Table)
{
    const struct {
        const char* text;
        bool expected;
    } cases[] = {
        {"", true},        {"0", true},    {"0123456789", true}, {"99999999999999999999", true},
        {"12a", false},    {" 1", false},  {"-1", false},        {"+1", false},
        {"1\r\n", false},  {"1.2", false}, {"/", false},         {":", false},
        {"版本", false},
    };
    CUpdateAgent agent;
    for (const auto& c : cases) {
        SCOPED_TRACE(c.text);
        EXPECT_EQ(c.expected, agent.ConsistsOfDigits(c.text));
    }
}

}
