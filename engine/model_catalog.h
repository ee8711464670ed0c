// Watch model catalogue: version text -> model key and firmware version, model classes, hints.
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

#include "engine/model_class.h"

namespace TVSP {

inline constexpr const char* kDefaultModelKey = "watchk8_mt60d_ublox";   // catalogue row 6
inline constexpr const char* kUsbDiskModelKey = "watchn3x_mt61a_ublox";  // recognised by its USB disk
inline constexpr const char* kUsbDiskFirmwareVersion = "10.0.1";
inline constexpr std::size_t kModelCatalogueRows = 12;

// Longest version text the catalogue will look at; a watch's text is far shorter, and the bound
// keeps the regular-expression engine's recursion within a worker thread's stack.
inline constexpr std::size_t kMaxVersionTextLength = 255;

struct WatchModelMatch {
    int row = -1;            // catalogue row that matched
    std::string modelKey;    // e.g. "watchk7_mt60d_ublox"
    std::string version;     // capture group 1 of the row's pattern
};

// Lower-cases the text byte by byte (C library tolower, "C" locale: only A-Z change) and tries
// the 12 rows (ECMAScript patterns) in order; the first whole-string match wins and its capture
// group 1 is the version. A text longer than kMaxVersionTextLength matches nothing. Safe to call
// from several threads at once.
std::optional<WatchModelMatch> MatchWatchModel(std::string_view versionText);

// Model class by exact key comparison, as a detected watch is taken over (unknown keys:
// kModelClassServerRestore).
unsigned ModelClassForKey(std::string_view modelKey);

// Model class for a model the user picked by hand; nullopt keeps the earlier class.
std::optional<unsigned> ModelClassForSelectedKey(std::string_view modelKey);

// Battery hint line of the upgrade panel for a model: a text for the K7 u-blox models, one for
// "watchm2_mt60d_ublox", and the "at least one bar" text for every other model.
std::wstring BatteryHintForModel(std::string_view modelKey);

// True when the dotted version is below 9.2.0 (only model class 50 asks). Compared part by part
// from the first (ParseVersionAligned), so "9.3" is current and "9.1.9" is legacy whatever the
// number of parts.
bool IsLegacyFirmware(std::string_view version);

// modelKey + "-" + newestVersion with every character other than ASCII letters, digits, space,
// "-", "." and "_" replaced by "_".
std::string RomFolderName(std::string_view modelKey, std::string_view newestVersion);

}  // namespace TVSP
