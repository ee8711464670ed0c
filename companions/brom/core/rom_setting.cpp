// ROM-setting file (*.cfg) reader: strict, so a broken ROM set fails before anything is written.
#include "companions/brom/core/rom_setting.h"

#include <array>

namespace brom {
namespace {

std::string_view Trim(std::string_view s) {
    while (!s.empty() && (s.front() == ' ' || s.front() == '\t')) s.remove_prefix(1);
    while (!s.empty() && (s.back() == ' ' || s.back() == '\t' || s.back() == '\r')) s.remove_suffix(1);
    return s;
}

char Lower(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; }

bool ValidUtf8(std::string_view s) {
    std::size_t i = 0;
    while (i < s.size()) {
        const auto c = static_cast<unsigned char>(s[i]);
        std::size_t n = 0;
        std::uint32_t cp = 0;
        if (c < 0x80) {
            ++i;
            continue;
        } else if ((c & 0xE0) == 0xC0) {
            n = 1;
            cp = c & 0x1F;
        } else if ((c & 0xF0) == 0xE0) {
            n = 2;
            cp = c & 0x0F;
        } else if ((c & 0xF8) == 0xF0) {
            n = 3;
            cp = c & 0x07;
        } else {
            return false;
        }
        if (i + n >= s.size()) return false;  // truncated sequence
        for (std::size_t k = 1; k <= n; ++k) {
            const auto d = static_cast<unsigned char>(s[i + k]);
            if ((d & 0xC0) != 0x80) return false;
            cp = (cp << 6) | (d & 0x3F);
        }
        static constexpr std::array<std::uint32_t, 4> kMin = {0, 0x80, 0x800, 0x10000};
        if (cp < kMin[n] || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) return false;
        i += n + 1;
    }
    return true;
}

bool IsSeparator(char c) { return c == '/' || c == '\\'; }

}  // namespace

bool RegionNamesEqual(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) return false;
    for (std::size_t i = 0; i < a.size(); ++i) {
        if (Lower(a[i]) != Lower(b[i])) return false;
    }
    return true;
}

bool ParseAddress(std::string_view text, std::uint64_t& value) {
    std::uint64_t v = 0;
    if (text.size() > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X')) {
        text.remove_prefix(2);
        if (text.size() > 16) {
            // Leading zeros are harmless; anything else above 16 digits overflows.
            while (text.size() > 16 && text.front() == '0') text.remove_prefix(1);
            if (text.size() > 16) return false;
        }
        for (char c : text) {
            int d;
            if (c >= '0' && c <= '9') d = c - '0';
            else if (c >= 'a' && c <= 'f') d = c - 'a' + 10;
            else if (c >= 'A' && c <= 'F') d = c - 'A' + 10;
            else return false;
            v = (v << 4) | static_cast<std::uint64_t>(d);
        }
        value = v;
        return true;
    }
    if (text.empty()) return false;
    for (char c : text) {
        if (c < '0' || c > '9') return false;
        const auto d = static_cast<std::uint64_t>(c - '0');
        if (v > (UINT64_MAX - d) / 10) return false;
        v = v * 10 + d;
    }
    value = v;
    return true;
}

bool IsContainedRelativePath(std::string_view path) {
    if (path.empty() || IsSeparator(path.front())) return false;
    std::size_t start = 0;
    while (start <= path.size()) {
        std::size_t end = start;
        while (end < path.size() && !IsSeparator(path[end])) ++end;
        const std::string_view part = path.substr(start, end - start);
        if (part.empty()) return false;  // "a//b" or a trailing separator
        // Windows drops trailing dots and spaces, so "..." or ".. " would name the parent.
        if (part.back() == '.' || part.back() == ' ') return false;
        for (char c : part) {
            const auto u = static_cast<unsigned char>(c);
            // ':' covers drives and alternate streams.
            if (u < 0x20 || c == ':' || c == '<' || c == '>' || c == '"' || c == '|' || c == '?' || c == '*')
                return false;
        }
        start = end + 1;
    }
    return true;
}

