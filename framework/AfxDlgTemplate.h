#pragma once
#include <windows.h>
#include <ole2.h>
#include "framework/AfxHandles.h"

// An ActiveX control item taken out of a dialog template.
struct AfxControlItem
{
    CLSID clsid;
    UINT nID;
    DWORD dwStyle;
    RECT rcDialogUnits;
};

// A dialog template (classic DIALOG or extended DIALOGEX) as the dialog manager gets it: a copy of
// the resource without the items whose class is a "{CLSID}" string, which the dialog manager could
// not create. Those items are kept aside for the framework to create as ActiveX controls.
class CDialogTemplate
{
public:
    CDialogTemplate();
    CDialogTemplate(const CDialogTemplate&) = delete;
    CDialogTemplate& operator=(const CDialogTemplate&) = delete;

    BOOL Load(HINSTANCE hInstance, LPCSTR lpszTemplateName);

    const DLGTEMPLATE* GetTemplate() const { return static_cast<const DLGTEMPLATE*>(m_block.Get()); }
    int GetControlCount() const { return m_nControls; }
    const AfxControlItem& GetControl(int i) const { return m_controls[i]; }

private:
    BOOL SetTemplate(const BYTE* pSource, DWORD cbTemplate);

    enum
    {
        kMaxControls = 16
    };
    CHeapBlock m_block;
    int m_nControls;
    AfxControlItem m_controls[kMaxControls];
};

// The persisted stream of control nID in the dialog-initialisation resource (type 240) of a
// template: entries of WORD control id, WORD message, DWORD length and the data, ended by a zero
// WORD; the stream is the data of the entry with message WM_OCC_LOADFROMSTREAM (0x0376).
// Returns FALSE when there is none. The data stays in the loaded resource.
BOOL AfxFindControlState(HINSTANCE hInstance, LPCSTR lpszTemplateName, UINT nID, const BYTE** ppData, DWORD* pcb);
