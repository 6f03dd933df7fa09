// Trusts a root certificate for the whole Wine prefix: adds it to the machine-wide Root store.
//   trust-root.exe <certificate.cer (DER)>
#include <windows.h>
#include <wincrypt.h>

#include <stdio.h>

#include "framework/AfxHandles.h"

int main(int argc, char** argv)
{
    if (argc != 2)
        return 2;
    FILE* file = fopen(argv[1], "rb");
    if (!file)
        return 3;
    BYTE der[16384];
    const size_t size = fread(der, 1, sizeof der, file);
    fclose(file);
    CCertStore root(CertOpenStore(CERT_STORE_PROV_SYSTEM_A, 0, 0,
                                  CERT_SYSTEM_STORE_LOCAL_MACHINE | CERT_STORE_OPEN_EXISTING_FLAG, "Root"));
    if (!root || size == 0 || size == sizeof der)
        return 4;
    return CertAddEncodedCertificateToStore(root.Get(), X509_ASN_ENCODING, der, DWORD(size),
                                            CERT_STORE_ADD_REPLACE_EXISTING, nullptr)
               ? 0
               : 5;
}
