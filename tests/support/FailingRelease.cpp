// A release that its maker built and signed but that cannot start: it dies at once with an error, or
// (FAILING_RELEASE_HANGS) never comes up. Neither shows a window.
#include <windows.h>

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int)
{
#ifdef FAILING_RELEASE_HANGS
    Sleep(INFINITE);
#endif
    ExitProcess(3);
}
