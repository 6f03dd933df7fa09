#pragma once
#include <windows.h>

// How long one update transfer may keep the window waiting before it gives up, and how much it takes.
struct TransferLimits
{
    DWORD answerMs;      // for the connection and the server's answer to a request
    DWORD silenceMs;     // for the next bytes of a response
    DWORD blockMs;       // for one whole download block, or the version file's one read
    DWORD downloadMs;    // for the whole executable
    ULONGLONG maxBytes;  // the largest executable taken
};

// What Quorel.exe ships with. Copies built for the tests may divide them (see QUOREL_TEST_LIMIT_DIVISOR).
const DWORD kAnswerLimitMs = 15000;
const DWORD kSilenceLimitMs = 15000;
const DWORD kBlockLimitMs = 30000;
const DWORD kDownloadLimitMs = 5 * 60 * 1000;

// No release comes near this; an endless or swollen body must not fill the user's disk.
const ULONGLONG kMaxExecutableBytes = 64ull * 1024 * 1024;

// The limits of this build, defined with its other build constants.
extern const TransferLimits kTransferLimits;
