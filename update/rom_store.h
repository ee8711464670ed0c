// The ROM store in the cache folder: a downloaded package written, verified and unpacked into its
// ROM set folder, and what is to be flashed found in it.
#pragma once

#include <cstddef>
#include <functional>
#include <string>

namespace TVSP {

enum class RomStoreOutcome {
    Stored,            // romSettingPath names what is to be written next
    NoRomStore,        // the cache folder gives no ROM store path
    WriteFailed,       // the package file could not be written
    SignatureRefused,  // not signed by the maker: nothing was unpacked
    ExtractFailed,
    NoRomSetting,      // unpacked, but no "*.cfg" in the ROM set folder
};

struct StoredRom {
    RomStoreOutcome outcome = RomStoreOutcome::NoRomStore;
    // The first "*.cfg" of the ROM set folder, or for the USB-disk model the package itself;
    // narrow text in the thread's ANSI code page. Empty unless Stored.
    std::string romSettingPath;
};

using PackageVerifier = std::function<bool(const std::wstring& path)>;

enum class PackageUse {
    Flash,    // a signed cabinet holding a ROM set: verified, unpacked, its "*.cfg" found
    UsbDisk,  // copied whole onto the watch's USB disk, which checks it itself
};

// Writes the package as "rom.cab" into the ROM set folder of modelKey and version; for a flash it
// is then verified with verifier, unpacked, and the version recorded in "updates.ini".
[[nodiscard]] StoredRom StoreRomPackage(const char* body, std::size_t length, const std::string& modelKey,
                                        const std::string& version, PackageUse use, const PackageVerifier& verifier);

// The ROM store folder ("roms" of the cache folder, "/" separators); empty when there is none.
[[nodiscard]] std::wstring RomStorePath();

// Deletes the ROM store with everything in it; a store that does not exist is left alone.
void DeleteRomStore();

}  // namespace TVSP
