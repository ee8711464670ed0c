// The vendor's driver installer run with the attachment-safety prompt suspended: shared by the
// driver repair and the installer's actions.
#pragma once

#include <windows.h>

#include <string>

#include "base/win/scoped_registry_value.h"

namespace TVSP {

struct VendorInstallerRun {
    bool promptSuspended = false;    // ModRiskFileTypes set to ".exe" for the installer's run
    bool promptRestored = false;     // and the earlier state put back afterwards
    bool started = false;
    bool finished = false;           // ended within waitMs
};

// Sets HKCU ModRiskFileTypes to ".exe" only for the run, starts
// "<folder>\driver\InstallDriver.exe" -a (CreateProcessW, no application name), waits up to waitMs
// and puts the value back, also when the installer is still running (it is left running).
// An empty folder starts nothing. The value's earlier state is kept in HKCU\SOFTWARE\TarvoSprout
// meanwhile, so a run killed before the end is mended by the next (RecoverSuspendedPrompt).
[[nodiscard]] VendorInstallerRun RunVendorDriverInstaller(const std::wstring& folder, DWORD waitMs);

// Where the prompt's earlier state is kept while it is suspended.
RegistryJournal SuspendedPromptJournal();

// Puts ModRiskFileTypes back as it was before a run that never ended; true when nothing was left
// or it is back. RunVendorDriverInstaller does it first; the installer at its start too.
[[nodiscard]] bool RecoverSuspendedPrompt();

}  // namespace TVSP
