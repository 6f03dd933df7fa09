#pragma once

// The outcome of one update run; the timer handler acts on 0, 4 and 7.
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
};
