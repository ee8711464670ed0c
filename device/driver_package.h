// Finding and uninstalling the network driver package that Windows may wrongly bind to the watch.
#pragma once

#include <windows.h>

#include <string>
#include <string_view>

namespace TVSP {

// Both must occur, compared case-insensitively, for an OEM INF to be the wrong package.
inline constexpr std::string_view kWrongPackageHardwareMarker = "Vid_0e8d&Pid_0003";
inline constexpr std::string_view kWrongPackageDescriptionMarker = "Alcatel Single RNDIS Interface";

// SetupUninstallOEMInfW's shape.
using UninstallOemInfFn = BOOL(WINAPI*)(PCWSTR infFileName, DWORD flags, PVOID reserved);

// True when the file's bytes hold both markers. Text with a UTF-16 byte-order mark is searched
// as UTF-16 (OEM INFs are often stored that way); anything else byte by byte.
bool IsWrongDriverPackageContent(std::string_view bytes);

struct DriverPackageRemoval {
    std::wstring fileName;     // bare name of the first matching "oem*.inf"; empty when none matched
    bool attempted = false;    // the uninstall function was called with fileName
    bool uninstalled = false;  // and it reported success
    DWORD error = ERROR_SUCCESS;  // its GetLastError on failure
};

// Looks through "<windowsDirectory>\inf\oem*.inf" in enumeration order and hands the first
// matching file's bare name to uninstall with SUOI_FORCEDELETE. A null uninstall still reports
// the match but removes nothing. Files that cannot be read count as not matching.
[[nodiscard]] DriverPackageRemoval RemoveWrongDriverPackage(const std::wstring& windowsDirectory, UninstallOemInfFn uninstall);

// The same in the Windows folder, with SetupUninstallOEMInfW resolved from the system's
// setupapi.dll; when that cannot be loaded or resolved nothing is searched or removed.
[[nodiscard]] DriverPackageRemoval RemoveWrongDriverPackage();

}  // namespace TVSP
