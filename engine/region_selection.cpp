// Region selection by model class.
#include "engine/region_selection.h"

#include "engine/model_class.h"

namespace TVSP {
namespace {

bool EqualsIgnoringCase(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) return false;
    auto fold = [](char c) { return c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c; };
    for (std::size_t i = 0; i < a.size(); ++i)
        if (fold(a[i]) != fold(b[i])) return false;
    return true;
}

}  // namespace

bool IsRegionWritten(unsigned modelClass, std::string_view regionName) {
    // These watches upgrade themselves from the OTA region; the rest of their flash stays.
    if (WritesOnlyOtaRegion(modelClass)) return EqualsIgnoringCase(regionName, "OTA");
    // The boot loaders are never rewritten: a failed write there cannot be repaired over USB.
    return !EqualsIgnoringCase(regionName, "ARM_BL") && !EqualsIgnoringCase(regionName, "ARM_EXT_BL");
}

}  // namespace TVSP
