// UiFeature.xml, the engine's own configuration: font faces, its companion libraries, animation.
#include "companions/skin-engine/core/engine_config.h"

#include "companions/skin-engine/core/skin_format.h"
#include "companions/skin-engine/core/xml_lite.h"

namespace uifeature {

namespace {

bool IsBareDllName(std::string_view name) {
    if (name.size() < 5 || name.size() > 100) return false;
    for (char c : name) {
        if (c == '\\' || c == '/' || c == ':' || static_cast<unsigned char>(c) < 0x20) return false;
    }
    return name != ".." && name.substr(name.size() - 4) == ".dll";
}

std::vector<std::string> SplitFaces(std::string_view text) {
    std::vector<std::string> faces;
    while (!text.empty()) {
        const size_t semi = text.find(';');
        std::string_view part = text.substr(0, semi);
        while (!part.empty() && part.front() == ' ') part.remove_prefix(1);
        while (!part.empty() && part.back() == ' ') part.remove_suffix(1);
        if (!part.empty() && part.size() < 32) faces.emplace_back(part);
        if (semi == std::string_view::npos) break;
        text.remove_prefix(semi + 1);
    }
    return faces;
}

}  // namespace

bool ParseEngineConfig(std::string_view utf8, EngineConfig* config, std::string* error) {
    const XmlParseResult xml = ParseXml(utf8);
    if (!xml.ok) return *error = xml.error, false;
    auto fail = [&](int line, const std::string& what) {
        *error = "line " + std::to_string(line) + ": " + what;
        return false;
    };
    if (xml.root.name != "uifeature") return fail(xml.root.line, "the root element must be <uifeature>");
    EngineConfig out = *config;
    for (const XmlElement& el : xml.root.children) {
        for (const auto& [key, value] : el.attributes) {
            if (el.name == "font" && (key == "face" || key == "fallback")) {
                const auto faces = SplitFaces(value);
                if (faces.empty()) return fail(el.line, "empty font face list");
                if (key == "face") {
                    out.fontFaces.erase(out.fontFaces.begin(), out.fontFaces.begin() + 1);
                    out.fontFaces.insert(out.fontFaces.begin(), faces.front());
                } else {
                    out.fontFaces.resize(1);
                    out.fontFaces.insert(out.fontFaces.end(), faces.begin(), faces.end());
                }
            } else if (el.name == "library" && (key == "controls" || key == "effects")) {
                if (!IsBareDllName(value)) return fail(el.line, "'" + key + "' must name a DLL file beside the engine");
                (key == "controls" ? out.controlLibrary : out.effectLibrary) = value;
            } else if (el.name == "animation" && key == "enabled") {
                if (!ParseBool(value, &out.animations)) return fail(el.line, "bad value for 'enabled'");
            } else {
                return fail(el.line, "unknown setting '" + el.name + " " + key + "'");
            }
        }
        if (el.name != "font" && el.name != "library" && el.name != "animation") {
            return fail(el.line, "unknown element '" + el.name + "'");
        }
    }
    *config = std::move(out);
    return true;
}

}  // namespace uifeature
