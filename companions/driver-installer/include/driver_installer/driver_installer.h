// InstallDriver.exe (driver\InstallDriver.exe in the program folder) as the tool runs it: its
// option and its exit codes. It never shows a window, so the tool can wait for it.
#pragma once

namespace TVSP::DriverInstaller {

// The only option: install the driver package (every "*.inf" file) that lies in the program's
// own folder. Anything else prints a usage line and exits with kExitBadArguments.
inline constexpr wchar_t kInstallOption[] = L"-a";

enum ExitCode : unsigned long {
    kExitInstalled = 0,     // at least one INF staged, and every step succeeded
    kExitBadArguments = 1,  // no "-a", or anything beside it
    kExitNoPackage = 2,     // no "*.inf" beside the program
    kExitSetupFailed = 3,   // a setup-API call failed; the error went to stderr
};

}  // namespace TVSP::DriverInstaller
