// The vendor's driver installer with the attachment prompt suspended for its run only.
#include "device/vendor_installer.h"

#include <vector>

#include "base/win/handle.h"
#include "base/win/scoped_registry_value.h"

namespace TVSP {
namespace {

constexpr wchar_t kAssociationsKey[] = L"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Policies\\Associations";
constexpr wchar_t kModRiskFileTypes[] = L"ModRiskFileTypes";

// Starts the installer and waits for it; its handles are closed on return.
void StartAndWait(const std::wstring& folder, DWORD waitMs, VendorInstallerRun& run) {
    // Quoted: the folder may hold spaces ("Program Files").
    const std::wstring commandLine = L"\"" + folder + L"\\driver\\InstallDriver.exe\" -a";
    std::vector<wchar_t> line(commandLine.begin(), commandLine.end());
    line.push_back(L'\0');  // CreateProcessW may write into its command line
    STARTUPINFOW startup{};
    startup.cb = sizeof(startup);
    PROCESS_INFORMATION info{};
    if (!::CreateProcessW(nullptr, line.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &info)) {
        return;
    }
    unique_handle process(info.hProcess);
    unique_handle thread(info.hThread);
    thread.reset();  // nothing waits for it
    run.started = true;
    run.finished = ::WaitForSingleObject(process.get(), waitMs) == WAIT_OBJECT_0;
}

}  // namespace

VendorInstallerRun RunVendorDriverInstaller(const std::wstring& folder, DWORD waitMs) {
    VendorInstallerRun run;
    // Left set, every program downloaded from then on would start without the safety prompt.
    ScopedRegistryString prompt(HKEY_CURRENT_USER, kAssociationsKey, kModRiskFileTypes, L".exe");
    run.promptSuspended = prompt.isSet();
    if (!folder.empty()) StartAndWait(folder, waitMs, run);
    run.promptRestored = prompt.Restore() && run.promptSuspended;
    return run;
}

}  // namespace TVSP
