// The installer's portable decisions: which files go into the program folder, when the vendor's
// driver installer runs, the name an old data file is moved to, the uninstall entry's values.
#pragma once

#include <string>
#include <vector>

#include "base/install_layout.h"

namespace TVSP::Setup {

// Names the installation writes (base/install_layout.h, shared with the uninstaller).
using namespace InstallLayout;
// Payload member copied to the system's drivers folder before Vista.
inline constexpr wchar_t kPreVistaClassDriver[] = L"xp_32\\usbser.sys";
// Cleared of the hidden attribute once installed.
std::vector<std::wstring> FilesToUnhide();

// The program-folder files the installer copies, each once: the installed-file table in its order,
// then every other shipped file ("Config.ini": the tool reads its settings there), except those in
// a driver folder, which is copied whole afterwards.
std::vector<std::wstring> ProgramFilesToInstall();

// The vendor's driver package is installed when a wrong package was just removed, or on a first
// installation.
bool ShouldRunVendorInstaller(bool wrongPackageRemoved, bool earlierInstallationPresent);

// Before Vista the serial class driver is copied only on a 32-bit system that lacks it.
bool ShouldCopyPreVistaClassDriver(bool preVista, bool nativeX64, bool systemHasDriver);

struct UtcTime {
    int year = 1970, month = 1, day = 1, hour = 0, minute = 0, second = 0;
};

// "sproutdata-Y-M-D-h-m-s.ini": date, minutes and seconds as given (UTC); the hour is the UTC hour
// plus 8, modulo 24, without carrying into the date. Names already stored rely on that rule.
std::wstring MovedDataFileName(const UtcTime& utc);

struct RegistryStringValue {
    std::wstring name;
    std::wstring data;
};

// The uninstall entry's values, in the order they are written.
std::vector<RegistryStringValue> UninstallEntryValues(const std::wstring& installFolder,
                                                      const std::wstring& toolVersion,
                                                      const std::wstring& website);

// "folder\name", without doubling the backslash of a drive root ("D:\").
std::wstring JoinPath(const std::wstring& folder, const std::wstring& name);

}  // namespace TVSP::Setup
