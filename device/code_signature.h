// Code-signature checks of modules, programs and packages: Authenticode plus the maker's pinned certificate.
#pragma once

#include <windows.h>

#include <cstddef>
#include <string>

namespace TVSP {

// Outcome of one check. Only Valid lets the caller use the file.
enum class SignatureCheck {
    Valid,        // intact, and the signer is the maker's certificate
    Unsigned,     // no signature, or a kind of file that cannot carry one
    Tampered,     // signed, but the bytes no longer match the signature
    WrongSigner,  // an intact signature by someone other than the maker
    Untrusted,    // the system refuses the signer's certificate (untrusted root, expired, revoked, wrong use)
    Missing,      // no such file or folder
    Error,        // the check could not be made (unreadable file, a folder, no provider data)
};

// Checks the Authenticode signature of a PE file or cabinet and that its signer's certificate is
// the one this build signs with. trustResult receives WinVerifyTrust's result; TRUST_E_BAD_DIGEST
// when the provider passed a cabinet whose content does not match its signature (Wine checks the
// digest of PE images only, so the cabinet digest is compared here as well); or, when the file
// could not be opened, HRESULT_FROM_WIN32 of that failure. The file is held open without write or
// delete sharing for the length of the check, so it cannot change underneath it.
[[nodiscard]] SignatureCheck VerifyCodeSignature(const std::wstring& path, HRESULT* trustResult = nullptr);

// VerifyCodeSignature(path) == SignatureCheck::Valid.
[[nodiscard]] bool IsSignedByMaker(const std::wstring& path);

// The same check against another certificate (its DER bytes); a null or empty pin matches nothing.
[[nodiscard]] SignatureCheck VerifyCodeSignatureAgainst(const std::wstring& path, const unsigned char* pinnedDer,
                                          std::size_t pinnedSize, HRESULT* trustResult = nullptr);

// DER bytes of the certificate this build signs with (fixed when the build is configured).
const unsigned char* MakerCertificate(std::size_t* size);

// "Valid", "Unsigned", ...: for logs and test output.
const char* SignatureCheckName(SignatureCheck result);

}  // namespace TVSP
