// The swapped-in executable takes the permissions of its new folder, not those of the temporary folder.
#include "update/UpdateResult.h"
#include "support/Files.h"
#include "support/HttpServer.h"
#include "support/Paths.h"
#include "support/Process.h"
#include "support/WindowFinder.h"

#include <aclapi.h>
#include <sddl.h>

#include <gtest/gtest.h>

#include <string>

namespace {

const DWORD kTimeoutMs = 60000;

std::string DaclText(const std::string& path)
{
    PACL dacl = nullptr;
    PSECURITY_DESCRIPTOR sd = nullptr;
    if (GetNamedSecurityInfoA(path.c_str(), SE_FILE_OBJECT, DACL_SECURITY_INFORMATION, nullptr, nullptr, &dacl,
                              nullptr, &sd) != ERROR_SUCCESS)
        return "(unreadable)";
    char* text = nullptr;
    std::string result = "(none)";
    if (ConvertSecurityDescriptorToStringSecurityDescriptorA(sd, SDDL_REVISION_1, DACL_SECURITY_INFORMATION, &text,
                                                             nullptr)) {
        result = text;
        LocalFree(text);
    }
    LocalFree(sd);
    return result;
}

// Inherited entries carry no mark under Wine, so the comparison is with what a new file there gets.
bool CreateWithDacl(const std::string& path, const char* sddl)
{
    SECURITY_ATTRIBUTES sa = {sizeof(sa), nullptr, FALSE};
    if (!ConvertStringSecurityDescriptorToSecurityDescriptorA(sddl, SDDL_REVISION_1, &sa.lpSecurityDescriptor,
                                                              nullptr))
        return false;
    HANDLE file = CreateFileA(path.c_str(), GENERIC_WRITE, 0, &sa, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    LocalFree(sa.lpSecurityDescriptor);
    return file != INVALID_HANDLE_VALUE && CloseHandle(file);
}

TEST(SwapPermissions, TheNewExecutableTakesItsFoldersPermissions)
{
    HttpServer server;
    ASSERT_TRUE(server.Ok());
    TempDir folder;
    const std::string name = "Zelmora-SwapPermissions.exe";
    const std::string exePath = folder.File(name);
    const std::string download = TempFolder() + name;
    ASSERT_TRUE(CopyTo(WinPath(UPDATE_HOST_EXE), exePath));
    server.Set("/update/update.txt", HttpResponse{200, "text/plain", "", "3.2.0.1"});
    server.Set("/update/" + name, HttpResponse{200, "application/octet-stream", "", ReadWholeFile(VariantExe("v3201"))});

    // What the folder gives a file of its own, and a download target private to its owner, as in a user's
    // temporary folder; the download overwrites that file and keeps its permissions.
    ASSERT_TRUE(WriteWholeFile(folder.File("fresh"), ""));
    const std::string folderDacl = DaclText(folder.File("fresh"));
    ASSERT_TRUE(CreateWithDacl(download, "D:P(A;;FA;;;OW)"));
    const std::string privateDacl = DaclText(download);
    ASSERT_NE(folderDacl, privateDacl) << "the platform shows no difference to test";

    ChildProcess child;
    ASSERT_TRUE(child.Start(exePath, "\"" + exePath + "\" run " + server.Url("/update/"), folder.Path()));
    HWND question = WaitForWindow("有新版更新", "#32770", kTimeoutMs, child.Pid());
    ASSERT_NE(nullptr, question);
    ASSERT_TRUE(PressButton(question, IDYES));
    ASSERT_TRUE(child.WaitExit(kTimeoutMs));
    ASSERT_EQ(DWORD(UpdateInstalled), child.ExitCode());
    EXPECT_EQ(folderDacl, DaclText(exePath));
    DeleteFileA(download.c_str());
}

}
