#include "ui/ZelmoraDlg.h"
#include "app/BuildConfig.h"
#include "resource.h"
#include "update/UpdateAgent.h"
#include "update/UpdateTimer.h"
#include "install/SelfInstall.h"

BOOL CZelmoraDlg::OnInitDialog()
{
    // Binds m_browser to the control through data exchange; the navigation below needs it.
    CDialog::OnInitDialog();

    HMENU hSysMenu = GetSystemMenu(FALSE);
    if (hSysMenu != nullptr) {
        CString aboutText;
        aboutText.LoadString(IDS_ABOUTBOX);
        if (!aboutText.IsEmpty()) {
            ::AppendMenuA(hSysMenu, MF_SEPARATOR, 0, nullptr);
            ::AppendMenuA(hSysMenu, MF_STRING, IDM_ABOUTBOX, aboutText);
        }
    }

    SendMessage(WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(m_hIconBig));
    SendMessage(WM_SETICON, ICON_SMALL, reinterpret_cast<LPARAM>(m_hIconSmall));

    // The server learns which shell is calling from the version appended to the address.
    const CString runningPath = g_updateAgent.RunningModulePath();
    const CString runningVersion = g_updateAgent.ReadVersionText(runningPath);
    {
        const CString url = CString(kWebAppUrlPrefix) + runningVersion;
        m_browser.Navigate(url, nullptr, nullptr, nullptr, nullptr);
    }

    SetTimer(kUpdateTimerId, kUpdateDelayMs, nullptr);

    InstallSelf(runningVersion);
    return TRUE;
}

void CZelmoraDlg::InstallSelf(const CString& runningVersion)
{
    if (RunSelfInstallation(m_hWnd, runningVersion) == InstalledCopyStarted) {
        // Sent, not posted: the close handler has run before this step returns.
        SendMessage(WM_CLOSE);
    }
}
