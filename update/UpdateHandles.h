#pragma once
#include <windows.h>
#include <wininet.h>
#include <wincrypt.h>

#include "framework/AfxHandles.h"

// The owners that only the update code needs: WinINet handles and certificate contexts.

struct CInternetHandleTraits
{
    using Handle = HINTERNET;
    static HINTERNET Invalid() { return nullptr; }
    static bool IsValid(HINTERNET handle) { return handle != nullptr; }
    static void Close(HINTERNET handle) { InternetCloseHandle(handle); }
};
using CInternetHandle = CScopedHandle<CInternetHandleTraits>;

struct CCertContextTraits
{
    using Handle = PCCERT_CONTEXT;
    static PCCERT_CONTEXT Invalid() { return nullptr; }
    static bool IsValid(PCCERT_CONTEXT context) { return context != nullptr; }
    static void Close(PCCERT_CONTEXT context) { CertFreeCertificateContext(context); }
};
using CCertContext = CScopedHandle<CCertContextTraits>;
