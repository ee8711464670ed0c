// The skin file format (.ufd): control kinds, attribute rules, value parsing and the validated document.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace uifeature {

// Values match UIF_KIND_* of the engine interface: hosts downcast by them.
enum class ControlKind : int {
    Panel = 1,
    Button = 2,
    Static = 3,
    Progress = 4,
    Radio = 5,
    Check = 6,
    Edit = 7,
    Link = 8,
};

// "panel", "button", ...; false for anything else (case matters: skins are written in lower case).
bool KindFromName(std::string_view name, ControlKind* kind);
const char* KindName(ControlKind kind);

// Rectangles are in 96-DPI units, relative to the parent control (or the window).
struct UnitRect {
    int x = 0, y = 0, w = 0, h = 0;
};

// Value parsers shared by the validator and the controls.
bool ParseColor(std::string_view text, uint32_t* argb);           // #RRGGBB or #AARRGGBB
bool ParseRect(std::string_view text, UnitRect* rect);            // "x,y,w,h", w and h >= 0
bool ParseBool(std::string_view text, bool* value);               // true/false/1/0
bool ParseInt(std::string_view text, int min, int max, int* value);
bool IsValidControlName(std::string_view text);                   // 1..64 of [A-Za-z0-9_.-]

// Vector pictures the engine draws itself (no image files needed).
bool IsKnownPicture(std::string_view name);

// Case-insensitive ASCII comparison, as control names are compared.
bool EqualsNoCase(std::string_view a, std::string_view b);

using Attributes = std::vector<std::pair<std::string, std::string>>;

// The value of key in attrs, or fallback.
std::string_view AttributeOr(const Attributes& attrs, std::string_view key, std::string_view fallback);

struct SkinControl {
    ControlKind kind = ControlKind::Panel;
    std::string name;
    UnitRect rect;
    Attributes attributes;  // every attribute as written (validated), name and rect included
    std::vector<SkinControl> children;
    int line = 0;
};

struct SkinWindow {
    std::string name;
    int width = 0, height = 0;  // natural size in 96-DPI units
    Attributes attributes;
    std::vector<SkinControl> controls;
    int line = 0;
};

struct SkinDocument {
    std::vector<SkinWindow> windows;
    // Window names are compared without case, like control names.
    const SkinWindow* FindSkinWindow(std::string_view name) const;
};

struct SkinParseResult {
    bool ok = false;
    std::string error;  // "line N: ..." naming what is wrong
    SkinDocument document;
};

inline constexpr int kMaxControlsPerSkin = 4096;

// Parses and validates a whole skin: unknown elements, kinds, attributes and bad values are errors.
SkinParseResult ParseSkin(std::string_view utf8);

}  // namespace uifeature
