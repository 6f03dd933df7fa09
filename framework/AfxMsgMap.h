#pragma once
#include <windows.h>
#include <ole2.h>

// Message maps and event sink maps: static tables, each chained to its base class's table. A lookup
// walks from the most derived table to the root; the first matching entry's handler is called with
// the parameters its signature code names.

class CCmdTarget;
class CWnd;

#define afx_msg

typedef void (CCmdTarget::*AFX_PMSG)();

// How a message-map handler is called.
enum AfxSig : UINT_PTR
{
    AfxSig_end = 0,
    AfxSig_v_v,      // void ()
    AfxSig_v_u_l,    // void (UINT, LPARAM)
    AfxSig_h_v,      // HCURSOR ()
    AfxSig_v_hdrop,  // void (HDROP)
    AfxSig_v_uptr,   // void (UINT_PTR)
    AfxSig_cmd_v,    // void (), for WM_COMMAND entries
};

struct AFX_MSGMAP_ENTRY
{
    UINT nMessage;
    UINT nCode;    // WM_COMMAND: the notification code
    UINT nID;      // WM_COMMAND: the first command id
    UINT nLastID;  // WM_COMMAND: the last command id
    UINT_PTR nSig;
    AFX_PMSG pfn;
};

struct AFX_MSGMAP
{
    const AFX_MSGMAP* (*pfnGetBaseMap)();
    const AFX_MSGMAP_ENTRY* lpEntries;
};

#define DECLARE_MESSAGE_MAP()                     \
protected:                                        \
    static const AFX_MSGMAP* GetThisMessageMap(); \
    virtual const AFX_MSGMAP* GetMessageMap() const;

#define BEGIN_MESSAGE_MAP(theClass, baseClass)        \
    const AFX_MSGMAP* theClass::GetMessageMap() const \
    {                                                 \
        return GetThisMessageMap();                   \
    }                                                 \
    const AFX_MSGMAP* theClass::GetThisMessageMap()   \
    {                                                 \
        using ThisClass [[maybe_unused]] = theClass;  \
        using TheBaseClass = baseClass;               \
        static const AFX_MSGMAP_ENTRY s_entries[] = {

#define END_MESSAGE_MAP()                                                              \
    {                                                                                  \
        0, 0, 0, 0, AfxSig_end, nullptr                                                \
    }                                                                                  \
    }                                                                                  \
    ;                                                                                  \
    static const AFX_MSGMAP s_map = {&TheBaseClass::GetThisMessageMap, &s_entries[0]}; \
    return &s_map;                                                                     \
    }

// Handlers are given as they are declared in the class (or in a base); each entry converts the
// handler to the table's common pointer type through its exact signature, so a handler with the
// wrong parameters does not compile.
#define AFX_MSG_ENTRY(message, sig, signature, handler) \
    {message, 0, 0, 0, sig, reinterpret_cast<AFX_PMSG>(static_cast<signature>(&ThisClass::handler))},

#define ON_WM_SYSCOMMAND() AFX_MSG_ENTRY(WM_SYSCOMMAND, AfxSig_v_u_l, void (CWnd::*)(UINT, LPARAM), OnSysCommand)
#define ON_WM_PAINT() AFX_MSG_ENTRY(WM_PAINT, AfxSig_v_v, void (CWnd::*)(), OnPaint)
#define ON_WM_QUERYDRAGICON() AFX_MSG_ENTRY(WM_QUERYDRAGICON, AfxSig_h_v, HCURSOR (CWnd::*)(), OnQueryDragIcon)
#define ON_WM_DROPFILES() AFX_MSG_ENTRY(WM_DROPFILES, AfxSig_v_hdrop, void (CWnd::*)(HDROP), OnDropFiles)
#define ON_WM_CANCELMODE() AFX_MSG_ENTRY(WM_CANCELMODE, AfxSig_v_v, void (CWnd::*)(), OnCancelMode)
#define ON_WM_TIMER() AFX_MSG_ENTRY(WM_TIMER, AfxSig_v_uptr, void (CWnd::*)(UINT_PTR), OnTimer)
#define ON_WM_CLOSE() AFX_MSG_ENTRY(WM_CLOSE, AfxSig_v_v, void (CWnd::*)(), OnClose)

// A command (menu item, accelerator or button click) with this id; memberFxn is "OnX" or "CBase::OnX".
#define ON_COMMAND(id, memberFxn) \
    {WM_COMMAND,                  \
     0,                           \
     static_cast<UINT>(id),       \
     static_cast<UINT>(id),       \
     AfxSig_cmd_v,                \
     static_cast<AFX_PMSG>(&ThisClass::memberFxn)},

