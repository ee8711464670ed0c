// The skin file format (.ufd): control kinds, attribute rules, value parsing and the validated document.
#include "companions/skin-engine/core/skin_format.h"

#include <array>
#include <charconv>

#include "companions/skin-engine/core/xml_lite.h"

namespace uifeature {

namespace {

struct KindEntry {
    const char* name;
    ControlKind kind;
};
constexpr std::array<KindEntry, 8> kKinds = {{
    {"panel", ControlKind::Panel},
    {"button", ControlKind::Button},
    {"static", ControlKind::Static},
    {"progress", ControlKind::Progress},
    {"radio", ControlKind::Radio},
    {"check", ControlKind::Check},
    {"edit", ControlKind::Edit},
    {"link", ControlKind::Link},
}};

constexpr std::array<const char*, 20> kPictures = {
    "watch", "watch-off", "watch-ok", "usb", "phone", "phone-link", "check", "warning",
    "info", "rocket", "repair", "spinner", "dot", "close", "minimize", "sprout",
    "folder", "cable", "key", "download",
};

enum class Type { Text, Name, Int, Bool, Color, Rect, Enum, File, Picture };

// Bit per kind; kWindow marks attributes of the window element.
constexpr unsigned Bit(ControlKind k) { return 1u << static_cast<int>(k); }
constexpr unsigned kAllControls = Bit(ControlKind::Panel) | Bit(ControlKind::Button) | Bit(ControlKind::Static) |
                                  Bit(ControlKind::Progress) | Bit(ControlKind::Radio) | Bit(ControlKind::Check) |
                                  Bit(ControlKind::Edit) | Bit(ControlKind::Link);
constexpr unsigned kWindow = 1u << 16;
constexpr unsigned kTexty = Bit(ControlKind::Button) | Bit(ControlKind::Static) | Bit(ControlKind::Radio) |
                            Bit(ControlKind::Check) | Bit(ControlKind::Edit) | Bit(ControlKind::Link) |
                            Bit(ControlKind::Progress);
constexpr unsigned kPictured = Bit(ControlKind::Button) | Bit(ControlKind::Static);

struct Rule {
    const char* key;
    Type type;
    unsigned where;
    int min = 0, max = 0;
    const char* choices = nullptr;  // '|'-separated for Type::Enum
};

const Rule kRules[] = {
    {"name", Type::Name, kAllControls | kWindow},
    {"rect", Type::Rect, kAllControls},
    {"visible", Type::Bool, kAllControls},
    {"enabled", Type::Bool, kAllControls},
    {"text", Type::Text, kTexty},
    {"color", Type::Color, kAllControls},
    {"background", Type::Color, kAllControls | kWindow},
    {"gradient", Type::Color, Bit(ControlKind::Panel) | Bit(ControlKind::Button) | kWindow},
    {"border", Type::Color, kAllControls | kWindow},
    {"radius", Type::Int, kAllControls, 0, 500},
    {"font-size", Type::Int, kTexty | kWindow, 6, 96},
    {"bold", Type::Bool, kTexty},
    {"align", Type::Enum, kTexty, 0, 0, "left|center|right"},
    {"valign", Type::Enum, kTexty, 0, 0, "top|center|bottom"},
    {"wrap", Type::Bool, kTexty},
    {"padding", Type::Int, kTexty, 0, 200},
    {"drag", Type::Bool, Bit(ControlKind::Panel) | Bit(ControlKind::Static)},
    {"shadow", Type::Bool, Bit(ControlKind::Panel)},
    {"style", Type::Enum, Bit(ControlKind::Button), 0, 0, "primary|secondary|ghost|tab|text|caption|caption-close"},
    {"hover", Type::Color, Bit(ControlKind::Button) | Bit(ControlKind::Link)},
    {"pressed", Type::Color, Bit(ControlKind::Button)},
    {"hover-color", Type::Color, Bit(ControlKind::Button)},
    {"checked-background", Type::Color, Bit(ControlKind::Button)},
    {"checked-color", Type::Color, Bit(ControlKind::Button)},
    {"syscommand", Type::Enum, Bit(ControlKind::Button), 0, 0, "close|minimize"},
    {"checked", Type::Bool, Bit(ControlKind::Button) | Bit(ControlKind::Radio) | Bit(ControlKind::Check)},
    {"group", Type::Name, Bit(ControlKind::Radio)},
    {"accent", Type::Color, kPictured | Bit(ControlKind::Radio) | Bit(ControlKind::Check) | Bit(ControlKind::Edit) |
                                Bit(ControlKind::Progress)},
    {"picture", Type::Picture, kPictured},
    {"image", Type::File, kPictured | Bit(ControlKind::Panel)},
    {"states", Type::Int, kPictured, 1, 256},
    {"state", Type::Int, kPictured, 0, 1 << 20},
    {"picture-size", Type::Int, Bit(ControlKind::Button), 4, 512},
    {"value", Type::Int, Bit(ControlKind::Progress), 0, 1000000},
    {"max", Type::Int, Bit(ControlKind::Progress), 1, 1000000},
    {"effect", Type::Enum, Bit(ControlKind::Progress), 0, 0, "smooth|none"},
    {"maxlength", Type::Int, Bit(ControlKind::Edit), 1, 32767},
    {"readonly", Type::Bool, Bit(ControlKind::Edit)},
    {"width", Type::Int, kWindow, 1, 8192},
    {"height", Type::Int, kWindow, 1, 8192},
    {"caption", Type::Text, kWindow},
    {"caption-height", Type::Int, kWindow, 0, 1000},
    {"caption-background", Type::Color, kWindow},
    {"caption-color", Type::Color, kWindow},
    {"icon", Type::Picture, kWindow},
};

const Rule* FindRule(std::string_view key) {
    for (const Rule& r : kRules) {
        if (key == r.key) return &r;
    }
    return nullptr;
}

bool InChoices(std::string_view value, const char* choices) {
    std::string_view rest(choices);
    while (!rest.empty()) {
        const size_t bar = rest.find('|');
        if (rest.substr(0, bar) == value) return true;
        if (bar == std::string_view::npos) break;
        rest.remove_prefix(bar + 1);
    }
    return false;
}

// A file named by a skin is looked up next to the skin: plain relative names only.
bool IsSafeRelativeFile(std::string_view f) {
    if (f.empty() || f.size() > 200) return false;
    if (f.find(':') != std::string_view::npos || f.front() == '\\' || f.front() == '/') return false;
    size_t start = 0;
    while (start <= f.size()) {
        size_t end = f.find_first_of("\\/", start);
        if (end == std::string_view::npos) end = f.size();
        const std::string_view part = f.substr(start, end - start);
        if (part.empty() || part == "." || part == "..") return false;
        start = end + 1;
    }
    for (unsigned char c : f) {
        if (c < 0x20 || c == '*' || c == '?' || c == '"' || c == '<' || c == '>' || c == '|') return false;
    }
    return true;
}

std::string Quote(std::string_view s) {
    std::string out = "'";
    for (unsigned char c : s.substr(0, 64)) out += (c < 0x20 || c >= 0x7F) ? '?' : static_cast<char>(c);
    return out + "'";
}

bool CheckValue(const Rule& rule, std::string_view value) {
    switch (rule.type) {
        case Type::Text: return true;
        case Type::Name: return IsValidControlName(value);
        case Type::Int: {
            int v;
            return ParseInt(value, rule.min, rule.max, &v);
        }
        case Type::Bool: {
            bool b;
            return ParseBool(value, &b);
        }
        case Type::Color: {
            uint32_t c;
            return ParseColor(value, &c);
        }
        case Type::Rect: {
            UnitRect r;
            return ParseRect(value, &r);
        }
        case Type::Enum: return InChoices(value, rule.choices);
        case Type::File: return IsSafeRelativeFile(value);
        case Type::Picture: return IsKnownPicture(value);
    }
    return false;
}

class Validator {
public:
    bool Fail(int line, const std::string& what) {
        error = "line " + std::to_string(line) + ": " + what;
        return false;
    }

