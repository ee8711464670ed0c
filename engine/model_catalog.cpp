// Watch model catalogue: version text -> model key and firmware version, model classes, hints.
#include "engine/model_catalog.h"

// GCC 12 reports a false "may be used uninitialized" deep inside its own <regex> (std::function
// moves in the pattern compiler) when sanitizers are on; our code is not involved.
#if defined(__GNUC__) && !defined(__clang__)
#pragma GCC diagnostic ignored "-Wmaybe-uninitialized"
#endif

#include <array>
#include <cctype>
#include <exception>
#include <regex>

#include "device/version.h"
#include "engine/user_texts.h"

namespace TVSP {
namespace {

struct CatalogueRow {
    const char* pattern;
    const char* modelKey;
};

// Scanned in this order; the first whole match wins, so the order is part of the meaning.
constexpr std::array<CatalogueRow, kModelCatalogueRows> kCatalogue{{
    {"watchk7_mt60d_v(.*)[,].*", "watchk7_mt60d"},
    {"wk7_gsm(0.*)_ble.*_u_v.*", "watchk7_mt60d_ublox"},
    {"wk7_gsm(1.*)_ble.*_u_v.*", "watchk7_mt60d_ublox"},
    {"wk7_gsm(2.*)_ble.*_u_v.*", "watchk7_mt60d_ublox_2"},
    {"wk7_gsm(.*)_ble.*_b_v.*", "watchk7_mt60d_broadcom"},
    {"wm5_gsm(.*)_ble.*_u_v.*", "watchm5_mt60d_ublox"},
    {"wk8_gsm(.*)_ble.*_u_v.*", "watchk8_mt60d_ublox"},
    {"wm2_gsm(.*)_ble.*_u_v.*", "watchm2_mt60d_ublox"},
    {"wm5c_gsm(.*)_ble.*_u_v.*", "watchm5c_mt60d_ublox"},
    {"lr9_gsm(.*)_ble.*_u_v.*", "watchr9_mt60d_ublox"},
    {"wn3_gsm(.*),.*", "watchn3_mt61a_ublox"},
    {"wt4_gsm(.*),.*", "watcht4_mt2503d_mt3333"},
}};

// Compiled once; std::regex objects are safe to use from several threads at once.
const std::array<std::regex, kModelCatalogueRows>& CompiledCatalogue() {
    static const std::array<std::regex, kModelCatalogueRows> compiled = [] {
        std::array<std::regex, kModelCatalogueRows> out;
        for (std::size_t i = 0; i < kModelCatalogueRows; ++i) {
            out[i] = std::regex(kCatalogue[i].pattern, std::regex::ECMAScript);
        }
        return out;
    }();
    return compiled;
}

bool IsFolderNameChar(unsigned char c) {
    return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == ' ' ||
           c == '-' || c == '.' || c == '_';
}

}  // namespace

std::optional<WatchModelMatch> MatchWatchModel(std::string_view versionText) {
    if (versionText.size() > kMaxVersionTextLength) return std::nullopt;

    std::string lowered(versionText);
    for (char& c : lowered) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));

    try {
        const auto& compiled = CompiledCatalogue();
        for (std::size_t i = 0; i < kModelCatalogueRows; ++i) {
            if (!std::regex_match(lowered, compiled[i])) continue;
            WatchModelMatch match;
            match.row = static_cast<int>(i);
            match.modelKey = kCatalogue[i].modelKey;
            // The whole text matched, so replacing the match by "$1" leaves capture group 1.
            match.version = std::regex_replace(lowered, compiled[i], "$1");
            return match;
        }
    } catch (const std::exception&) {
        // The regex engine reports resource exhaustion by throwing; that is simply no match.
    }
    return std::nullopt;
}

unsigned ModelClassForKey(std::string_view modelKey) {
    if (modelKey == "watchm5_mt60d_ublox") return kModelClassOnWatchRestore;
    if (modelKey == "watchk8_mt60d_ublox") return kModelClassFlashWatchdog;
    if (modelKey == "watchr9_mt60d_ublox") return kModelClassFlashWatchdog;
    if (modelKey == "watchn3_mt61a_ublox") return kModelClassPowerOffOta;
    if (modelKey == "watchm5c_mt60d_ublox") return kModelClassOtaOnly;
    if (modelKey == "watcht4_mt2503d_mt3333") return kModelClassPowerOffFull;
    return kModelClassServerRestore;
}

std::optional<unsigned> ModelClassForSelectedKey(std::string_view modelKey) {
    if (modelKey == "watchm5_mt60d_ublox") return kModelClassOnWatchRestore;
    if (modelKey == "watchk8_mt60d_ublox" || modelKey == "watchr9_mt60d_ublox") return kModelClassFlashWatchdog;
    if (modelKey == "watchk7_mt60d_ublox" || modelKey == "watchk7_mt60d_ublox_2" ||
        modelKey == "watchm2_mt60d_ublox") {
        return kModelClassServerRestore;
    }
    if (modelKey == "watcht4_mt2503d_mt3333") return kModelClassPowerOffFull;
    return std::nullopt;
}

std::wstring BatteryHintForModel(std::string_view modelKey) {
    if (modelKey == "watchk7_mt60d_ublox" || modelKey == "watchk7_mt60d_ublox_2") {
        return kBatteryHintHalfCharge;
    }
    if (modelKey == "watchm2_mt60d_ublox") return kBatteryHintGreenLight;
    // "watchm5_mt60d_ublox", "watchk8_mt60d_ublox" and every other model.
    return kBatteryHintOneBar;
}

bool IsLegacyFirmware(std::string_view version) {
    // Aligned packing: the watch reports two-part versions ("9.3"), which plain packing would put
    // below 9.2.0 and so send a current watch down the manual path.
    static const std::uint64_t kFirstCurrent = ParseVersionAligned(std::string_view("9.2.0"));
    return ParseVersionAligned(version) < kFirstCurrent;
}

std::string RomFolderName(std::string_view modelKey, std::string_view newestVersion) {
    std::string name;
    name.reserve(modelKey.size() + 1 + newestVersion.size());
    name.append(modelKey).append("-").append(newestVersion);
    for (char& c : name) {
        if (!IsFolderNameChar(static_cast<unsigned char>(c))) c = '_';
    }
    return name;
}

}  // namespace TVSP
