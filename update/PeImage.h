#pragma once
#include <windows.h>

// What a program file says of itself in its headers, read through an open handle, so that the file
// judged is the file held: the update and the signature rule read programs with it.
struct PeFacts
{
    bool isProgram = false;       // a PE file at all
    WORD machine = 0;             // the machine it was built for
    bool whole = false;           // an executable for this machine, not a library, holding every section
                                  // and its signature block
    bool signatureBlock = false;  // it carries an Authenticode signature block, whether or not it holds
    bool hasVersion = false;      // its version resource's fixed part, as the version functions read it
    DWORD versionMS = 0;
    DWORD versionLS = 0;
};

// False when the file could not be read at all; a file that is no program gives true with isProgram false.
bool ReadPeFacts(HANDLE file, PeFacts& facts);