    bool CheckAttributes(const XmlElement& el, unsigned where, const char* what) {
        for (const auto& [key, value] : el.attributes) {
            const Rule* rule = FindRule(key);
            if (!rule || !(rule->where & where)) {
                return Fail(el.line, std::string("unknown attribute ") + Quote(key) + " on " + what);
            }
            if (!CheckValue(*rule, value)) {
                return Fail(el.line, std::string("bad value ") + Quote(value) + " for " + Quote(key));
            }
        }
        return true;
    }

    bool Control(const XmlElement& el, SkinControl& out) {
        if (++count_ > kMaxControlsPerSkin) return Fail(el.line, "more than 4096 controls");
        if (!KindFromName(el.name, &out.kind)) return Fail(el.line, "unknown control kind " + Quote(el.name));
        out.line = el.line;
        if (!CheckAttributes(el, Bit(out.kind), KindName(out.kind))) return false;
        const std::string* name = el.Find("name");
        const std::string* rect = el.Find("rect");
        if (!name) return Fail(el.line, std::string(KindName(out.kind)) + " without a name");
        if (!rect) return Fail(el.line, std::string(KindName(out.kind)) + " " + Quote(*name) + " without a rect");
        out.name = *name;
        ParseRect(*rect, &out.rect);
        out.attributes = el.attributes;
        if (!el.children.empty() && out.kind != ControlKind::Panel) {
            return Fail(el.children.front().line, std::string("a ") + KindName(out.kind) + " cannot hold controls");
        }
        out.children.resize(el.children.size());
        for (size_t i = 0; i < el.children.size(); ++i) {
            if (!Control(el.children[i], out.children[i])) return false;
        }
        return true;
    }

