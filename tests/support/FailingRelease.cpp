// A release that its maker built and signed but that does not come up: it dies at once with an error,
// ends at once with 0 as a hand-over would (FAILING_RELEASE_QUITS), dies with an error a second (of the
// shipped build's time) after its main window showed (FAILING_RELEASE_FADES), or never comes up
// (FAILING_RELEASE_HANGS). Only the fading one shows a window.
#include <windows.h>

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int)
{
#ifdef FAILING_RELEASE_HANGS
    Sleep(INFINITE);
#elif defined(FAILING_RELEASE_QUITS)
    ExitProcess(0);
#elif defined(FAILING_RELEASE_FADES)
    CreateWindowExA(0, "STATIC", "Zelmora " QUOREL_TEST_HOST, WS_OVERLAPPEDWINDOW | WS_VISIBLE, 0, 0, 400, 300, nullptr,
                    nullptr, nullptr, nullptr);
    for (DWORD start = GetTickCount(); GetTickCount() - start < 1000 / QUOREL_TEST_LIMIT_DIVISOR;) {
        MsgWaitForMultipleObjects(0, nullptr, FALSE, 10, QS_ALLINPUT);
        for (MSG msg; PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE);)
            DispatchMessageA(&msg);
    }
#endif
    ExitProcess(3);
}
