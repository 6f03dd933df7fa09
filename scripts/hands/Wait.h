#pragma once
#include <windows.h>

// Every wait of the tests and the demo is on a condition, bounded by this by default: Wine starts are slow
// on a busy machine.
const DWORD kWaitMs = 60000;

template <class Condition>
bool WaitUntil(Condition done, DWORD timeoutMs = kWaitMs)
{
    for (const DWORD start = GetTickCount(); !done(); Sleep(20)) {
        if (GetTickCount() - start >= timeoutMs)
            return false;
    }
    return true;
}
