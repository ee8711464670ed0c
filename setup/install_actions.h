// The installer's actions, run by its worker once the user confirmed the folder and the payload
// was unpacked into a work folder. User texts are the window's; this reports what happened.
#pragma once

#include <windows.h>

#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "device/driver_package.h"
#include "device/vendor_installer.h"
#include "setup/install_rules.h"

namespace TVSP::Setup {

struct InstallRequest {
    std::wstring workFolder;     // the unpacked payload
    std::wstring installFolder;  // the folder the user confirmed
    bool earlierInstallation = false;  // EarlierInstallationPresent(), asked by the window
    DWORD driverInstallerWaitMs = 30000;

    // Seams for the system facts; unset: the running system's.
    std::optional<bool> preVista;         // IsPreVista
    std::optional<bool> nativeX64;        // IsNativeX64
    std::wstring windowsDirectory;        // empty: GetSystemWindowsDirectoryW
    std::function<UtcTime()> utcNow;      // null: GetSystemTime
};

struct FileFailure {
    std::wstring name;  // relative to the program folder
    DWORD error = ERROR_SUCCESS;
};

enum class DataFileFate { Absent, Deleted, MovedAside, Kept };

struct InstallReport {
    // The program folder holds the whole payload: the folder was made and every payload file that
    // was present in the work folder was copied. False: tell the user; do not offer to start it.
    bool completed = false;
    bool folderCreated = false;
    DWORD folderError = ERROR_SUCCESS;
    DriverPackageRemoval wrongPackage;   // step 2
    bool classDriverCopied = false;      // step 3, before Vista
    DWORD classDriverError = ERROR_SUCCESS;
    bool vendorInstallerWanted = false;  // step 4: a package was removed, or a first installation
    VendorInstallerRun vendorInstaller;
    std::vector<std::wstring> filesCopied;
    std::vector<std::wstring> filesMissingFromPayload;  // not in the work folder: not a failure
    std::vector<FileFailure> filesFailed;               // in the work folder, not installed
    std::vector<std::wstring> filesUnhidden;
    DataFileFate dataFile = DataFileFate::Absent;
    std::wstring dataFileMovedTo;                       // full path when MovedAside
    std::vector<std::wstring> driverFoldersCopied;
    std::vector<std::wstring> driverFoldersFailed;
    std::vector<std::wstring> shortcutsCreated;         // full paths of the links written
    std::vector<std::wstring> shortcutsFailed;
    bool uninstallEntryWritten = false;
    bool installPathWritten = false;
};

// Runs the steps in order on the calling thread (it initialises COM for the shortcuts and waits
// for the vendor's installer). Only a program folder that cannot be made stops the run.
[[nodiscard]] InstallReport RunInstallActions(const InstallRequest& req);

// HKCU "SOFTWARE\TarvoSprout" "InstallPath" (REG_SZ); empty when absent or not a string.
std::wstring ReadInstallPath();
// An earlier installation: that path is non-empty and names an existing file or folder.
bool EarlierInstallationPresent();

}  // namespace TVSP::Setup
