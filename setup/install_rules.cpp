// The installer's portable decisions.
#include "setup/install_rules.h"

#include <algorithm>
#include <cstdio>
#include <iterator>
#include <string_view>

#include "base/program_files.h"

namespace TVSP::Setup {

std::vector<std::wstring> FilesToUnhide() {
    return {ProgramFiles::kSkinConfig, ProgramFiles::kSkinControls};
}

std::vector<std::wstring> ProgramFilesToInstall() {
    std::vector<std::wstring> files(std::begin(ProgramFiles::kInstalledFiles), std::end(ProgramFiles::kInstalledFiles));
    for (const wchar_t* shipped : ProgramFiles::kShipped) {
        const std::wstring_view name(shipped);
        const auto slash = name.find(L'\\');
        if (slash != std::wstring_view::npos) {
            const std::wstring_view folder = name.substr(0, slash);
            const bool copiedWhole = std::any_of(std::begin(ProgramFiles::kInstalledDriverFolders),
                                                 std::end(ProgramFiles::kInstalledDriverFolders),
                                                 [&](const wchar_t* f) { return folder == f; });
            if (copiedWhole) continue;
        }
        if (std::find(files.begin(), files.end(), name) == files.end()) files.emplace_back(name);
    }
    return files;
}

bool ShouldRunVendorInstaller(bool wrongPackageRemoved, bool earlierInstallationPresent) {
    return wrongPackageRemoved || !earlierInstallationPresent;
}

bool ShouldCopyPreVistaClassDriver(bool preVista, bool nativeX64, bool systemHasDriver) {
    return preVista && !nativeX64 && !systemHasDriver;
}

std::wstring MovedDataFileName(const UtcTime& utc) {
    wchar_t name[96] = {};
    std::swprintf(name, std::size(name), L"sproutdata-%d-%d-%d-%d-%d-%d.ini", utc.year, utc.month, utc.day,
                  (utc.hour + 8) % 24, utc.minute, utc.second);
    return name;
}

std::wstring JoinPath(const std::wstring& folder, const std::wstring& name) {
    if (!folder.empty() && folder.back() == L'\\') return folder + name;
    return folder + L"\\" + name;
}

std::vector<RegistryStringValue> UninstallEntryValues(const std::wstring& installFolder,
                                                      const std::wstring& toolVersion,
                                                      const std::wstring& website) {
    return {
        {L"InstallLocation", installFolder},
        {L"DisplayName", kProductName},
        {L"UninstallString", JoinPath(installFolder, ProgramFiles::kUninstaller)},
        {L"DisplayIcon", JoinPath(installFolder, ProgramFiles::kTool)},
        {L"DisplayVersion", toolVersion},
        {L"URLInfoAbout", website},
        {L"Publisher", kPublisher},
    };
}

}  // namespace TVSP::Setup
