#include "framework/AfxDlgTemplate.h"
#include <string.h>
#include <utility>

namespace {
const WORD kDlgInitResourceType = 240;
const WORD kOccLoadFromStream = 0x0376;

// A bounds-checked reader over the template bytes.
class CTemplateReader
{
public:
    CTemplateReader(const BYTE* pData, DWORD cb) : m_pData(pData), m_cb(cb), m_pos(0), m_ok(TRUE) {}

    DWORD Pos() const { return m_pos; }
    BOOL Ok() const { return m_ok; }
    const BYTE* At(DWORD pos) const { return m_pData + pos; }

    void Skip(DWORD cb)
    {
        if (!m_ok || cb > m_cb - m_pos) {
            m_ok = FALSE;
            return;
        }
        m_pos += cb;
    }
    WORD Word()
    {
        WORD value = 0;
        if (m_ok && m_cb - m_pos >= sizeof(value))
            memcpy(&value, m_pData + m_pos, sizeof(value));
        Skip(sizeof(value));
        return value;
    }
    DWORD Dword()
    {
        DWORD value = 0;
        if (m_ok && m_cb - m_pos >= sizeof(value))
            memcpy(&value, m_pData + m_pos, sizeof(value));
        Skip(sizeof(value));
        return value;
    }
    void AlignDword() { Skip((4 - (m_pos & 3)) & 3); }

    // A zero-terminated UTF-16 string; returns where it starts.
    DWORD String()
    {
        const DWORD start = m_pos;
        while (m_ok && Word() != 0) {
        }
        return start;
    }
    // A name or ordinal: 0x0000 (none), 0xFFFF followed by an ordinal, or a string.
    // Returns the start of the string, or 0 for none or an ordinal.
    DWORD NameOrOrdinal()
    {
        const DWORD start = m_pos;
        const WORD first = Word();
        if (first == 0)
            return 0;
        if (first == 0xFFFF) {
            Word();
            return 0;
        }
        m_pos = start;
        return String();
    }

private:
    const BYTE* m_pData;
    DWORD m_cb;
    DWORD m_pos;
    BOOL m_ok;
};

// The class identifier of an item class string such as "{8856F961-...}", if it is one.
BOOL ClassIdFromItemClass(const BYTE* pClass, CLSID* pclsid)
{
    WCHAR text[64];
    size_t i = 0;
    for (; i < sizeof(text) / sizeof(text[0]) - 1; ++i) {
        WORD ch;
        memcpy(&ch, pClass + 2 * i, sizeof(ch));
        text[i] = ch;
        if (ch == 0)
            break;
    }
    text[i] = 0;
    return text[0] == L'{' && SUCCEEDED(::CLSIDFromString(text, pclsid));
}
}  // namespace

CDialogTemplate::CDialogTemplate() : m_nControls(0), m_controls()
{
}

BOOL CDialogTemplate::Load(HINSTANCE hInstance, LPCSTR lpszTemplateName)
{
    HRSRC hResource = ::FindResourceA(hInstance, lpszTemplateName, RT_DIALOG);
    if (hResource == nullptr)
        return FALSE;
    HGLOBAL hData = ::LoadResource(hInstance, hResource);
    const void* pData = hData != nullptr ? ::LockResource(hData) : nullptr;
    if (pData == nullptr)
        return FALSE;
    return SetTemplate(static_cast<const BYTE*>(pData), ::SizeofResource(hInstance, hResource));
}

