#pragma once
#include <windows.h>

#include "framework/AfxHandles.h"
#include "update/UpdateLog.h"

// A new program file on its way into place. It is created new, under a name nobody can know in
// advance, and held open from its first byte to its final move: no other process can write it, move it
// or delete it meanwhile, so the bytes that were checked are the bytes that land. It moves through its
// own handle, never by its name, and it never outlives a failed or refused update.
class CStagedFile
{
public:
    CStagedFile() = default;
    ~CStagedFile() { Discard(); }
    CStagedFile(const CStagedFile&) = delete;
    CStagedFile& operator=(const CStagedFile&) = delete;

    // In the folder (ending with its backslash); false when nothing new can be created there.
    bool Create(const char* folder);
    HANDLE Handle() const { return m_file.Get(); }
    const char* Path() const { return m_path; }

    bool Write(const void* data, DWORD size);
    // On disk before anything depends on it: a power loss after the swap must not leave a zeroed program.
    bool Flush();
    // Renames the held file to path, waiting out other processes' locks. replace: over a file that
    // stands there. A rename only: false when path is on another volume.
    bool MoveTo(const char* path, bool replace);
    // Deletes the file unless it was moved into place, and lets it go.
    void Discard();

private:
    CKernelHandle m_file;
    char m_path[MAX_PATH] = "";
};

// A path in the folder (ending with its backslash) under a name drawn from the system's random
// generator: no other process can create or open it ahead of time, because it cannot know it.
bool UnpredictablePath(char* path, int size, const char* folder);

bool IsHeldByAnotherProcess(DWORD error);
// Messages that other threads and programs send to the window are answered meanwhile, so that no wait
// makes the window look hung for longer than that wait.
void AnswerSentMessages();
void PauseAnsweringSentMessages(DWORD ms);

const DWORD kLockWaitMs = 10000;
const DWORD kFirstLockPauseMs = 100;

// Calls attempt() until it succeeds, fails for a reason other than another process holding the file
// (a scanner, an indexer, a backup program), or such locks have lasted about 10 s; between attempts
// the window answers what is sent to it. attempt() reports its failure through GetLastError().
template <class Attempt>
bool RetryWhileLocked(Attempt attempt)
{
    DWORD waited = 0;
    for (DWORD pause = kFirstLockPauseMs;; pause *= 2) {
        if (attempt())
            return true;
        if (!IsHeldByAnotherProcess(GetLastError()) || waited >= kLockWaitMs)
            return false;
        LogUpdate("lock", "held by another process (error %lu), waited %lu ms so far", GetLastError(), waited);
        if (pause > kLockWaitMs - waited)
            pause = kLockWaitMs - waited;
        PauseAnsweringSentMessages(pause);
        waited += pause;
    }
}

// A move within a volume, written through to disk (after a power loss the file is found under one of
// its names) and retried while another process holds the file.
bool MoveWrittenThrough(const char* from, const char* to, DWORD flags);