    bool Window(const XmlElement& el, SkinWindow& out) {
        if (el.name != "window") return Fail(el.line, "expected <window>, found " + Quote(el.name));
        out.line = el.line;
        if (!CheckAttributes(el, kWindow, "window")) return false;
        const std::string* name = el.Find("name");
        const std::string* width = el.Find("width");
        const std::string* height = el.Find("height");
        if (!name || !width || !height) return Fail(el.line, "a window needs name, width and height");
        out.name = *name;
        ParseInt(*width, 1, 8192, &out.width);
        ParseInt(*height, 1, 8192, &out.height);
        out.attributes = el.attributes;
        out.controls.resize(el.children.size());
        for (size_t i = 0; i < el.children.size(); ++i) {
            if (!Control(el.children[i], out.controls[i])) return false;
        }
        return true;
    }

    bool Document(const XmlElement& root, SkinDocument& doc) {
        if (root.name != "skin") return Fail(root.line, "the root element must be <skin>");
        for (const auto& [key, value] : root.attributes) {
            if (key != "version") return Fail(root.line, "unknown attribute " + Quote(key) + " on skin");
            if (value != "1") return Fail(root.line, "unsupported skin version " + Quote(value));
        }
        if (root.children.empty()) return Fail(root.line, "the skin has no window");
        doc.windows.resize(root.children.size());
        for (size_t i = 0; i < root.children.size(); ++i) {
            if (!Window(root.children[i], doc.windows[i])) return false;
            for (size_t j = 0; j < i; ++j) {
                if (EqualsNoCase(doc.windows[j].name, doc.windows[i].name)) {
                    return Fail(root.children[i].line, "second window named " + Quote(doc.windows[i].name));
                }
            }
        }
        return true;
    }

