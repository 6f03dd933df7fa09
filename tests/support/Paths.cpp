#include "support/Paths.h"

#include "support/Files.h"

#include <cstdlib>
#include <cstring>

std::string ProductExe()
{
    return WinPath(QUOREL_PRODUCT_EXE);
}

std::string VariantExe(const char* v)
{
    return WinPath(std::string(QUOREL_VARIANT_DIR) + "/" + v + "/Quorel.exe");
}

std::string FixtureExe(const char* v)
{
    return WinPath(std::string(QUOREL_FIXTURE_DIR) + "/" + v + ".exe");
}

std::string SourceDir()
{
    return WinPath(std::string(QUOREL_SOURCE_DIR) + "/");
}

std::string BinaryDir()
{
    return WinPath(std::string(QUOREL_BINARY_DIR) + "/");
}

unsigned short TestHostPort()
{
    const char* colon = strrchr(QUOREL_TEST_HOST, ':');
    return colon ? static_cast<unsigned short>(atoi(colon + 1)) : 80;
}
