#pragma once
// Processes of the machine, looked up by their image.
#include <windows.h>

#include <string>
#include <vector>

std::string ProcessImage(DWORD pid);  // its full path; empty when it cannot be queried
// Processes whose image is that full path, or that file name in any folder (case-insensitive).
std::vector<DWORD> ProcessesOf(const std::string& image);
void KillProcesses(const std::string& image);
