// libFuzzer target: skin files and the engine configuration, checked for crashes and invariants.
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "companions/skin-engine/core/engine_config.h"
#include "companions/skin-engine/core/skin_format.h"
#include "fuzz/fuzz_check.h"

namespace {

void CheckControl(const uifeature::SkinControl& c) {
    TVSP_FUZZ_CHECK(uifeature::IsValidControlName(c.name));
    TVSP_FUZZ_CHECK(c.rect.w >= 0 && c.rect.h >= 0);
    TVSP_FUZZ_CHECK(c.children.empty() || c.kind == uifeature::ControlKind::Panel);
    for (const auto& child : c.children) CheckControl(child);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    const auto skin = uifeature::ParseSkin(text);
    TVSP_FUZZ_CHECK(skin.ok == skin.error.empty());
    TVSP_FUZZ_CHECK(skin.ok || skin.document.windows.empty());
    TVSP_FUZZ_CHECK(skin.ok || skin.error.rfind("line ", 0) == 0);
    for (const auto& w : skin.document.windows) {
        TVSP_FUZZ_CHECK(w.width >= 1 && w.height >= 1);
        TVSP_FUZZ_CHECK(skin.document.FindSkinWindow(w.name) != nullptr);
        for (const auto& c : w.controls) CheckControl(c);
    }
    uifeature::EngineConfig config;
    std::string error;
    const bool ok = uifeature::ParseEngineConfig(text, &config, &error);
    TVSP_FUZZ_CHECK(ok == error.empty());
    TVSP_FUZZ_CHECK(!config.fontFaces.empty());
    return 0;
}
