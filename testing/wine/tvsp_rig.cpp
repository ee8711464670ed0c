// tvsp-rig.exe: registers, removes and lists fake COM-port devices inside the test prefix.
#include <windows.h>

#include <cstdio>
#include <cwchar>
#include <string>
#include <vector>

#include "base/win/strings.h"
#include "testing/wine/port_registration.h"

namespace {

constexpr const char* kUsage =
    "usage: tvsp-rig port-add N SERIAL [HWID] | port-remove SERIAL | port-list\n"
    "  port-add registers USB\\VID_0E8D&PID_0003\\SERIAL in class Ports with PortName COM<N>\n"
    "  (N = 0: no PortName); HWID defaults to USB\\VID_0E8D&PID_0003\n";

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
    std::fputs(kUsage, stderr);
    return 2;
}
