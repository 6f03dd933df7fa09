#pragma once
// The install folder is writable by every user of the machine: a DLL planted beside the program must
// never load into it. The restriction runs by itself before every other global constructor of the
// program (app/DllSearch.cpp); the exe's static imports are KnownDLLs, and its other DLLs are bound on first
// use from the system folder (app/DelayImports.cpp).

// Restricts the process's DLL search to the system folder.
void RestrictDllSearch();