// Event parameter codes, one byte per parameter (narrow-string build).
#define VTS_DISPATCH "\x09"
#define VTS_BOOL "\x0B"
#define VTS_BSTR "\x0E"
#define VTS_PVARIANT "\x4C"

// The handler signatures an event sink map supports.
enum AfxEventSig
{
    AfxEventSig_v_b,          // void (BOOL)
    AfxEventSig_v_s,          // void (LPCTSTR)
    AfxEventSig_v_disp_pvar,  // void (LPDISPATCH, VARIANT*)
};

// Each supported handler type names its signature, and each signature its parameter codes, so an
// entry's codes come from its handler and cannot disagree with it.
// clang-format off
template <class T> constexpr AfxEventSig AfxEventSigOf(void (T::*)(BOOL)) { return AfxEventSig_v_b; }
template <class T> constexpr AfxEventSig AfxEventSigOf(void (T::*)(LPCSTR)) { return AfxEventSig_v_s; }
template <class T> constexpr AfxEventSig AfxEventSigOf(void (T::*)(LPDISPATCH, VARIANT*)) { return AfxEventSig_v_disp_pvar; }
// clang-format on

constexpr const char* AfxEventParams(AfxEventSig nSig)
{
    switch (nSig) {
    case AfxEventSig_v_b:
        return VTS_BOOL;
    case AfxEventSig_v_s:
        return VTS_BSTR;
    case AfxEventSig_v_disp_pvar:
        return VTS_DISPATCH VTS_PVARIANT;
    }
    return "";
}

constexpr bool AfxSameParams(const char* pszA, const char* pszB)
{
    return *pszA == *pszB && (*pszA == '\0' || AfxSameParams(pszA + 1, pszB + 1));
}

struct AFX_EVENTHANDLER
{
    AfxEventSig nSig;
    AFX_PMSG pfn;
};

// The handler goes back to its exact type when it is called.
template <class T, class... Params>
AFX_EVENTHANDLER AfxEventHandler(void (T::*pfn)(Params...))
{
    return {AfxEventSigOf(pfn), reinterpret_cast<AFX_PMSG>(static_cast<void (CCmdTarget::*)(Params...)>(pfn))};
}

struct AFX_EVENTSINKMAP_ENTRY
{
    UINT nCtrlID;  // 0 ends the table
    DISPID dispid;
    AFX_EVENTHANDLER handler;
};

struct AFX_EVENTSINKMAP
{
    const AFX_EVENTSINKMAP* (*pfnGetBaseMap)();
    const AFX_EVENTSINKMAP_ENTRY* lpEntries;
};

#define DECLARE_EVENTSINK_MAP()                           \
protected:                                                \
    static const AFX_EVENTSINKMAP* GetThisEventSinkMap(); \
    virtual const AFX_EVENTSINKMAP* GetEventSinkMap() const;

#define BEGIN_EVENTSINK_MAP(theClass, baseClass)              \
    const AFX_EVENTSINKMAP* theClass::GetEventSinkMap() const \
    {                                                         \
        return GetThisEventSinkMap();                         \
    }                                                         \
    const AFX_EVENTSINKMAP* theClass::GetThisEventSinkMap()   \
    {                                                         \
        using TheBaseClass = baseClass;                       \
        static const AFX_EVENTSINKMAP_ENTRY s_entries[] = {

// pfnHandler is the handler's name, alone or qualified by theClass. vtsParams only restates what the
// handler's type says; the build stops where it does not.
#define ON_EVENT(theClass, id, dispid, pfnHandler, vtsParams)                                          \
    {static_cast<UINT>(id), static_cast<DISPID>(dispid), [] {                                          \
         static_assert(AfxSameParams(vtsParams, AfxEventParams(AfxEventSigOf(&theClass::pfnHandler))), \
                       "ON_EVENT: the VTS_ codes do not match the handler's parameters");              \
         return AfxEventHandler(&theClass::pfnHandler);                                                \
     }()},

#define END_EVENTSINK_MAP()                                                                    \
    {                                                                                          \
        0, 0,                                                                                  \
        {                                                                                      \
        }                                                                                      \
    }                                                                                          \
    }                                                                                          \
    ;                                                                                          \
    static const AFX_EVENTSINKMAP s_map = {&TheBaseClass::GetThisEventSinkMap, &s_entries[0]}; \
    return &s_map;                                                                             \
    }
