// The vendor's driver installer with the attachment prompt suspended for its run only.
#include "device/vendor_installer.h"

#include <optional>
#include <vector>

#include "base/install_layout.h"
#include "base/win/handle.h"
#include "base/win/scoped_registry_value.h"

namespace TVSP {
namespace {

constexpr wchar_t kAssociationsKey[] = L"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Policies\\Associations";
constexpr wchar_t kModRiskFileTypes[] = L"ModRiskFileTypes";
// The prompt's earlier state while it is suspended, beside the tool's own values.
constexpr wchar_t kPromptJournal[] = L"SuspendedPromptTypes";

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

RegistryJournal SuspendedPromptJournal() {
    return {HKEY_CURRENT_USER, InstallLayout::kUserKey, kPromptJournal};
}

bool RecoverSuspendedPrompt() {
    return ScopedRegistryString::RecoverFromJournal(HKEY_CURRENT_USER, kAssociationsKey, kModRiskFileTypes,
                                                    SuspendedPromptJournal());
}

VendorInstallerRun RunVendorDriverInstaller(const std::wstring& folder, DWORD waitMs) {
    VendorInstallerRun run;
    // A journal that cannot be put back must not be overwritten: the installer then runs with
    // the prompt as it is.
    std::optional<ScopedRegistryString> prompt;
    if (RecoverSuspendedPrompt()) {
        // Left set, every program downloaded from then on would start without the safety prompt;
        // the journal puts it back even when this process is killed before the end.
        const RegistryJournal journal = SuspendedPromptJournal();
        prompt.emplace(HKEY_CURRENT_USER, kAssociationsKey, kModRiskFileTypes, L".exe", &journal);
    }
    run.promptSuspended = prompt && prompt->isSet();
    if (!folder.empty()) StartAndWait(folder, waitMs, run);
    run.promptRestored = prompt && prompt->Restore() && run.promptSuspended;
    return run;
}

}  // namespace TVSP
