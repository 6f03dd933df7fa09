#include "FrameworkTest.h"
#include <gtest/gtest.h>
#include <string>
#include "support/Files.h"

namespace {

// What the shell does with its strings: texts from the resources and the platform in code page
// 936, addresses and messages put together, an extension cut off, a buffer edited in place.
TEST(CStringTest, KeepsCodePage936TextAndComposes)
{
    CString text;
    ASSERT_TRUE(text.LoadString(IDS_GREETING));
    EXPECT_STREQ("欢迎使用 Zelmora", text);
    EXPECT_EQ(0xBB, static_cast<BYTE>(text[0]));  // 欢 is BB B6 in code page 936
    EXPECT_FALSE(text.LoadString(9999));
    EXPECT_TRUE(text.IsEmpty());
    EXPECT_STREQ("试衣间 3.2", AfxStringFromWide(L"\u8bd5\u8863\u95f4 3.2"));

    CString path("C:\\乗\\");  // 乗 is 81 5C: its trail byte is a backslash
    path += CString("Quorel") + ".exe";
    EXPECT_EQ(12, path.Delete(path.GetLength() - 4, 4));
    EXPECT_STREQ("C:\\乗\\Quorel", path);

    text.Format("%s?ver%d.%d[%s]", "http://127.0.0.1/x", 3, 2, std::string(5000, 'q').c_str());
    EXPECT_EQ("http://127.0.0.1/x?ver3.2[" + std::string(5000, 'q') + "]", std::string(text));
    char* buffer = text.GetBuffer(text.GetLength());
    buffer[4] = '\0';
    EXPECT_STREQ("http", buffer);
}

// The install folder's marker link, found by a name that holds a backslash trail byte.
TEST(CFileFindTest, FindsCodePage936Names)
{
    TempDir dir;
    const std::string name = dir.Path() + "乗 Zelmora.lnk";
    CFileFind finder;
    EXPECT_FALSE(finder.FindFile(name.c_str()));
    ASSERT_TRUE(WriteWholeFile(name, "1"));
    EXPECT_TRUE(finder.FindFile(name.c_str()));
    EXPECT_TRUE(finder.FindFile((dir.Path() + "*.lnk").c_str()));
    finder.Close();
}

}  // namespace
