#pragma once
#include <windows.h>

// The one place that answers the window thread's messages while the update works on that thread: in the
// waits for other processes' locks, during the transfer and in the download window. What other threads
// and programs send is answered, and the download window gets its input and the thread its painting;
// nothing else is dispatched, so no timer, close or second update of the program runs meanwhile.

// Answers what has arrived, at most every 50 ms: often enough for every window to answer within a second
// and for the download window to stay lively, rarely enough not to slow a fast transfer.
void AnswerSentMessages(HWND downloadWindow = nullptr);
// Waits ms, answering at once whatever is sent meanwhile.
void PauseAnsweringSentMessages(DWORD ms);

// While one stands, the program's path is empty or a rollback is under way: a session that ended now
// would leave no program at the path, so the main window refuses the session's end and says why.
class CSessionEndBlock
{
public:
    CSessionEndBlock();
    ~CSessionEndBlock();
    CSessionEndBlock(const CSessionEndBlock&) = delete;
    CSessionEndBlock& operator=(const CSessionEndBlock&) = delete;

private:
    HWND m_window = nullptr;
};
