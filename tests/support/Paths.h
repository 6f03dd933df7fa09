#pragma once

#include <string>

// Windows paths of what the build made for the tests.
std::string ProductExe();                // the build's own Quorel.exe
std::string VariantExe(const char* v);   // "v3200", "v3201", "v3210", "vnone": copies talking to the test host
std::string FixtureExe(const char* v);   // "v3200", "v3201", "v3210", "v1000", "v0001", "v0000", "vnone"
std::string SourceDir();                 // the source tree, ending with a backslash
std::string BinaryDir();                 // the build tree, ending with a backslash
unsigned short TestHostPort();           // the port of the host the variants talk to
