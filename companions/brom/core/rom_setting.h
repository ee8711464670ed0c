// ROM-setting file (*.cfg) reader: the ROM set's regions with their images and flash addresses.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace brom {

inline constexpr std::size_t kMaxRegions = 35;
inline constexpr std::size_t kMaxRegionNameBytes = 31;
inline constexpr std::size_t kMaxRomsetNameBytes = 127;
inline constexpr std::size_t kMaxRegionFileBytes = 511;
inline constexpr std::size_t kMaxRomSettingFileBytes = 1 << 20;

struct RomRegion {
    std::string name;
    std::string file;  // relative to the .cfg folder, as written
    std::uint64_t address = 0;
};

struct RomSetting {
    std::string name;
    std::vector<RomRegion> regions;
};

enum class RomSettingError {
    None,
    TooLarge,        // the text exceeds kMaxRomSettingFileBytes
    Syntax,          // a line that is neither a section header nor key=value, or an invalid UTF-8 text
    UnknownSection,  // a header other than [romset] / [region]
    SectionOrder,    // no [romset] first, or a second one, or a key before any section
    UnknownKey,
    DuplicateKey,
    MissingKey,      // [romset] without name, [region] without name, file or address
    BadName,         // empty or longer than allowed
    DuplicateName,   // two regions with the same name, compared without case
    BadFile,         // empty, too long, or a character Windows file names cannot hold
    FileEscapes,     // absolute, a drive, or a "." / ".." component
    BadAddress,      // not decimal or 0x hexadecimal, or above 64 bits
    TooManyRegions,  // more than kMaxRegions
    NoRegions,
};

struct RomSettingParse {
    RomSetting setting;
    RomSettingError error = RomSettingError::None;
    int line = 0;  // 1-based line of the fault; 0 when it concerns the whole text
};

RomSettingParse ParseRomSetting(std::string_view text);

// A relative path that stays inside its base folder: no root, drive, stream, "." or ".." part,
// no empty part, no part Windows would trim to another name.
bool IsContainedRelativePath(std::string_view path);

// Decimal or 0x hexadecimal, without sign or spaces.
bool ParseAddress(std::string_view text, std::uint64_t& value);

// Region names compare without ASCII case.
bool RegionNamesEqual(std::string_view a, std::string_view b);

const char* RomSettingErrorText(RomSettingError error);

}  // namespace brom
