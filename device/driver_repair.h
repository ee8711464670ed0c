// The serial driver repair the connection guide runs on WM_GUIDE_REPAIR_DRIVER: the class-driver
// file put back, the vendor's installer run, and the repair program started as a one-shot service.
#pragma once

#include <windows.h>

#include <functional>
#include <optional>
#include <string>

namespace TVSP {

enum class WindowsFamily { PreVista, Vista, Windows7, Windows8, Windows81, Windows10OrLater };

// What the guide does next: Repaired closes it with the success box, SignatureRefused shows the
// refusal box; every outcome but Repaired arms its retry timer.
enum class DriverRepairOutcome { Repaired, SignatureRefused, NotRepaired, InstallerNotFinished };

// What happened, step by step (each flag: the step was done and succeeded).
struct DriverRepairResult {
    DriverRepairOutcome outcome = DriverRepairOutcome::NotRepaired;
    bool setupLogMovedAside = false;       // the system's setup log renamed to ".bak"
    bool redirectionSwitchedOff = false;   // file-system redirection off for the copy (and back on)
    bool driverCopied = false;             // the class-driver file copied into the drivers folder
    DWORD driverCopyError = ERROR_SUCCESS; // GetLastError of a copy that was tried and failed
    bool promptSuspended = false;          // ModRiskFileTypes set to ".exe" for the installer's run
    bool promptRestored = false;           // and the earlier state put back afterwards
    bool installerStarted = false;
    bool installerFinished = false;        // ended within installerWaitMs
    bool signatureChecked = false;         // the repair program's signature was checked
    bool serviceCreated = false;
    bool serviceOpenedExisting = false;    // creation failed and a left-over "PortMender" was opened
    bool serviceReconfigured = false;      // the left-over's program path set to the checked, quoted one
    bool serviceStarted = false;
    bool serviceMarkedForDeletion = false;
};

using DisableFsRedirectionFn = BOOL(WINAPI*)(PVOID* oldValue);
using RevertFsRedirectionFn = BOOL(WINAPI*)(PVOID oldValue);

struct FsRedirectionFunctions {
    DisableFsRedirectionFn disable = nullptr;  // Wow64DisableWow64FsRedirection's shape
    RevertFsRedirectionFn revert = nullptr;    // Wow64RevertWow64FsRedirection's shape
};

// The facts the sequence branches on, and its seams.
struct DriverRepairEnvironment {
    WindowsFamily family = WindowsFamily::Vista;
    bool nativeX64 = false;
    std::wstring toolDirectory;     // where the installer put the files; no trailing backslash
    std::wstring windowsDirectory;  // GetSystemWindowsDirectoryW; no trailing backslash
    DWORD installerWaitMs = 60000;
    // Unset: both resolved by name from kernel32.dll for the copy. Set: these (either may be null,
    // as on a 32-bit system that has none).
    std::optional<FsRedirectionFunctions> redirection;
    // Null: IsSignedByMaker.
    std::function<bool(const std::wstring& path)> isSignedByMaker;

    // The running system: its family (system_utils), whether it is 64-bit, the program's own
    // folder and the Windows folder. A system newer than the known ones reports 10.0 and is
    // Windows10OrLater; the one left between XP and 7 is Vista.
    static DriverRepairEnvironment Current();
};

// Runs the whole sequence on the calling thread (it waits for the installer, up to
// env.installerWaitMs). watchHasPort says whether the watch now has its serial port; it is asked
// only once the installer has finished. A null function counts as no port.
[[nodiscard]] DriverRepairResult RepairSerialDriver(const DriverRepairEnvironment& env,
                                                    const std::function<bool()>& watchHasPort);

// "Repaired", "SignatureRefused", ...: for logs and test output.
const char* DriverRepairOutcomeName(DriverRepairOutcome outcome);

}  // namespace TVSP