BOOL CDialogTemplate::SetTemplate(const BYTE* pSource, DWORD cbTemplate)
{
    CTemplateReader in(pSource, cbTemplate);

    // Header: DLGTEMPLATEEX starts with version 1 and signature 0xFFFF, DLGTEMPLATE with the style.
    const WORD version = in.Word();
    const WORD signature = in.Word();
    const BOOL bExtended = version == 1 && signature == 0xFFFF;
    DWORD dwStyle;
    DWORD countPos;
    if (bExtended) {
        in.Dword();  // help id
        in.Dword();  // extended style
        dwStyle = in.Dword();
        countPos = in.Pos();
    } else {
        in = CTemplateReader(pSource, cbTemplate);
        dwStyle = in.Dword();
        in.Dword();  // extended style
        countPos = in.Pos();
    }
    const WORD cItems = in.Word();
    in.Skip(4 * sizeof(WORD));  // x, y, cx, cy
    in.NameOrOrdinal();         // menu
    in.NameOrOrdinal();         // window class
    in.String();                // caption
    if (dwStyle & DS_SETFONT) {
        in.Word();  // point size
        if (bExtended)
            in.Skip(sizeof(WORD) + 2 * sizeof(BYTE));  // weight, italic, character set
        in.String();                                   // face name
    }
    if (!in.Ok())
        return FALSE;
    const DWORD headerEnd = in.Pos();

    // At most three bytes of alignment padding per item can be added.
    CHeapBlock out;
    if (!out.Allocate(cbTemplate + 4 * cItems + 4))
        return FALSE;
    BYTE* pOut = static_cast<BYTE*>(out.Get());
    memcpy(pOut, pSource, headerEnd);
    DWORD outPos = headerEnd;
    WORD cKept = 0;
    m_nControls = 0;

    for (WORD item = 0; item < cItems; ++item) {
        in.AlignDword();
        const DWORD itemStart = in.Pos();
        AfxControlItem control = {};
        if (bExtended) {
            in.Dword();  // help id
            in.Dword();  // extended style
            control.dwStyle = in.Dword();
        } else {
            control.dwStyle = in.Dword();
            in.Dword();  // extended style
        }
        const short x = static_cast<short>(in.Word());
        const short y = static_cast<short>(in.Word());
        const short cx = static_cast<short>(in.Word());
        const short cy = static_cast<short>(in.Word());
        control.nID = bExtended ? in.Dword() : in.Word();
        const DWORD classPos = in.NameOrOrdinal();
        in.NameOrOrdinal();  // title
        in.Skip(in.Word());  // creation data, counted in bytes after the count
        if (!in.Ok())
            break;

        if (classPos != 0 && ClassIdFromItemClass(in.At(classPos), &control.clsid)) {
            if (m_nControls == kMaxControls)
                continue;
            control.rcDialogUnits = {x, y, x + cx, y + cy};
            m_controls[m_nControls++] = control;
            continue;
        }
        outPos = (outPos + 3) & ~3u;
        memcpy(pOut + outPos, in.At(itemStart), in.Pos() - itemStart);
        outPos += in.Pos() - itemStart;
        ++cKept;
    }
    if (!in.Ok())
        return FALSE;
    memcpy(pOut + countPos, &cKept, sizeof(cKept));
    m_block = std::move(out);
    return TRUE;
}

BOOL AfxFindControlState(HINSTANCE hInstance, LPCSTR lpszTemplateName, UINT nID, const BYTE** ppData, DWORD* pcb)
{
    HRSRC hResource = ::FindResourceA(hInstance, lpszTemplateName, MAKEINTRESOURCEA(kDlgInitResourceType));
    if (hResource == nullptr)
        return FALSE;
    HGLOBAL hData = ::LoadResource(hInstance, hResource);
    const BYTE* pData = hData != nullptr ? static_cast<const BYTE*>(::LockResource(hData)) : nullptr;
    if (pData == nullptr)
        return FALSE;
    CTemplateReader in(pData, ::SizeofResource(hInstance, hResource));
    for (;;) {
        const WORD ctrlId = in.Word();
        if (!in.Ok() || ctrlId == 0)
            return FALSE;
        const WORD message = in.Word();
        const DWORD cb = in.Dword();
        const DWORD dataPos = in.Pos();
        in.Skip(cb);
        if (!in.Ok())
            return FALSE;
        if (ctrlId == nID && message == kOccLoadFromStream) {
            *ppData = pData + dataPos;
            *pcb = cb;
            return TRUE;
        }
    }
}
