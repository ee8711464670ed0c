// The vendor's driver installer run with the attachment-safety prompt suspended: shared by the
// driver repair and the installer's actions.
#pragma once

#include <windows.h>

#include <string>

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
// An empty folder starts nothing.
[[nodiscard]] VendorInstallerRun RunVendorDriverInstaller(const std::wstring& folder, DWORD waitMs);

}  // namespace TVSP
