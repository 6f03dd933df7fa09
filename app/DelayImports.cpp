// The program's calls into DLLs that are not KnownDLLs. The loader would look for those beside the
// program first, in a folder every user can write, and would load them at start-up. Instead each of
// their import slots starts at a binder: the first call loads the DLL by its full path in the system
// folder, finds the function, puts it in the slot and goes on; later calls go straight through.
// The slots carry the names the compiler gives dllimport references, so the calling code is unchanged.
#include <windows.h>
#include <commctrl.h>
#include <wincrypt.h>
#include <wininet.h>
#include <wintrust.h>
#include <softpub.h>

#include "framework/AfxPath.h"

namespace {

// A DLL or a function of it that every supported Windows ships is missing: nothing sound can follow,
// and no made-up result may pass for the platform's (a signature check must never seem to succeed).
FARPROC Resolve(const char* dll, const char* name)
{
    char system[MAX_PATH];
    char path[MAX_PATH];
    const UINT length = GetSystemDirectoryA(system, MAX_PATH);
    HMODULE module = length != 0 && length < MAX_PATH && ComposePath(path, MAX_PATH, system, "\\", dll)
                         ? LoadLibraryA(path)
                         : nullptr;
    FARPROC function = module ? GetProcAddress(module, name) : nullptr;
    if (!function)
        RaiseFailFastException(nullptr, nullptr, 0);
    return function;
}

template <class Function>
struct Binder;

template <class Result, class... Arguments>
struct Binder<Result(WINAPI*)(Arguments...)>
{
    using Function = Result(WINAPI*)(Arguments...);

    template <Function* Slot, const char* Dll, const char* Name>
    static Result WINAPI Bind(Arguments... arguments)
    {
        *Slot = reinterpret_cast<Function>(Resolve(Dll, Name));
        return (*Slot)(arguments...);
    }
};

const char kComctl32[] = "comctl32.dll";
const char kCrypt32[] = "crypt32.dll";
const char kVersion[] = "version.dll";
const char kWininet[] = "wininet.dll";
const char kWintrust[] = "wintrust.dll";

}  // namespace

// i686 decorates a stdcall import with its argument bytes; x86_64 does not decorate.
#if defined(__i386__)
#define QUOREL_IMPORT_SLOT(name, bytes) "__imp__" #name "@" #bytes
#else
#define QUOREL_IMPORT_SLOT(name, bytes) "__imp_" #name
#endif

#define QUOREL_DELAY_IMPORT(dll, name, bytes)                                                \
    extern "C" decltype(&::name) quorelSlot_##name __asm__(QUOREL_IMPORT_SLOT(name, bytes)); \
    namespace {                                                                              \
    const char kName_##name[] = #name;                                                       \
    }                                                                                        \
    decltype(&::name) quorelSlot_##name = &Binder<decltype(&::name)>::Bind<&quorelSlot_##name, dll, kName_##name>;

QUOREL_DELAY_IMPORT(kComctl32, InitCommonControlsEx, 4)
QUOREL_DELAY_IMPORT(kCrypt32, CertCompareCertificateName, 12)
QUOREL_DELAY_IMPORT(kCrypt32, CertDuplicateCertificateContext, 4)
QUOREL_DELAY_IMPORT(kCrypt32, CertFreeCertificateContext, 4)
QUOREL_DELAY_IMPORT(kCrypt32, CertVerifyCertificateChainPolicy, 16)
QUOREL_DELAY_IMPORT(kVersion, GetFileVersionInfoA, 16)
QUOREL_DELAY_IMPORT(kVersion, GetFileVersionInfoSizeA, 8)
QUOREL_DELAY_IMPORT(kVersion, VerQueryValueA, 16)
QUOREL_DELAY_IMPORT(kWininet, HttpOpenRequestA, 32)
QUOREL_DELAY_IMPORT(kWininet, HttpQueryInfoA, 20)
QUOREL_DELAY_IMPORT(kWininet, HttpSendRequestA, 20)
QUOREL_DELAY_IMPORT(kWininet, InternetCanonicalizeUrlA, 16)
QUOREL_DELAY_IMPORT(kWininet, InternetCloseHandle, 4)
QUOREL_DELAY_IMPORT(kWininet, InternetConnectA, 32)
QUOREL_DELAY_IMPORT(kWininet, InternetCrackUrlA, 16)
QUOREL_DELAY_IMPORT(kWininet, InternetGetConnectedState, 8)
QUOREL_DELAY_IMPORT(kWininet, InternetOpenA, 20)
QUOREL_DELAY_IMPORT(kWininet, InternetQueryDataAvailable, 16)
QUOREL_DELAY_IMPORT(kWininet, InternetQueryOptionA, 16)
QUOREL_DELAY_IMPORT(kWininet, InternetReadFile, 16)
QUOREL_DELAY_IMPORT(kWininet, InternetSetOptionA, 16)
QUOREL_DELAY_IMPORT(kWintrust, WTHelperGetProvSignerFromChain, 16)
QUOREL_DELAY_IMPORT(kWintrust, WTHelperProvDataFromStateData, 4)
QUOREL_DELAY_IMPORT(kWintrust, WinVerifyTrust, 12)
