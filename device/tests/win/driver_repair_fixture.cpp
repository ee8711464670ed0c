// Test-only stand-in for driver_repair_tests, never shipped. Named "InstallDriver.exe" it plays the
// vendor's driver installer; under any other name it is a one-shot service. Either way it records
// what it saw in files beside itself:
//   installer-record.txt  line 1 its command line, line 2 the ModRiskFileTypes value it saw
//                         ("absent", or "<type> <bytes> <text>")
//   installer-hold.txt    when present, names an event to wait for (at most 60 s) before ending
//   installer-done.txt    written as the installer ends
//   service-ran.txt       its command line, written from ServiceMain
//   process-ran.txt       its command line, when started as neither (not by the service manager)
#include <windows.h>

#include <string>
#include <vector>

#include "base/win/file_io.h"
#include "base/win/handle.h"
#include "base/win/program_folder.h"
#include "base/win/strings.h"

namespace {

using namespace TVSP;

bool Write(const std::wstring& name, const std::string& text) {
    return WriteWholeFile(GetOwnDirectory() + L"\\" + name, text.data(), text.size());
}

std::string SeenModRiskFileTypes() {
    unique_hkey key;
    if (::RegOpenKeyExW(HKEY_CURRENT_USER, L"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Policies\\Associations", 0,
                        KEY_QUERY_VALUE, key.put()) != ERROR_SUCCESS) {
        return "absent";
    }
    DWORD type = 0;
    std::vector<BYTE> data(1024, 0);
    auto size = static_cast<DWORD>(data.size() - sizeof(wchar_t));  // room left for a terminator
    if (::RegQueryValueExW(key.get(), L"ModRiskFileTypes", nullptr, &type, data.data(), &size) != ERROR_SUCCESS) {
        return "absent";
    }
    return std::to_string(type) + " " + std::to_string(size) + " " +
           WideToUtf8(reinterpret_cast<const wchar_t*>(data.data()));
}

int RunAsInstaller() {
    const bool recorded = Write(L"installer-record.txt", WideToUtf8(::GetCommandLineW()) + "\n" + SeenModRiskFileTypes());
    std::string eventName;
    if (ReadWholeFile(GetOwnDirectory() + L"\\installer-hold.txt", 4096, eventName) == FileReadResult::Ok) {
        unique_handle release(::OpenEventW(SYNCHRONIZE, FALSE, Utf8ToWide(eventName).c_str()));
        if (release) ::WaitForSingleObject(release.get(), 60000);  // released or timed out: either way it ends
    }
    return recorded && Write(L"installer-done.txt", "done") ? 0 : 1;
}

SERVICE_STATUS_HANDLE g_status = nullptr;

DWORD WINAPI Control(DWORD, DWORD, LPVOID, LPVOID) { return NO_ERROR; }

void Report(DWORD state) {
    SERVICE_STATUS status{};
    status.dwServiceType = SERVICE_WIN32_OWN_PROCESS;
    status.dwCurrentState = state;
    ::SetServiceStatus(g_status, &status);  // a refused report shows as a start that fails
}

void WINAPI ServiceMain(DWORD, LPWSTR*) {
    g_status = ::RegisterServiceCtrlHandlerExW(L"PortMender", Control, nullptr);
    if (!g_status) return;
    Report(SERVICE_RUNNING);
    (void)Write(L"service-ran.txt", WideToUtf8(::GetCommandLineW()));  // its absence is what tests see
    Report(SERVICE_STOPPED);
}

}  // namespace

int wmain() {
    wchar_t path[MAX_PATH] = {};
    const DWORD length = ::GetModuleFileNameW(nullptr, path, MAX_PATH);
    const std::wstring self(path, length);
    const std::wstring name = self.substr(self.find_last_of(L'\\') + 1);
    if (::lstrcmpiW(name.c_str(), L"InstallDriver.exe") == 0) return RunAsInstaller();
    wchar_t serviceName[] = L"PortMender";
    const SERVICE_TABLE_ENTRYW table[] = {{serviceName, ServiceMain}, {nullptr, nullptr}};
    if (::StartServiceCtrlDispatcherW(table)) return 0;
    (void)Write(L"process-ran.txt", WideToUtf8(::GetCommandLineW()));  // its absence is what tests see
    return 1;
}
