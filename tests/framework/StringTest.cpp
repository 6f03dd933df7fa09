#include "FrameworkTest.h"
#include <gtest/gtest.h>
#include <string>
#include "support/Files.h"

namespace {

TEST(CStringTest, BuildsCombinesAndCuts)
{
    EXPECT_STREQ("", CString(nullptr));
    CString text("Zel");
    text += "mora";
    text += ' ';
    text += CString("3.2");
    EXPECT_STREQ("Zelmora 3.2", text);
    EXPECT_EQ(11, text.GetLength());
    EXPECT_TRUE("a" + CString("b") == "ab");
    EXPECT_TRUE(CString("a") != CString("b"));

    CString moved(static_cast<CString&&>(text));
    EXPECT_TRUE(text.IsEmpty());
    EXPECT_STREQ("Zelmora 3.2", moved);

    // Appending a string to itself, and assigning a tail of itself.
    CString twice("ab");
    twice += twice;
    EXPECT_STREQ("abab", twice);
    twice = static_cast<const char*>(twice) + 2;
    EXPECT_STREQ("ab", twice);

    const CString path("C:\\Quorel\\Quorel.exe");
    EXPECT_STREQ("C:\\Quorel", path.Left(9));
    EXPECT_STREQ("Quo", path.Mid(10, 3));
    EXPECT_STREQ("", path.Mid(99));
    EXPECT_EQ('\0', path.GetAt(99));
    CString removed("abcdef");
    EXPECT_EQ(5, removed.Delete(1));
    EXPECT_EQ(2, removed.Delete(2, 10));
    EXPECT_STREQ("ac", removed);
}

struct FindCase {
    const char* text;
    char ch;
    int start;
    int find;
    int reverseFind;
};

// "乗" is 0x81 0x5C in code page 936: its trail byte is a backslash.
const FindCase kFindCases[] = {
    {"C:\\Quorel\\Quorel.exe", '\\', 3, 9, 9},
    {"C:\\Quorel\\Quorel.exe", '.', 0, 16, 16},
    {"no match", 'z', 0, -1, -1},
    {"乗", '\\', 0, -1, -1},
    {"x\\乗\\y", '\\', 2, 4, 4},
};

TEST(CStringTest, FindsWholeCharactersOnly)
{
    for (const FindCase& c : kFindCases) {
        SCOPED_TRACE(c.text);
        const CString text(c.text);
        EXPECT_EQ(c.find, text.Find(c.ch, c.start));
        EXPECT_EQ(c.reverseFind, text.ReverseFind(c.ch));
    }
}

TEST(CStringTest, FormatsLoadsAndLendsItsBuffer)
{
    CString text;
    // Longer than the first formatting attempt.
    text.Format("%s?ver%d.%d[%s]", "http://127.0.0.1/x", 3, 2, std::string(5000, 'q').c_str());
    EXPECT_EQ(std::string("http://127.0.0.1/x?ver3.2[") + std::string(5000, 'q') + "]", std::string(text));

    ASSERT_TRUE(text.LoadString(IDS_GREETING));
    EXPECT_STREQ("欢迎使用 Zelmora", text);
    EXPECT_FALSE(text.LoadString(9999));
    EXPECT_TRUE(text.IsEmpty());

    text = "keep";
    char* buffer = text.GetBuffer(MAX_PATH);
    EXPECT_STREQ("keep", buffer);
    lstrcpynA(buffer, "abcd", 5);
    text.ReleaseBuffer(2);
    EXPECT_STREQ("ab", text);
    lstrcpynA(text.GetBuffer(8), "abcdef", 7);
    text.ReleaseBuffer();
    EXPECT_EQ(6, text.GetLength());
}

TEST(CFileFindTest, WalksAFolder)
{
    TempDir dir;
    for (const char* name : {"one.txt", "two.txt", "other.dat"})
        ASSERT_TRUE(WriteWholeFile(dir.Path() + name, "1"));

    CFileFind finder;
    ASSERT_TRUE(finder.FindFile((dir.Path() + "*.txt").c_str()));
    std::string names;
    for (BOOL more = TRUE; more;) {
        more = finder.FindNextFile();
        names += std::string(finder.GetFileName()) + ";";
        EXPECT_FALSE(finder.IsDirectory());
    }
    EXPECT_TRUE(names == "one.txt;two.txt;" || names == "two.txt;one.txt;") << names;
    EXPECT_FALSE(finder.FindFile((dir.Path() + "*.none").c_str()));
    finder.Close();
}

}
