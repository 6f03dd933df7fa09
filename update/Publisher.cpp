#include "update/Publisher.h"

#include <windows.h>
#include <wincrypt.h>
#include <wintrust.h>
#include <softpub.h>

#include "framework/AfxHandles.h"
#include "update/UpdateHandles.h"
#include "update/PeImage.h"

namespace {

// The platform's verification of one file, and the state it keeps: the signer, its certificate
// and its chain live in that state until it is closed, exactly once.
class CTrustState
{
public:
    // With a handle, the file held open is the one judged: others may not be able to open it by its path.
    explicit CTrustState(const char* path, HANDLE file = nullptr) : m_result(TRUST_E_NOSIGNATURE)
    {
        ZeroMemory(&m_file, sizeof m_file);
        ZeroMemory(&m_data, sizeof m_data);
        if (!MultiByteToWideChar(CP_ACP, 0, path, -1, m_path, MAX_PATH))
            return;
        m_file.cbStruct = sizeof m_file;
        m_file.pcwszFilePath = m_path;
        m_file.hFile = file;
        m_data.cbStruct = sizeof m_data;
        m_data.dwUIChoice = WTD_UI_NONE;
        // No online revocation check and no URL fetched but from the cache: a slow or hostile network
        // must never hold the window.
        m_data.fdwRevocationChecks = WTD_REVOKE_NONE;
        m_data.dwProvFlags = WTD_REVOCATION_CHECK_NONE | WTD_CACHE_ONLY_URL_RETRIEVAL;
        m_data.dwUnionChoice = WTD_CHOICE_FILE;
        m_data.pFile = &m_file;
        m_data.dwStateAction = WTD_STATEACTION_VERIFY;
        GUID action = WINTRUST_ACTION_GENERIC_VERIFY_V2;
        m_result = WinVerifyTrust(static_cast<HWND>(INVALID_HANDLE_VALUE), &action, &m_data);
    }
    ~CTrustState()
    {
        if (!m_data.hWVTStateData)
            return;
        m_data.dwStateAction = WTD_STATEACTION_CLOSE;
        GUID action = WINTRUST_ACTION_GENERIC_VERIFY_V2;
        WinVerifyTrust(static_cast<HWND>(INVALID_HANDLE_VALUE), &action, &m_data);
    }
    CTrustState(const CTrustState&) = delete;
    CTrustState& operator=(const CTrustState&) = delete;

    // The file is whole as signed: its digest matches and the signature over it holds.
    bool Verified() const { return m_result == ERROR_SUCCESS; }

    // The first signer, with its own certificate first in its chain; null when the state has none.
    const CRYPT_PROVIDER_SGNR* Signer() const
    {
        if (!m_data.hWVTStateData)
            return nullptr;
        CRYPT_PROVIDER_DATA* provider = WTHelperProvDataFromStateData(m_data.hWVTStateData);
        CRYPT_PROVIDER_SGNR* signer = provider ? WTHelperGetProvSignerFromChain(provider, 0, FALSE, 0) : nullptr;
        if (!signer || signer->csCertChain == 0 || !signer->pasCertChain || !signer->pasCertChain[0].pCert)
            return nullptr;
        return signer;
    }

private:
    WCHAR m_path[MAX_PATH];
    WINTRUST_FILE_INFO m_file;
    WINTRUST_DATA m_data;
    LONG m_result;
};

// The platform may pass a signature whose chain ends at a root nobody trusts (Wine does), so the chain
// is judged explicitly: whole, free of any error, and accepted by the code-signing policy. The policy
// alone is not enough there: Wine's passes a chain cut short at an issuer it cannot find.
bool ChainTrustedForCodeSigning(const CRYPT_PROVIDER_SGNR& signer)
{
    if (!signer.pChainContext || signer.pChainContext->TrustStatus.dwErrorStatus != CERT_TRUST_NO_ERROR)
        return false;
    CERT_CHAIN_POLICY_PARA para;
    ZeroMemory(&para, sizeof para);
    para.cbSize = sizeof para;
    CERT_CHAIN_POLICY_STATUS status;
    ZeroMemory(&status, sizeof status);
    status.cbSize = sizeof status;
    return CertVerifyCertificateChainPolicy(CERT_CHAIN_POLICY_AUTHENTICODE, signer.pChainContext, &para, &status) &&
           status.dwError == ERROR_SUCCESS;
}

// The certificate of the reference's signer. The reference is the program already in place: its
// signer only names the publisher, so a certificate that has expired since does not block the update.
CCertContext SignerOf(const char* path)
{
    CTrustState state(path);
    const CRYPT_PROVIDER_SGNR* signer = state.Signer();
    return CCertContext(signer ? CertDuplicateCertificateContext(signer->pasCertChain[0].pCert) : nullptr);
}

}  // namespace

bool CarriesSignature(const char* path)
{
    CKernelHandle file(CreateFileA(path, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                   OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file.IsValid()) {
        const DWORD error = GetLastError();
        return error != ERROR_FILE_NOT_FOUND && error != ERROR_PATH_NOT_FOUND;
    }
    // Anything that is not a program has no signature that could name a publisher.
    PeFacts facts;
    return !ReadPeFacts(file.Get(), facts) || (facts.isProgram && facts.signatureBlock);
}

bool IsSignedBySamePublisher(const char* candidatePath, HANDLE candidate, const char* reference)
{
    const CCertContext publisher = SignerOf(reference);
    if (!publisher.IsValid())
        return false;
    CTrustState state(candidatePath, candidate);
    const CRYPT_PROVIDER_SGNR* signer = state.Signer();
    if (!state.Verified() || !signer || !ChainTrustedForCodeSigning(*signer))
        return false;
    // A renewed certificate keeps its subject; another publisher's does not, and a self-made copy of
    // the subject never reaches a trusted root.
    return CertCompareCertificateName(X509_ASN_ENCODING, &signer->pasCertChain[0].pCert->pCertInfo->Subject,
                                      &publisher.Get()->pCertInfo->Subject) != FALSE;
}

bool MayReplace(const char* current, const char* candidatePath, HANDLE candidate)
{
    return !CarriesSignature(current) || IsSignedBySamePublisher(candidatePath, candidate, current);
}
