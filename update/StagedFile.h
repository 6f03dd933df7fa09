#pragma once
#include <windows.h>

#include "framework/AfxHandles.h"
#include "update/MessagePump.h"
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

// Those names: the prefix, 16 lower-case hex digits and the extension. Files so named in the install folder
// are this program's own, left by an update or install that was cut short.
const char kStagedPrefix[] = "Quo";
const char kStagedExtension[] = ".tmp";
bool IsStagedFileName(const char* name);

bool IsHeldByAnotherProcess(DWORD error);

const DWORD kLockWaitMs = 10000;
const DWORD kFirstLockPauseMs = 100;

// True when another process holds the file at path so that it can be neither deleted nor replaced. A
// rename over such a file is refused as access denied, as one the user may not replace is.
bool IsHeldAgainstReplacing(const char* path);

// Calls attempt() until it succeeds, fails for a reason other than another process holding the file
// (a scanner, an indexer, a backup program), or such locks have lasted about 10 s; between attempts
// the window answers what is sent to it. attempt() reports its failure through GetLastError().
// replaced: the file that a rename replaces, if any, asked whether a refusal is only its being held.
template <class Attempt>
bool RetryWhileLocked(Attempt attempt, const char* replaced = nullptr)
{
    DWORD waited = 0;
    for (DWORD pause = kFirstLockPauseMs;; pause *= 2) {
        if (attempt())
            return true;
        const DWORD error = GetLastError();
        const bool held = IsHeldByAnotherProcess(error) ||
                          (replaced && error == ERROR_ACCESS_DENIED && IsHeldAgainstReplacing(replaced));
        if (!held || waited >= kLockWaitMs)
            return false;
        LogUpdate("lock", "held by another process (error %lu), waited %lu ms so far", error, waited);
        if (pause > kLockWaitMs - waited)
            pause = kLockWaitMs - waited;
        PauseAnsweringSentMessages(pause);
        waited += pause;
    }
}

// A move within a volume, retried while another process holds the file. MOVEFILE_WRITE_THROUGH
// changes nothing for a rename within a volume: it flushes only a move made as a copy.
bool MoveWrittenThrough(const char* from, const char* to, DWORD flags);
