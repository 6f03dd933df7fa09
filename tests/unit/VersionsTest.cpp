#include <gtest/gtest.h>

#include "support/Files.h"
#include "update/UpdateAgent.h"
#include "update/Versions.h"

// Tables of cases, laid out by hand.
// clang-format off
namespace {

TEST(Versions, ReadInShortAndFullFormsAndCompared)
{
    CUpdateAgent agent;
    const struct { const char* variant; const char* shortText; const char* fullText; } files[] = {  // nullptr: no file
        {"v3201", "3.2.0.1", "3.2.0.1"}, {"v1000", "1.0", "1.0.0.0"}, {"v0001", "0.0.0.1", "0.0.0.1"},
        {"v0000", "", "0.0.0.0"},         {"vnone", "", ""},           {nullptr, "", ""},
    };
    for (const auto& c : files) {
        SCOPED_TRACE(c.variant ? c.variant : "missing file");
        const std::string path = c.variant ? VariantExe(c.variant) : VariantExe("v3200") + ".missing";
        EXPECT_STREQ(c.shortText, static_cast<const char*>(agent.ReadVersionText(path.c_str())));
        EXPECT_STREQ(c.fullText, static_cast<const char*>(FullVersionText(path.c_str())));
    }
    const struct { const char* first; const char* second; int expected; } comparisons[] = {
        // Numeric per component; a missing component counts as 0.
        {"3.2", "3.2.0.1", -1}, {"3.2.0.1", "3.2", 1}, {"3.3", "3.2.9.9", 1}, {"3.2", "3.2.0.0", 0}, {"3.10", "3.9", 1},
        {"0", "0.0.0.0", 0}, {"65535.65535.65535.65535", "65535.65535.65535.65534", 1},
        // Leading zeros vanish; empty components do not exist.
        {"03.02", "3.2", 0}, {"3.0010", "3.9", 1}, {"000", "0", 0}, {".3..2.", "3.2", 0}, {"1...2...3...4", "1.2.3.4", 0},
        // Beyond 32 bits: the true magnitude.
        {"99999999999", "3", 1}, {"3", "99999999999", -1}, {"4294967296", "0", 1},
        {"3.99999999999999999999", "3.99999999999999999998", 1}, {"1.00000000000000000005", "1.5", 0},
        // An invalid first text gives -21, even when the second is invalid too.
        {"", "3.2", -21}, {"...", "3.2", -21}, {"1.2.3.4.5", "3.2", -21}, {"3.3\r\n", "3.2", -21}, {"-1", "3.2", -21},
        {"+3.2", "3.2", -21}, {"3.2b", "3.2", -21}, {" 3.2", "3.2", -21}, {"版本3.2", "3.2", -21}, {"x", "y", -21},
        // A valid first text with an invalid second gives -22.
        {"3.2", "", -22}, {"3.2", "..", -22}, {"3.2", "1.2.3.4.5", -22}, {"3.2", "3.3\r\n", -22}, {"3.2", "-1", -22},
        {"3.2", "3.2.0.1 ", -22},
    };
    for (const auto& c : comparisons) {
        SCOPED_TRACE(testing::Message() << "\"" << c.first << "\" vs \"" << c.second << "\"");
        EXPECT_EQ(c.expected, agent.CompareVersionText(c.first, c.second));
    }
}

}  // namespace
// clang-format on
