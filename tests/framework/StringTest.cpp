#include "FrameworkTest.h"
#include <gtest/gtest.h>
#include <string>
#include "support/Files.h"

namespace {

TEST(CStringTest, BuildsAndCombines)
{
    CString empty;
    EXPECT_TRUE(empty.IsEmpty());
    EXPECT_STREQ("", static_cast<const char*>(empty));
    EXPECT_STREQ("", static_cast<const char*>(CString(nullptr)));

    CString text("Zel");
    text += "mora";
    text += ' ';
    text += CString("3.2");
    EXPECT_STREQ("Zelmora 3.2", static_cast<const char*>(text));
    EXPECT_EQ(11, text.GetLength());

    EXPECT_TRUE(CString("a") + "b" == "ab");
    EXPECT_TRUE("a" + CString("b") == "ab");
    EXPECT_TRUE(CString("a") + CString("b") == CString("ab"));
    EXPECT_TRUE(CString("a") != "b");
    EXPECT_TRUE("a" != CString("b"));
    EXPECT_FALSE(CString("ab") != CString("ab"));

    CString copy(text);
    CString moved(static_cast<CString&&>(copy));
    EXPECT_TRUE(moved == text);
    EXPECT_TRUE(copy.IsEmpty());
    copy = moved;
    EXPECT_TRUE(copy == text);

    // Appending a string to itself, and assigning a tail of itself.
    CString twice("ab");
    twice += twice;
    EXPECT_STREQ("abab", static_cast<const char*>(twice));
    twice = static_cast<const char*>(twice) + 2;
    EXPECT_STREQ("ab", static_cast<const char*>(twice));

    text.Empty();
    EXPECT_TRUE(text.IsEmpty());
}

TEST(CStringTest, CutsByteRanges)
{
    const CString text("C:\\Quorel\\Quorel.exe");
    EXPECT_STREQ("C:\\Quorel", static_cast<const char*>(text.Left(9)));
    EXPECT_STREQ("Quorel.exe", static_cast<const char*>(text.Mid(10)));
    EXPECT_STREQ("Quo", static_cast<const char*>(text.Mid(10, 3)));
    EXPECT_STREQ("", static_cast<const char*>(text.Mid(99)));
    EXPECT_STREQ(static_cast<const char*>(text), static_cast<const char*>(text.Left(99)));
    EXPECT_EQ('Q', text.GetAt(3));
    EXPECT_EQ('\0', text.GetAt(99));

    CString removed("abcdef");
    EXPECT_EQ(5, removed.Delete(1));
    EXPECT_STREQ("acdef", static_cast<const char*>(removed));
    EXPECT_EQ(2, removed.Delete(2, 10));
    EXPECT_STREQ("ac", static_cast<const char*>(removed));
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
    {"C:\\Quorel\\Quorel.exe", '\\', 0, 2, 9},
    {"C:\\Quorel\\Quorel.exe", '\\', 3, 9, 9},
    {"C:\\Quorel\\Quorel.exe", '.', 0, 16, 16},
    {"no match", 'z', 0, -1, -1},
    {"乗", '\\', 0, -1, -1},
    {"x\\乗y", '\\', 0, 1, 1},
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

TEST(CStringTest, FormatsAndLoads)
{
    CString text;
    text.Format("%s?ver%d.%d", "http://127.0.0.1/x", 3, 2);
    EXPECT_STREQ("http://127.0.0.1/x?ver3.2", static_cast<const char*>(text));

    // Longer than the first formatting attempt.
    const std::string longArg(5000, 'q');
    text.Format("[%s]", longArg.c_str());
    EXPECT_EQ(5002, text.GetLength());
    EXPECT_EQ('q', text.GetAt(5000));
    EXPECT_EQ(']', text.GetAt(5001));

    ASSERT_TRUE(text.LoadString(IDS_GREETING));
    EXPECT_STREQ("欢迎使用 Zelmora", static_cast<const char*>(text));
    EXPECT_FALSE(text.LoadString(9999));
    EXPECT_TRUE(text.IsEmpty());
}

TEST(CStringTest, LendsItsBuffer)
{
    CString text("keep");
    char* buffer = text.GetBuffer(MAX_PATH);
    ASSERT_NE(nullptr, buffer);
    EXPECT_STREQ("keep", buffer);
    ::GetTempPathA(MAX_PATH, buffer);
    text.ReleaseBuffer();
    EXPECT_EQ(static_cast<int>(strlen(text)), text.GetLength());
    EXPECT_EQ('\\', text.GetAt(text.GetLength() - 1));

    buffer = text.GetBuffer(4);
    lstrcpynA(buffer, "abcd", 5);
    text.ReleaseBuffer(2);
    EXPECT_STREQ("ab", static_cast<const char*>(text));
}

TEST(CFileFindTest, WalksAFolder)
{
    TempDir dir;
    ASSERT_TRUE(WriteWholeFile(dir.Path() + "one.txt", "1"));
    ASSERT_TRUE(WriteWholeFile(dir.Path() + "two.txt", "2"));
    ASSERT_TRUE(WriteWholeFile(dir.Path() + "other.dat", "3"));

    CFileFind finder;
    ASSERT_TRUE(finder.FindFile((dir.Path() + "*.txt").c_str()));
    std::string names;
    BOOL more = TRUE;
    while (more) {
        more = finder.FindNextFile();
        names += std::string(finder.GetFileName()) + ";";
        EXPECT_FALSE(finder.IsDirectory());
    }
    EXPECT_TRUE(names == "one.txt;two.txt;" || names == "two.txt;one.txt;") << names;
    EXPECT_FALSE(finder.FindNextFile());

    EXPECT_FALSE(finder.FindFile((dir.Path() + "*.none").c_str()));
    finder.Close();
    finder.Close();
}

}
