#pragma once
#include <windows.h>

// Every wait in the tests is on a condition, bounded by this: Wine starts are slow on a busy machine.
const DWORD kWaitMs = 60000;

template <class Condition>
bool WaitUntil(Condition done, DWORD timeoutMs = kWaitMs)
{
    const DWORD start = GetTickCount();
    while (!done()) {
        if (GetTickCount() - start >= timeoutMs)
            return false;
        Sleep(20);
    }
    return true;
}
