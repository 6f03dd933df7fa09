#pragma once

#include <string>

struct LinkInfo {
    bool ok = false;
    std::string path;       // the target, unexpanded
    std::string arguments;
    std::string workingDir;
};

// Reads a .lnk through the shell's ShellLink object (IShellLinkA, IPersistFile).
LinkInfo ReadLink(const std::string& lnk);
// Writes a .lnk the same way; for arranging state in tests.
bool WriteLink(const std::string& lnk, const std::string& target, const std::string& arguments = "");
