#include <gtest/gtest.h>
#include <shlobj.h>

#include "support/Files.h"
#include "update/UpdateLog.h"

// However many checks run, the log stays under its limit, keeps whole lines and the newest, and leaves the
// caller's last error as it was.
TEST(UpdateLog, StaysBoundedWithTheNewestWholeLines)
{
    char folder[MAX_PATH];
    ASSERT_TRUE(SHGetSpecialFolderPathA(nullptr, folder, CSIDL_LOCAL_APPDATA, TRUE));
    const std::string path = std::string(folder) + "\\Quorelware\\update.log";
    DeleteFileA(path.c_str());
    for (int i = 0; i < 2500; ++i) {
        SetLastError(1234);
        LogUpdate("check", "%d %s", i, std::string(200, 'x').c_str());
        ASSERT_EQ(1234u, GetLastError());
    }
    const std::string log = ReadWholeFile(path);
    EXPECT_LE(log.size(), kUpdateLogLimit);
    EXPECT_GT(log.size(), kUpdateLogLimit / 2);
    EXPECT_EQ(0u, log.find("20"));
    const std::string last = "check: 2499 " + std::string(200, 'x') + "\n";
    ASSERT_GT(log.size(), last.size());
    EXPECT_EQ(last, log.substr(log.size() - last.size()));
}