    std::string error;

private:
    int count_ = 0;
};

}  // namespace

bool KindFromName(std::string_view name, ControlKind* kind) {
    for (const auto& k : kKinds) {
        if (name == k.name) {
            *kind = k.kind;
            return true;
        }
    }
    return false;
}

const char* KindName(ControlKind kind) {
    for (const auto& k : kKinds) {
        if (k.kind == kind) return k.name;
    }
    return "?";
}

bool ParseColor(std::string_view text, uint32_t* argb) {
    if ((text.size() != 7 && text.size() != 9) || text[0] != '#') return false;
    uint32_t v = 0;
    for (char c : text.substr(1)) {
        int d;
        if (c >= '0' && c <= '9') d = c - '0';
        else if (c >= 'a' && c <= 'f') d = c - 'a' + 10;
        else if (c >= 'A' && c <= 'F') d = c - 'A' + 10;
        else return false;
        v = (v << 4) | static_cast<uint32_t>(d);
    }
    *argb = text.size() == 7 ? (0xFF000000u | v) : v;
    return true;
}

bool ParseInt(std::string_view text, int min, int max, int* value) {
    if (text.empty() || text.size() > 11) return false;
    int v = 0;
    const char* first = text.data();
    const char* last = text.data() + text.size();
    const auto [ptr, ec] = std::from_chars(first, last, v);
    if (ec != std::errc() || ptr != last || v < min || v > max) return false;
    *value = v;
    return true;
}

bool ParseRect(std::string_view text, UnitRect* rect) {
    int parts[4];
    for (int i = 0; i < 4; ++i) {
        const size_t comma = text.find(',');
        if ((i < 3) == (comma == std::string_view::npos)) return false;
        std::string_view p = text.substr(0, comma);
        while (!p.empty() && p.front() == ' ') p.remove_prefix(1);
        while (!p.empty() && p.back() == ' ') p.remove_suffix(1);
        if (!ParseInt(p, i < 2 ? -16384 : 0, 16384, &parts[i])) return false;
        if (comma != std::string_view::npos) text.remove_prefix(comma + 1);
    }
    *rect = UnitRect{parts[0], parts[1], parts[2], parts[3]};
    return true;
}

bool ParseBool(std::string_view text, bool* value) {
    if (text == "true" || text == "1") return *value = true, true;
    if (text == "false" || text == "0") return *value = false, true;
    return false;
}

bool IsValidControlName(std::string_view text) {
    if (text.empty() || text.size() > 64) return false;
    for (char c : text) {
        const bool ok = (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '_' ||
                        c == '-' || c == '.';
        if (!ok) return false;
    }
    return true;
}

bool IsKnownPicture(std::string_view name) {
    for (const char* p : kPictures) {
        if (name == p) return true;
    }
    return false;
}

bool EqualsNoCase(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) return false;
    for (size_t i = 0; i < a.size(); ++i) {
        char x = a[i], y = b[i];
        if (x >= 'A' && x <= 'Z') x = static_cast<char>(x - 'A' + 'a');
        if (y >= 'A' && y <= 'Z') y = static_cast<char>(y - 'A' + 'a');
        if (x != y) return false;
    }
    return true;
}

std::string_view AttributeOr(const Attributes& attrs, std::string_view key, std::string_view fallback) {
    for (const auto& [k, v] : attrs) {
        if (k == key) return v;
    }
    return fallback;
}

const SkinWindow* SkinDocument::FindSkinWindow(std::string_view name) const {
    for (const SkinWindow& w : windows) {
        if (EqualsNoCase(w.name, name)) return &w;
    }
    return nullptr;
}

SkinParseResult ParseSkin(std::string_view utf8) {
    SkinParseResult result;
    XmlParseResult xml = ParseXml(utf8);
    if (!xml.ok) {
        result.error = xml.error;
        return result;
    }
    Validator v;
    if (!v.Document(xml.root, result.document)) {
        result.error = v.error;
        result.document = SkinDocument{};
        return result;
    }
    result.ok = true;
    return result;
}

}  // namespace uifeature
