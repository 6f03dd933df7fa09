// Trusts a root certificate for the whole Wine prefix: adds it to the machine-wide Root store.
//   trust-root.exe <certificate file (DER or PEM)>
#include <windows.h>
#include <wincrypt.h>

#include "update/UpdateHandles.h"

namespace {
struct CCertStoreTraits
{
    using Handle = HCERTSTORE;
    static HCERTSTORE Invalid() { return nullptr; }
    static bool IsValid(HCERTSTORE store) { return store != nullptr; }
    static void Close(HCERTSTORE store) { CertCloseStore(store, 0); }
};
using CCertStore = CScopedHandle<CCertStoreTraits>;
}  // namespace

int main(int argc, char** argv)
{
    wchar_t path[MAX_PATH];
    CCertContext certificate;
    if (argc != 2 || !MultiByteToWideChar(CP_ACP, 0, argv[1], -1, path, MAX_PATH) ||
        !CryptQueryObject(CERT_QUERY_OBJECT_FILE, path, CERT_QUERY_CONTENT_FLAG_CERT, CERT_QUERY_FORMAT_FLAG_ALL, 0,
                          nullptr, nullptr, nullptr, nullptr, nullptr,
                          reinterpret_cast<const void**>(certificate.Receive())))
        return 2;
    const CCertStore root(CertOpenStore(CERT_STORE_PROV_SYSTEM_A, 0, 0,
                                        CERT_SYSTEM_STORE_LOCAL_MACHINE | CERT_STORE_OPEN_EXISTING_FLAG, "Root"));
    if (!root.IsValid() ||
        !CertAddCertificateContextToStore(root.Get(), certificate.Get(), CERT_STORE_ADD_REPLACE_EXISTING, nullptr))
        return 3;
    return 0;
}
