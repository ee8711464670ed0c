// Code-signature checks under Wine on files the build signed, stripped, tampered with and signed with other keys.
#include <gtest/gtest.h>

#include <windows.h>

#include <cstddef>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "device/cab_extractor.h"
#include "device/code_signature.h"
#include "base/win/file_io.h"
#include "device/system_utils.h"
#include "base/win/strings.h"

namespace TVSP {
// Readable names in assertion messages.
void PrintTo(SignatureCheck result, std::ostream* out) { *out << SignatureCheckName(result); }
}  // namespace TVSP

namespace {

using TVSP::SignatureCheck;

constexpr HRESULT kNoSignature = static_cast<HRESULT>(0x800B0100);    // TRUST_E_NOSIGNATURE
constexpr HRESULT kBadDigest = static_cast<HRESULT>(0x80096010);      // TRUST_E_BAD_DIGEST
constexpr HRESULT kUnknownSubject = static_cast<HRESULT>(0x800B0003);  // TRUST_E_SUBJECT_FORM_UNKNOWN
constexpr HRESULT kSentinel = static_cast<HRESULT>(0x7E57C0DE);

std::wstring DataDir() { return TVSP::GetOwnDirectory() + L"\\signature_data"; }
std::wstring Data(const wchar_t* name) { return DataDir() + L"\\" + name; }

std::vector<unsigned char> ReadAll(const std::wstring& path) {
    std::ifstream in(TVSP::WideToUtf8(path), std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

struct Row {
    const wchar_t* file;
    SignatureCheck expected;
    HRESULT trust;
};

// Every kind of file the tool meets, with WinVerifyTrust's exact answer under Wine.
const Row kRows[] = {
    {L"signed.dll", SignatureCheck::Valid, S_OK},
    {L"brom.dll", SignatureCheck::Valid, S_OK},  // a companion as the build ships it
    {L"unsigned.dll", SignatureCheck::Unsigned, kNoSignature},
    {L"tampered.dll", SignatureCheck::Tampered, kBadDigest},
    {L"foreign.dll", SignatureCheck::WrongSigner, S_OK},
    {L"impostor.dll", SignatureCheck::WrongSigner, S_OK},  // same subject name as the maker, other key
    {L"signed.cab", SignatureCheck::Valid, S_OK},
    {L"unsigned.cab", SignatureCheck::Unsigned, kNoSignature},
    {L"tampered.cab", SignatureCheck::Tampered, kBadDigest},
    {L"foreign.cab", SignatureCheck::WrongSigner, S_OK},
    {L"not-a-pe.txt", SignatureCheck::Unsigned, kUnknownSubject},
    {L"empty.dll", SignatureCheck::Unsigned, kUnknownSubject},
    {L"missing.dll", SignatureCheck::Missing, HRESULT_FROM_WIN32(ERROR_FILE_NOT_FOUND)},
    {L"no-such-folder\\GPS_DL.dll", SignatureCheck::Missing, HRESULT_FROM_WIN32(ERROR_PATH_NOT_FOUND)},
    {L"cab", SignatureCheck::Error, HRESULT_FROM_WIN32(ERROR_ACCESS_DENIED)},  // a folder
};

TEST(CodeSignature, EachKindOfFileGetsItsExactResult) {
    for (const Row& row : kRows) {
        SCOPED_TRACE(TVSP::WideToUtf8(row.file));
        HRESULT trust = kSentinel;
        EXPECT_EQ(TVSP::VerifyCodeSignature(Data(row.file), &trust), row.expected);
        EXPECT_EQ(static_cast<unsigned long>(trust), static_cast<unsigned long>(row.trust));
        EXPECT_EQ(TVSP::IsSignedByMaker(Data(row.file)), row.expected == SignatureCheck::Valid);
    }
}

TEST(CodeSignature, EmptyPathIsMissing) {
    HRESULT trust = kSentinel;
    EXPECT_EQ(TVSP::VerifyCodeSignature(L"", &trust), SignatureCheck::Missing);
    EXPECT_EQ(trust, HRESULT_FROM_WIN32(ERROR_FILE_NOT_FOUND));
    EXPECT_FALSE(TVSP::IsSignedByMaker(L""));
}

// The tampered copies must differ from the signed ones in one byte only, or "Tampered" would
// prove less than it claims.
TEST(CodeSignature, TamperedCopiesDifferInExactlyOneByte) {
    for (const auto& [signedName, tamperedName] :
         {std::pair{L"signed.dll", L"tampered.dll"}, std::pair{L"signed.cab", L"tampered.cab"}}) {
        SCOPED_TRACE(TVSP::WideToUtf8(tamperedName));
        const auto original = ReadAll(Data(signedName));
        const auto changed = ReadAll(Data(tamperedName));
        ASSERT_FALSE(original.empty());
        ASSERT_EQ(original.size(), changed.size());
        std::size_t differing = 0;
        for (std::size_t i = 0; i < original.size(); ++i) differing += original[i] != changed[i];
        EXPECT_EQ(differing, 1u);
    }
}

TEST(CodeSignature, RelativePathIsResolvedAgainstCurrentDirectory) {
    wchar_t saved[MAX_PATH] = {};
    ASSERT_NE(::GetCurrentDirectoryW(MAX_PATH, saved), 0u);
    ASSERT_TRUE(::SetCurrentDirectoryW(DataDir().c_str()));
    const SignatureCheck good = TVSP::VerifyCodeSignature(L"signed.dll");
    const SignatureCheck bad = TVSP::VerifyCodeSignature(L".\\tampered.dll");
    ::SetCurrentDirectoryW(saved);
    EXPECT_EQ(good, SignatureCheck::Valid);
    EXPECT_EQ(bad, SignatureCheck::Tampered);
}

// The check must not leave the file open or locked: the caller replaces or deletes it next.
TEST(CodeSignature, FileCanBeDeletedRightAfterTheCheck) {
    wchar_t temp[MAX_PATH] = {};
    ASSERT_NE(::GetTempPathW(MAX_PATH, temp), 0u);
    const std::wstring copy = std::wstring(temp) + L"tvsp_signature_check.dll";
    ASSERT_TRUE(::CopyFileW(Data(L"signed.dll").c_str(), copy.c_str(), FALSE));
    for (int i = 0; i < 3; ++i) EXPECT_EQ(TVSP::VerifyCodeSignature(copy), SignatureCheck::Valid);
    EXPECT_TRUE(::DeleteFileW(copy.c_str())) << ::GetLastError();
}

// The pinned certificate, not the signature alone, decides: every byte of it counts.
TEST(CodeSignature, OnlyTheExactPinnedCertificateMatches) {
    std::size_t size = 0;
    const unsigned char* maker = TVSP::MakerCertificate(&size);
    ASSERT_GT(size, 100u);
    ASSERT_EQ(maker[0], 0x30);  // a DER SEQUENCE
    const std::vector<unsigned char> pin(maker, maker + size);
    const std::wstring file = Data(L"signed.dll");

    EXPECT_EQ(TVSP::VerifyCodeSignatureAgainst(file, pin.data(), pin.size()), SignatureCheck::Valid);

    std::vector<unsigned char> shorter(pin.begin(), pin.end() - 1);
    EXPECT_EQ(TVSP::VerifyCodeSignatureAgainst(file, shorter.data(), shorter.size()), SignatureCheck::WrongSigner);
    std::vector<unsigned char> longer = pin;
    longer.push_back(0);
    EXPECT_EQ(TVSP::VerifyCodeSignatureAgainst(file, longer.data(), longer.size()), SignatureCheck::WrongSigner);
    for (std::size_t at : {std::size_t{0}, size / 2, size - 1}) {
        std::vector<unsigned char> flipped = pin;
        flipped[at] ^= 0x01;
        EXPECT_EQ(TVSP::VerifyCodeSignatureAgainst(file, flipped.data(), flipped.size()), SignatureCheck::WrongSigner)
            << "byte " << at;
    }
    EXPECT_EQ(TVSP::VerifyCodeSignatureAgainst(file, nullptr, 0), SignatureCheck::WrongSigner);
}

// Pinning another certificate turns the roles round: its files pass, the maker's do not.
TEST(CodeSignature, PinOfAnotherSignerAcceptsOnlyThatSigner) {
    const auto foreign = ReadAll(Data(L"foreign.der"));
    ASSERT_FALSE(foreign.empty());
    for (const auto& [name, expected] : {std::pair{L"foreign.dll", SignatureCheck::Valid},
                                         std::pair{L"foreign.cab", SignatureCheck::Valid},
                                         std::pair{L"signed.dll", SignatureCheck::WrongSigner},
                                         std::pair{L"impostor.dll", SignatureCheck::WrongSigner},
                                         std::pair{L"tampered.dll", SignatureCheck::Tampered}}) {
        SCOPED_TRACE(TVSP::WideToUtf8(name));
        EXPECT_EQ(TVSP::VerifyCodeSignatureAgainst(Data(name), foreign.data(), foreign.size()), expected);
    }
}

// A copy of a data file with one byte changed, in the temporary folder.
std::wstring ChangedCopy(const wchar_t* name, std::size_t offset) {
    auto bytes = ReadAll(Data(name));
    if (offset >= bytes.size()) return {};
    bytes[offset] ^= 0x20;
    wchar_t temp[MAX_PATH] = {};
    if (::GetTempPathW(MAX_PATH, temp) == 0) return {};
    const std::wstring copy = std::wstring(temp) + L"tvsp_changed_" + name;
    return TVSP::WriteWholeFile(copy, bytes.data(), bytes.size()) ? copy : std::wstring();
}

// Which bytes the digest covers, at the edges of every range. What Windows leaves out (the
// reserved fields, iCabinet, the signature's own place) may change; anything else is tampering.
TEST(CodeSignature, CabinetDigestCoversExactlyTheHashedRanges) {
    const auto cab = ReadAll(Data(L"signed.cab"));
    ASSERT_GT(cab.size(), 60u);
    const std::size_t filesAt = cab[16] | (cab[17] << 8);
    const std::size_t signatureAt = cab[44] | (cab[45] << 8) | (cab[46] << 16);
    const struct {
        std::size_t offset;
        SignatureCheck expected;
        HRESULT trust;
    } rows[] = {
        // Without its magic or its version the file is no cabinet to the provider at all.
        {0, SignatureCheck::Unsigned, kUnknownSubject},  // "MSCF"
        {3, SignatureCheck::Unsigned, kUnknownSubject},
        {4, SignatureCheck::Valid, S_OK},  // reserved1, not hashed
        {7, SignatureCheck::Valid, S_OK},
        {8, SignatureCheck::Tampered, kBadDigest},  // cbCabinet
        {24, SignatureCheck::Unsigned, kNoSignature},  // version
        {28, SignatureCheck::Tampered, kBadDigest},  // cFiles
        {33, SignatureCheck::Tampered, kBadDigest},  // setID
        {34, SignatureCheck::Valid, S_OK},  // iCabinet, not hashed
        {35, SignatureCheck::Valid, S_OK},
        {56, SignatureCheck::Tampered, kBadDigest},  // last 4 bytes of the signature reserve
        {59, SignatureCheck::Tampered, kBadDigest},
        {60, SignatureCheck::Tampered, kBadDigest},  // first folder entry
        {filesAt + 16, SignatureCheck::Tampered, kBadDigest},  // a member's name
        {signatureAt - 1, SignatureCheck::Tampered, kBadDigest},  // last data byte
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.offset);
        const std::wstring copy = ChangedCopy(L"signed.cab", row.offset);
        ASSERT_FALSE(copy.empty());
        HRESULT trust = kSentinel;
        EXPECT_EQ(TVSP::VerifyCodeSignature(copy, &trust), row.expected);
        EXPECT_EQ(static_cast<unsigned long>(trust), static_cast<unsigned long>(row.trust));
        ::DeleteFileW(copy.c_str());
    }
}

// The PE checksum is outside the digest (signing rewrites it); the code is not.
TEST(CodeSignature, PeChecksumIsOutsideTheDigest) {
    const auto pe = ReadAll(Data(L"signed.dll"));
    ASSERT_GT(pe.size(), 0x400u);
    const std::size_t header = pe[0x3C] | (pe[0x3D] << 8);
    const std::size_t checksum = header + 24 + 64;
    for (const auto& [offset, expected] : {std::pair{checksum, SignatureCheck::Valid},
                                           std::pair{checksum + 3, SignatureCheck::Valid},
                                           std::pair{checksum + 4, SignatureCheck::Tampered}}) {
        SCOPED_TRACE(offset);
        const std::wstring copy = ChangedCopy(L"signed.dll", offset);
        ASSERT_FALSE(copy.empty());
        EXPECT_EQ(TVSP::VerifyCodeSignature(copy), expected);
        ::DeleteFileW(copy.c_str());
    }
}

// A signature adds a reserve area to the cabinet header; the extractor must read past it.
TEST(CodeSignature, SignedCabinetStillExtracts) {
    wchar_t temp[MAX_PATH] = {};
    ASSERT_NE(::GetTempPathW(MAX_PATH, temp), 0u);
    const std::wstring target = std::wstring(temp) + L"tvsp_signed_cab";
    TVSP::DeleteDirectory(target);
    ASSERT_TRUE(::CreateDirectoryW(target.c_str(), nullptr));
    CCabExtrator extractor;
    EXPECT_EQ(extractor.Extract(Data(L"signed.cab").c_str(), target.c_str()), S_OK);
    const auto cfg = ReadAll(target + L"\\rom.cfg");
    const auto notes = ReadAll(target + L"\\notes.txt");
    EXPECT_EQ(std::string(cfg.begin(), cfg.end()), "region=ROM\nsize=4096\n");
    EXPECT_EQ(std::string(notes.begin(), notes.end()), "signed cabinet member\n");
    TVSP::DeleteDirectory(target);
}

}  // namespace
