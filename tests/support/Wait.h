#pragma once
#include <windows.h>

// Every wait in the tests is on a condition, bounded by this: Wine starts are slow on a busy machine.
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