RomSettingParse ParseRomSetting(std::string_view text) {
    RomSettingParse out;
    auto fail = [&out](RomSettingError e, int line) {
        out.error = e;
        out.line = line;
        out.setting = {};
        return out;
    };
    if (text.size() > kMaxRomSettingFileBytes) return fail(RomSettingError::TooLarge, 0);
    if (text.substr(0, 3) == "\xEF\xBB\xBF") text.remove_prefix(3);
    if (!ValidUtf8(text)) return fail(RomSettingError::Syntax, 0);

    enum class Section { None, Romset, Region } section = Section::None;
    bool seenRomset = false;
    // Keys seen in the current section: name, file, address.
    bool haveName = false, haveFile = false, haveAddress = false;
    int sectionLine = 0;

    auto closeSection = [&]() -> RomSettingError {
        if (section == Section::Romset && !haveName) return RomSettingError::MissingKey;
        if (section == Section::Region && !(haveName && haveFile && haveAddress)) return RomSettingError::MissingKey;
        return RomSettingError::None;
    };

    int lineNo = 0;
    std::size_t pos = 0;
    while (pos < text.size()) {
        std::size_t eol = text.find('\n', pos);
        if (eol == std::string_view::npos) eol = text.size();
        const std::string_view line = Trim(text.substr(pos, eol - pos));
        pos = eol + 1;
        ++lineNo;
        if (line.empty()) continue;
        if (line.front() == '[') {
            if (const auto e = closeSection(); e != RomSettingError::None) return fail(e, sectionLine);
            if (line == "[romset]") {
                if (seenRomset) return fail(RomSettingError::SectionOrder, lineNo);
                seenRomset = true;
                section = Section::Romset;
            } else if (line == "[region]") {
                if (!seenRomset) return fail(RomSettingError::SectionOrder, lineNo);
                if (out.setting.regions.size() == kMaxRegions) return fail(RomSettingError::TooManyRegions, lineNo);
                out.setting.regions.emplace_back();
                section = Section::Region;
            } else {
                return fail(RomSettingError::UnknownSection, lineNo);
            }
            haveName = haveFile = haveAddress = false;
            sectionLine = lineNo;
            continue;
        }
        const std::size_t eq = line.find('=');
        if (eq == std::string_view::npos) return fail(RomSettingError::Syntax, lineNo);
        const std::string_view key = Trim(line.substr(0, eq));
        const std::string_view value = Trim(line.substr(eq + 1));
        if (section == Section::None) return fail(RomSettingError::SectionOrder, lineNo);
        if (section == Section::Romset) {
            if (key != "name") return fail(RomSettingError::UnknownKey, lineNo);
            if (haveName) return fail(RomSettingError::DuplicateKey, lineNo);
            if (value.empty() || value.size() > kMaxRomsetNameBytes) return fail(RomSettingError::BadName, lineNo);
            out.setting.name = std::string(value);
            haveName = true;
            continue;
        }
        RomRegion& region = out.setting.regions.back();
        if (key == "name") {
            if (haveName) return fail(RomSettingError::DuplicateKey, lineNo);
            if (value.empty() || value.size() > kMaxRegionNameBytes) return fail(RomSettingError::BadName, lineNo);
            for (std::size_t i = 0; i + 1 < out.setting.regions.size(); ++i) {
                if (RegionNamesEqual(out.setting.regions[i].name, value)) return fail(RomSettingError::DuplicateName, lineNo);
            }
            region.name = std::string(value);
            haveName = true;
        } else if (key == "file") {
            if (haveFile) return fail(RomSettingError::DuplicateKey, lineNo);
            if (value.empty() || value.size() > kMaxRegionFileBytes) return fail(RomSettingError::BadFile, lineNo);
            if (!IsContainedRelativePath(value)) {
                const bool escapes = IsSeparator(value.front()) || value.find(':') != std::string_view::npos ||
                                     value.find("..") != std::string_view::npos ||
                                     value.find("./") != std::string_view::npos ||
                                     value.find(".\\") != std::string_view::npos || value == ".";
                return fail(escapes ? RomSettingError::FileEscapes : RomSettingError::BadFile, lineNo);
            }
            region.file = std::string(value);
            haveFile = true;
        } else if (key == "address") {
            if (haveAddress) return fail(RomSettingError::DuplicateKey, lineNo);
            if (!ParseAddress(value, region.address)) return fail(RomSettingError::BadAddress, lineNo);
            haveAddress = true;
        } else {
            return fail(RomSettingError::UnknownKey, lineNo);
        }
    }
    if (!seenRomset) return fail(RomSettingError::SectionOrder, 0);
    if (const auto e = closeSection(); e != RomSettingError::None) return fail(e, sectionLine);
    if (out.setting.regions.empty()) return fail(RomSettingError::NoRegions, 0);
    return out;
}

const char* RomSettingErrorText(RomSettingError error) {
    switch (error) {
        case RomSettingError::None: return "none";
        case RomSettingError::TooLarge: return "too large";
        case RomSettingError::Syntax: return "syntax";
        case RomSettingError::UnknownSection: return "unknown section";
        case RomSettingError::SectionOrder: return "section order";
        case RomSettingError::UnknownKey: return "unknown key";
        case RomSettingError::DuplicateKey: return "duplicate key";
        case RomSettingError::MissingKey: return "missing key";
        case RomSettingError::BadName: return "bad name";
        case RomSettingError::DuplicateName: return "duplicate name";
        case RomSettingError::BadFile: return "bad file";
        case RomSettingError::FileEscapes: return "file escapes";
        case RomSettingError::BadAddress: return "bad address";
        case RomSettingError::TooManyRegions: return "too many regions";
        case RomSettingError::NoRegions: return "no regions";
    }
    return "?";
}

}  // namespace brom
