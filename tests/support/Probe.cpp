#include "support/Probe.h"

#include "hands/Wait.h"

std::string Probe(HWND window, const char* question)
{
    // A hook on the window's thread runs the probe there; Wine loads its DLL into that process.
    static HMODULE probe = LoadLibraryA(QUOREL_PROBE_DLL);
    const HOOKPROC hook = reinterpret_cast<HOOKPROC>(GetProcAddress(probe, "ProbeHook"));
    const DWORD thread = GetWindowThreadProcessId(window, nullptr);
    HHOOK installed = hook ? SetWindowsHookExA(WH_CALLWNDPROC, hook, probe, thread) : nullptr;
    if (!installed)
        return "no probe";
    DWORD_PTR ignored = 0;
    RemovePropA(window, "QuorelProbe");
    SendMessageTimeoutA(window, RegisterWindowMessageA(question), 0, 0, SMTO_NORMAL, kWaitMs, &ignored);
    UnhookWindowsHookEx(installed);
    const ATOM answer = ATOM(ULONG_PTR(GetPropA(window, "QuorelProbe")));
    char text[256] = "no answer";
    if (answer)
        GlobalGetAtomNameA(answer, text, sizeof text);
    GlobalDeleteAtom(answer);
    return text;
}
