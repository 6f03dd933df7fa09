#pragma once

// The outcome of one update run; the timer handler acts on 0, 4, 7 and 8.
enum UpdateResult
{
    UpdateInstalled = 0,
    UpdateNotConnected = 1,
    UpdateUrlNotOpened = 2,
    UpdateVersionFileUnread = 3,
    UpdateTransferFailed = 4,
    UpdateNoLocalVersion = 5,
    UpdateNotNewer = 6,
    UpdateNotInstalled = 7,
    // The swap failed and the program could not be put back at its path: it stands as the backup.
    UpdateProgramNotRestored = 8,
    // This user could not put a new program in place of the running one: nothing was offered.
    UpdateCannotReplace = 9,
};

// How a swap of the executables ended.
enum SwapResult
{
    SwapDone,
    SwapNotDone,      // the program is where it was
    SwapNotRestored,  // the running path is empty; the program stands as the backup
};
