#pragma once
#include "framework/AfxWnd.h"

class CDialogTemplate;

// A dialog from a template resource, run modally by its own message loop so that every queued
// message passes PreTranslateMessage before the dialog manager or the target window sees it.
class CDialog : public CWnd
{
public:
    explicit CDialog(UINT nIDTemplate, CWnd* pParentWnd = nullptr);
    virtual ~CDialog();

    // Creates the dialog (with its ActiveX controls), runs it until EndDialog and destroys it.
    // Returns EndDialog's result, or -1 when the dialog could not be created.
    virtual INT_PTR DoModal();
    // Ends the modal loop with nResult; may be called during OnInitDialog.
    void EndDialog(int nResult);

    virtual BOOL OnInitDialog();
    virtual void OnOK();
    virtual void OnCancel();
    virtual BOOL PreTranslateMessage(MSG* pMsg) override;
    virtual BOOL OnCmdMsg(UINT nID, int nCode) override;

protected:
    UINT m_nIDTemplate;
    CWnd* m_pParentWnd;

    DECLARE_MESSAGE_MAP()

private:
    static INT_PTR CALLBACK DialogProc(HWND hWnd, UINT message, WPARAM wParam, LPARAM lParam);
    BOOL HandleInitDialog(HWND hWnd);
    HWND FindOwner() const;
    void RunModalLoop();

    const CDialogTemplate* m_pTemplate;  // while the dialog is being created
    int m_nModalResult;
    BOOL m_bContinueModal;
};
