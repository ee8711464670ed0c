// Fuzzes model matching and the helpers that take its results (classes, hints, folder names).
#include <cctype>
#include <cstddef>
#include <cstdint>
#include <string>

#include "engine/model_catalog.h"
#include "fuzz/fuzz_check.h"

using namespace TVSP;

namespace {

bool IsFolderNameChar(unsigned char c) {
    return std::isalnum(c) || c == ' ' || c == '-' || c == '.' || c == '_';
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string text(reinterpret_cast<const char*>(data), size);

    const auto match = MatchWatchModel(text);
    if (match) {
        TVSP_FUZZ_CHECK(text.size() <= kMaxVersionTextLength);
        TVSP_FUZZ_CHECK(match->row >= 0 && match->row < static_cast<int>(kModelCatalogueRows));
        TVSP_FUZZ_CHECK(!match->modelKey.empty());

        std::string lowered = text;
        std::string upper = text;
        for (char& c : lowered) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
        for (char& c : upper) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
        TVSP_FUZZ_CHECK(lowered.find(match->version) != std::string::npos);

        // Case never changes the outcome.
        const auto again = MatchWatchModel(upper);
        TVSP_FUZZ_CHECK(again && again->row == match->row && again->version == match->version);

        const std::string folder = RomFolderName(match->modelKey, match->version);
        TVSP_FUZZ_CHECK(folder.size() == match->modelKey.size() + 1 + match->version.size());
        for (char c : folder) TVSP_FUZZ_CHECK(IsFolderNameChar(static_cast<unsigned char>(c)));

        const unsigned modelClass = ModelClassForKey(match->modelKey);
        TVSP_FUZZ_CHECK(modelClass == kModelClassServerRestore || modelClass == kModelClassOnWatchRestore ||
                        modelClass == kModelClassFlashWatchdog || modelClass == kModelClassOtaOnly ||
                        modelClass == kModelClassPowerOffOta || modelClass == kModelClassPowerOffFull);
        (void)IsLegacyFirmware(match->version);
    }

    // The raw text as a key or a version.
    TVSP_FUZZ_CHECK(!BatteryHintForModel(text).empty());
    (void)ModelClassForSelectedKey(text);
    (void)IsLegacyFirmware(text);
    const std::string folder = RomFolderName(text, text);
    TVSP_FUZZ_CHECK(folder.size() == 2 * text.size() + 1);
    for (char c : folder) TVSP_FUZZ_CHECK(IsFolderNameChar(static_cast<unsigned char>(c)));
    return 0;
}
