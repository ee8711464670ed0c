// tvsp-rig.exe: fake COM-port devices, removable drives and the test CA's trust inside the test prefix.
#include <windows.h>
#include <wincrypt.h>
#include <winioctl.h>

#include <cstddef>
#include <cstdio>
#include <cstring>
#include <cwchar>
#include <string>
#include <vector>

#include "base/win/file_io.h"
#include "base/win/handle.h"
#include "base/win/strings.h"
#include "testing/wine/port_registration.h"

namespace {

constexpr const char* kUsage =
    "usage: tvsp-rig port-add N SERIAL [HWID] | port-remove SERIAL | port-list | trust-ca FILE.der\n"
    "                | drive-add LETTER UNIX_DIR | drive-remove LETTER\n"
    "  port-add registers USB\\VID_0E8D&PID_0003\\SERIAL in class Ports with PortName COM<N>\n"
    "  (N = 0: no PortName); HWID defaults to USB\\VID_0E8D&PID_0003\n"
    "  trust-ca adds the DER certificate to the local machine's Root store, replacing a copy\n"
    "  drive-add makes LETTER: a removable drive on UNIX_DIR through Wine's mount manager, at once\n"
    "  for every running program of the prefix; drive-remove takes it away again\n";

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

// Wine's mount manager defines and removes drives for the running session: the link in
// dosdevices, the drive type in HKLM\Software\Wine\Drives, and the drive list every process of
// the prefix sees, with no wineserver restart. Its request layout is Wine's own (the MinGW
// header carries an older one); each request is checked by querying the drive back, so a
// layout that differs fails loudly instead of defining the wrong drive.
constexpr wchar_t kMountManager[] = L"\\\\.\\MountPointManager";
constexpr DWORD kDefineUnixDrive = CTL_CODE('m', 32, METHOD_BUFFERED, FILE_READ_ACCESS | FILE_WRITE_ACCESS);
constexpr DWORD kQueryUnixDrive = CTL_CODE('m', 33, METHOD_BUFFERED, FILE_READ_ACCESS);

struct WineUnixDrive {
    ULONG size;
    ULONG type;
    ULONG fsType;
    DWORD serial;
    ULONGLONG unixDevice;
    WCHAR letter;
    USHORT mountPointOffset;  // from the start of the request; 0: none
    USHORT deviceOffset;
    USHORT labelOffset;
};
static_assert(offsetof(WineUnixDrive, letter) == 24 && sizeof(WineUnixDrive) == 32, "Wine 8 request layout");

bool ParseDriveLetter(const wchar_t* text, wchar_t* letter) {
    const wchar_t c = text[0] >= L'A' && text[0] <= L'Z' ? static_cast<wchar_t>(text[0] - L'A' + L'a') : text[0];
    // c: holds the prefix's Windows and z: the way to every Linux file: never a test drive.
    if (text[1] != 0 || c < L'a' || c > L'z' || c == L'c' || c == L'z') return false;
    *letter = c;
    return true;
}

TVSP::unique_hfile OpenMountManager(std::wstring* error) {
    TVSP::unique_hfile manager(::CreateFileW(kMountManager, GENERIC_READ | GENERIC_WRITE,
                                             FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING, 0, nullptr));
    if (!manager) *error = L"cannot open the mount manager: " + std::to_wstring(::GetLastError());
    return manager;
}

// The drive's type and mount point as the mount manager holds them; false when it has no such drive.
bool QueryDrive(HANDLE manager, wchar_t letter, ULONG* type, std::string* mountPoint) {
    WineUnixDrive request{};
    request.size = sizeof request;
    request.letter = letter;
    std::vector<char> reply(4096);
    DWORD got = 0;
    if (!::DeviceIoControl(manager, kQueryUnixDrive, &request, sizeof request, reply.data(),
                           static_cast<DWORD>(reply.size()), &got, nullptr) ||
        got < sizeof(WineUnixDrive)) {
        return false;
    }
    WineUnixDrive answer;
    std::memcpy(&answer, reply.data(), sizeof answer);
    *type = answer.type;
    mountPoint->clear();
    if (answer.mountPointOffset >= sizeof answer && answer.mountPointOffset < got) {
        const char* text = reply.data() + answer.mountPointOffset;
        *mountPoint = std::string(text, strnlen(text, got - answer.mountPointOffset));
    }
    return true;
}

bool DefineRemovableDrive(wchar_t letter, const std::wstring& unixDir, std::wstring* error) {
    const TVSP::unique_hfile manager = OpenMountManager(error);
    if (!manager) return false;
    const std::string dir = TVSP::WideToUtf8(unixDir);
    std::vector<char> request(sizeof(WineUnixDrive) + dir.size() + 1);
    WineUnixDrive header{};
    header.size = static_cast<ULONG>(request.size());
    header.type = DRIVE_REMOVABLE;
    header.letter = letter;
    header.mountPointOffset = sizeof header;
    std::memcpy(request.data(), &header, sizeof header);
    std::memcpy(request.data() + sizeof header, dir.c_str(), dir.size() + 1);
    DWORD got = 0;
    if (!::DeviceIoControl(manager.get(), kDefineUnixDrive, request.data(), header.size, nullptr, 0, &got, nullptr)) {
        *error = L"the mount manager refused the drive: " + std::to_wstring(::GetLastError());
        return false;
    }
    ULONG type = 0;
    std::string mountPoint;
    if (!QueryDrive(manager.get(), letter, &type, &mountPoint) || type != DRIVE_REMOVABLE || mountPoint != dir) {
        *error = L"the mount manager does not hold the drive as defined (type " + std::to_wstring(type) + L", " +
                 TVSP::Utf8ToWide(mountPoint) + L")";
        return false;
    }
    return true;
}

bool RemoveDrive(wchar_t letter, std::wstring* error) {
    const TVSP::unique_hfile manager = OpenMountManager(error);
    if (!manager) return false;
    WineUnixDrive request{};
    request.size = sizeof request;
    request.type = DRIVE_NO_ROOT_DIR;
    request.letter = letter;
    DWORD got = 0;
    const BOOL removed = ::DeviceIoControl(manager.get(), kDefineUnixDrive, &request, sizeof request, nullptr, 0, &got, nullptr);
    const DWORD removeError = ::GetLastError();
    ULONG type = 0;
    std::string mountPoint;
    // A drive that is not there (any more) is the wanted end, whatever the request said.
    if (QueryDrive(manager.get(), letter, &type, &mountPoint)) {
        *error = L"the drive is still there" + (removed ? std::wstring() : L": " + std::to_wstring(removeError));
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
    if (command == L"drive-add" && argc == 4) {
        wchar_t letter = 0;
        if (!ParseDriveLetter(argv[2], &letter)) return Failure(L"bad drive letter: " + std::wstring(argv[2]));
        if (argv[3][0] != L'/') return Failure(L"the folder must be an absolute Linux path");
        if (!DefineRemovableDrive(letter, argv[3], &error)) return Failure(error);
        return 0;
    }
    if (command == L"drive-remove" && argc == 3) {
        wchar_t letter = 0;
        if (!ParseDriveLetter(argv[2], &letter)) return Failure(L"bad drive letter: " + std::wstring(argv[2]));
        if (!RemoveDrive(letter, &error)) return Failure(error);
        return 0;
    }
    if (command == L"trust-ca" && argc == 3) {
        if (!TrustRootCertificate(argv[2], &error)) return Failure(error);
        return 0;
    }
    std::fputs(kUsage, stderr);
    return 2;
}
