#include "update/UpdateTimer.h"
#include "update/UpdateAgent.h"
#include "update/UpdateTexts.h"
#include "framework/AfxHandles.h"
#include "ui/ZelmoraDlg.h"
#include "app/BuildConfig.h"

bool g_restartRequested = false;

namespace {

// The swap has just put the new executable at the running image's own path; the current directory may
// be anywhere and may even hold an unrelated file of the same name.
void StartNewExecutable()
{
    CString path = g_updateAgent.RunningModulePath();
    if (path.IsEmpty())
        return;
    STARTUPINFOA startup = {};
    startup.cb = sizeof(startup);
    PROCESS_INFORMATION process = {};
    if (!CreateProcessA(path, nullptr, nullptr, nullptr, FALSE, NORMAL_PRIORITY_CLASS, nullptr, nullptr, &startup,
                        &process))
        return;
    CKernelHandle processHandle(process.hProcess);
    CKernelHandle threadHandle(process.hThread);
}

}  // namespace

void CZelmoraDlg::OnTimer(UINT_PTR nIDEvent)
{
    if (nIDEvent != kUpdateTimerId) {
        Default();
        return;
    }
    // Stopped first: the check runs once, however long it takes.
    KillTimer(kUpdateTimerId);

    UpdateResult result = g_updateAgent.RunUpdate(kUpdateBaseUrl);
    if (result == UpdateInstalled) {
        if (MessageBox(QUOREL_SUCCESS_TEXT, QUOREL_SUCCESS_CAPTION, MB_YESNO | MB_ICONQUESTION) == IDYES) {
            g_restartRequested = true;
            SendMessage(WM_CLOSE, 0, 0);
        }
    } else if (result == UpdateTransferFailed || result == UpdateNotInstalled || result == UpdateProgramNotRestored) {
        CString text(QUOREL_FAILURE_BEFORE);
        text += kHomePageUrl;
        text += QUOREL_FAILURE_AFTER;
        MessageBox(text, QUOREL_FAILURE_CAPTION, MB_OK | MB_ICONQUESTION);
    }
    Default();
}

void CZelmoraDlg::OnClose()
{
    if (g_restartRequested)
        StartNewExecutable();
    Default();
}
