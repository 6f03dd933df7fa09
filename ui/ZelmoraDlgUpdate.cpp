// The main window's side of the update: the timer that starts the check, what it shows of the outcome,
// and the restart when the window closes. The work itself is update/'s.
#include "ui/ZelmoraDlg.h"
#include "app/BuildConfig.h"
#include "update/Restart.h"
#include "update/UpdateAgent.h"
#include "update/UpdateLog.h"
#include "update/UpdateTexts.h"
#include "update/UpdateTimer.h"

namespace {

// Shown when an update went wrong, whether before or after the swap.
void ReportFailedUpdate(CWnd& owner)
{
    CString text(QUOREL_FAILURE_BEFORE);
    text += kHomePageUrl;
    text += QUOREL_FAILURE_AFTER;
    owner.MessageBox(text, QUOREL_FAILURE_CAPTION, MB_OK | MB_ICONQUESTION);
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
    LogUpdate("result", "%d", result);
    if (result == UpdateInstalled) {
        if (MessageBox(QUOREL_SUCCESS_TEXT, QUOREL_SUCCESS_CAPTION, MB_YESNO | MB_ICONQUESTION) == IDYES) {
            g_restartRequested = true;
            SendMessage(WM_CLOSE, 0, 0);
        }
    } else if (result == UpdateTransferFailed || result == UpdateNotInstalled || result == UpdateProgramNotRestored) {
        ReportFailedUpdate(*this);
    }
    Default();
}

void CZelmoraDlg::OnClose()
{
    // Taken at once: while it waits for the new program the window answers what is sent to it, and a
    // second close must not start the program again.
    if (g_restartRequested) {
        g_restartRequested = false;
        if (!RestartIntoNewExecutable())
            ReportFailedUpdate(*this);
    }
    Default();
}
