// The ROM store: package written, verified, unpacked; the ROM setting found.
#include "update/rom_store.h"

#include <windows.h>
#include <shlobj.h>

#include "base/win/file_io.h"
#include "base/win/handle.h"
#include "base/win/strings.h"
#include "device/cab_extractor.h"
#include "device/system_utils.h"
#include "shell/ini_files.h"
#include "update/rom_store_rules.h"

namespace TVSP {
namespace {

constexpr wchar_t kPackageName[] = L"rom.cab";

// The first "*.cfg" the enumeration returns, as a full path; empty when there is none.
std::wstring FirstRomSetting(const std::wstring& folder) {
    WIN32_FIND_DATAW found;
    unique_hfind find(::FindFirstFileW((folder + L"*.cfg").c_str(), &found));
    if (!find) return {};
    do {
        if (!(found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)) return folder + found.cFileName;
    } while (::FindNextFileW(find.get(), &found));
    return {};
}

}  // namespace

std::wstring RomStorePath() { return CacheFolderPath(L"roms"); }

void DeleteRomStore() {
    const std::wstring store = RomStorePath();
    // Best effort: a file held open stays until the next start deletes the store again.
    if (!store.empty()) static_cast<void>(DeleteDirectory(store));
}

StoredRom StoreRomPackage(const char* body, std::size_t length, const std::string& modelKey,
                          const std::string& version, PackageUse use, const PackageVerifier& verifier) {
    StoredRom result;
    const std::wstring store = RomStorePath();
    if (store.empty()) return result;
    ::SHCreateDirectoryExW(nullptr, store.c_str(), nullptr);  // an existing folder is fine
    const std::wstring folder =
        store + L"/" + AnsiToWide(RomSetFolderName(RomSetName(modelKey, version))) + L"\\";
    ::SHCreateDirectoryExW(nullptr, folder.c_str(), nullptr);

    const std::wstring package = folder + kPackageName;
    if (length == 0 || !body || !WriteWholeFile(package, body, length)) {
        result.outcome = RomStoreOutcome::WriteFailed;
        return result;
    }
    if (use == PackageUse::UsbDisk) {
        // The watch verifies and installs this package itself; it is neither checked nor unpacked here.
        result.outcome = RomStoreOutcome::Stored;
        result.romSettingPath = WideToAnsi(package);
        return result;
    }
    if (!verifier || !verifier(package)) {
        result.outcome = RomStoreOutcome::SignatureRefused;
        return result;
    }
    {
        CCabExtrator extractor;
        if (extractor.Extract(package.c_str(), folder.c_str()) != S_OK) {
            result.outcome = RomStoreOutcome::ExtractFailed;
            return result;
        }
    }
    WriteIniString(UpdatesIniPath(), AnsiToWide(modelKey).c_str(), L"localVersion", AnsiToWide(version));
    const std::wstring setting = FirstRomSetting(folder);
    if (setting.empty()) {
        result.outcome = RomStoreOutcome::NoRomSetting;
        return result;
    }
    result.outcome = RomStoreOutcome::Stored;
    result.romSettingPath = WideToAnsi(setting);
    return result;
}

}  // namespace TVSP
