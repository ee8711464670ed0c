// tvsp-rig.exe: fake COM-port devices and the test CA's trust inside the test prefix.
#include <windows.h>
#include <wincrypt.h>

#include <cstdio>
#include <cwchar>
#include <string>
#include <vector>

#include "base/win/file_io.h"
#include "base/win/strings.h"
#include "testing/wine/port_registration.h"

namespace {

constexpr const char* kUsage =
    "usage: tvsp-rig port-add N SERIAL [HWID] | port-remove SERIAL | port-list | trust-ca FILE.der\n"
    "  port-add registers USB\\VID_0E8D&PID_0003\\SERIAL in class Ports with PortName COM<N>\n"
    "  (N = 0: no PortName); HWID defaults to USB\\VID_0E8D&PID_0003\n"
    "  trust-ca adds the DER certificate to the local machine's Root store, replacing a copy\n";

void PrintLine(FILE* stream, const std::wstring& text) {
    const std::string utf8 = TVSP::WideToUtf8(text) + "\n";
    std::fwrite(utf8.data(), 1, utf8.size(), stream);
    std::fflush(stream);
}

int Failure(const std::wstring& reason) {
    PrintLine(stderr, L"tvsp-rig: " + reason);
    return 1;
}

// Strict decimal 0..255: a typo must not register some other port.
bool ParseComNumber(const wchar_t* text, int* number) {
    if (!*text || std::wcslen(text) > 3) return false;
    int value = 0;
    for (const wchar_t* p = text; *p; ++p) {
        if (*p < L'0' || *p > L'9') return false;
        value = value * 10 + (*p - L'0');
    }
    if (value > 255) return false;
    *number = value;
    return true;
}

// The test update server's CA becomes a trusted root of this prefix, so HTTPS is checked the
// normal way rather than with validation switched off.
bool TrustRootCertificate(const std::wstring& derFile, std::wstring* error) {
    std::string der;
    // A certificate is a few KiB; anything much larger is not one.
    if (TVSP::ReadWholeFile(derFile, 1 << 20, der) != TVSP::FileReadResult::Ok || der.empty()) {
        *error = L"cannot read " + derFile;
        return false;
    }
    HCERTSTORE store = ::CertOpenStore(CERT_STORE_PROV_SYSTEM_W, 0, 0, CERT_SYSTEM_STORE_LOCAL_MACHINE, L"Root");
    if (store == nullptr) {
        *error = L"cannot open the local machine's Root store: " + std::to_wstring(::GetLastError());
        return false;
    }
    const BOOL added = ::CertAddEncodedCertificateToStore(store, X509_ASN_ENCODING,
                                                          reinterpret_cast<const BYTE*>(der.data()),
                                                          static_cast<DWORD>(der.size()),
                                                          CERT_STORE_ADD_REPLACE_EXISTING, nullptr);
    const DWORD lastError = ::GetLastError();
    ::CertCloseStore(store, 0);
    if (!added) {
        *error = L"CertAddEncodedCertificateToStore failed: " + std::to_wstring(lastError);
        return false;
    }
    return true;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
    if (argc < 2) {
        std::fputs(kUsage, stderr);
        return 2;
    }
    const std::wstring command = argv[1];
    std::wstring error;

    if (command == L"port-add" && (argc == 4 || argc == 5)) {
        int comNumber = 0;
        if (!ParseComNumber(argv[2], &comNumber)) return Failure(L"bad COM number: " + std::wstring(argv[2]));
        const std::wstring hardwareId = argc == 5 ? std::wstring(argv[4]) : std::wstring(tvsp::rig::kWatchHardwareId);
        if (!tvsp::rig::AddPortDevice(comNumber, argv[3], hardwareId, &error)) return Failure(error);
        return 0;
    }
    if (command == L"port-remove" && argc == 3) {
        if (!tvsp::rig::RemovePortDevice(argv[2], &error)) return Failure(error);
        return 0;
    }
    if (command == L"port-list" && argc == 2) {
        std::vector<tvsp::rig::PortDevice> devices;
        if (!tvsp::rig::ListPortDevices(&devices, &error)) return Failure(error);
        for (const auto& d : devices) PrintLine(stdout, d.portName + L"\t" + d.hardwareId + L"\t" + d.instanceId);
        return 0;
    }
    if (command == L"trust-ca" && argc == 3) {
        if (!TrustRootCertificate(argv[2], &error)) return Failure(error);
        return 0;
    }
    std::fputs(kUsage, stderr);
    return 2;
}
