// PortMender.exe stand-in: asks the configuration manager to re-enumerate the device tree, as a
// service or when run by hand, and leaves a one-line record of the run beside itself.
#include <windows.h>
#include <cfgmgr32.h>

#include <cstdio>
#include <string>

#include "base/win/file_io.h"
#include "base/win/program_folder.h"
#include "port_mender/port_mender.h"

namespace {

using namespace TVSP;

// Owned by the service control manager: never closed.
SERVICE_STATUS_HANDLE g_serviceStatus = nullptr;

// From the root, so every device whose driver was just changed is looked at again.
CONFIGRET ReenumerateDeviceTree() {
    DEVINST root = 0;
    const CONFIGRET located = ::CM_Locate_DevNodeW(&root, nullptr, CM_LOCATE_DEVNODE_NORMAL);
    if (located != CR_SUCCESS) return located;
    return ::CM_Reenumerate_DevNode(root, CM_REENUMERATE_SYNCHRONOUS);
}

// The record only lets a run be seen afterwards; failing to write it does not change the outcome.
void WriteRecord(const char* run, CONFIGRET result) {
    const std::wstring path = ProgramFolderFile(PortMender::kRecordFile);
    if (path.empty()) return;
    char line[64];
    const int length =
        std::snprintf(line, sizeof line, "run=%s reenumerate=0x%08lX\r\n", run, static_cast<unsigned long>(result));
    if (length <= 0 || static_cast<std::size_t>(length) >= sizeof line) return;
    static_cast<void>(WriteWholeFile(path, line, static_cast<std::size_t>(length)));
}

void ReportServiceState(DWORD state, CONFIGRET result) {
    SERVICE_STATUS status{};
    status.dwServiceType = SERVICE_WIN32_OWN_PROCESS;
    status.dwCurrentState = state;
    status.dwControlsAccepted = 0;  // the run is one short synchronous call: nothing to stop early
    if (state == SERVICE_STOPPED && result != CR_SUCCESS) {
        status.dwWin32ExitCode = ERROR_SERVICE_SPECIFIC_ERROR;
        status.dwServiceSpecificExitCode = result;
    }
    ::SetServiceStatus(g_serviceStatus, &status);
}

DWORD WINAPI ServiceControl(DWORD control, DWORD /*type*/, void* /*data*/, void* /*context*/) {
    return control == SERVICE_CONTROL_INTERROGATE ? NO_ERROR : ERROR_CALL_NOT_IMPLEMENTED;
}

void WINAPI ServiceMain(DWORD argc, wchar_t** argv) {
    // The name the manager started us under: the service may be installed under another one.
    const wchar_t* name = argc > 0 && argv && argv[0] ? argv[0] : PortMender::kServiceName;
    g_serviceStatus = ::RegisterServiceCtrlHandlerExW(name, ServiceControl, nullptr);
    if (!g_serviceStatus) return;
    ReportServiceState(SERVICE_RUNNING, CR_SUCCESS);
    const CONFIGRET result = ReenumerateDeviceTree();
    // Before the stop is reported, so whoever waits for the stop finds the record complete.
    WriteRecord("service", result);
    ReportServiceState(SERVICE_STOPPED, result);
}

}  // namespace

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int) {
    // The tool waits for this program: no system error box may stop it.
    ::SetErrorMode(SEM_FAILCRITICALERRORS | SEM_NOOPENFILEERRORBOX);

    // The table's name is not const in the headers; the dispatcher only reads it.
    const SERVICE_TABLE_ENTRYW services[] = {{const_cast<wchar_t*>(PortMender::kServiceName), ServiceMain},
                                             {nullptr, nullptr}};
    if (::StartServiceCtrlDispatcherW(services)) return 0;  // ran as a service; its status said how
    if (::GetLastError() != ERROR_FAILED_SERVICE_CONTROLLER_CONNECT)
        return static_cast<int>(PortMender::kExitDispatcherFailed);

    const CONFIGRET result = ReenumerateDeviceTree();
    WriteRecord("manual", result);
    return static_cast<int>(result);
}
