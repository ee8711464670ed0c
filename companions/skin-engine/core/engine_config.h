// UiFeature.xml, the engine's own configuration: font faces, its companion libraries, animation.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace uifeature {

struct EngineConfig {
    // Tried in order; GDI's font substitution applies to each, and the last resort is the
    // system's sans-serif face, so text is always drawn.
    std::vector<std::string> fontFaces = {"Microsoft YaHei", "\xE5\xBE\xAE\xE8\xBD\xAF\xE9\x9B\x85\xE9\xBB\x91",
                                          "SimSun", "Tahoma"};
    std::string controlLibrary = "UiFeatureNormalControl.dll";
    std::string effectLibrary = "UiFeatureEffect.dll";
    bool animations = true;
};

// Reads the configuration; absent elements keep their defaults. False with a "line N: ..." error
// for a malformed file, an unknown element or attribute, or a library name that is not a bare
// file name.
bool ParseEngineConfig(std::string_view utf8, EngineConfig* config, std::string* error);

}  // namespace uifeature
