// A small XML reader for skin files and the engine configuration: elements, attributes, comments.
#include "companions/skin-engine/core/xml_lite.h"

#include <cstdint>

namespace uifeature {

const std::string* XmlElement::Find(std::string_view key) const {
    for (const auto& [attr, value] : attributes) {
        if (attr == key) return &value;
    }
    return nullptr;
}

namespace {

bool IsNameStart(char c) {
    return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || c == '_' || c == ':';
}
bool IsNameChar(char c) { return IsNameStart(c) || (c >= '0' && c <= '9') || c == '-' || c == '.'; }
bool IsSpace(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; }

// Appends code point cp as UTF-8; false for values XML does not allow.
bool AppendUtf8(std::string& out, uint32_t cp) {
    if (cp == 0 || (cp >= 0xD800 && cp <= 0xDFFF) || cp > 0x10FFFF) return false;
    if (cp < 0x80) {
        out += static_cast<char>(cp);
    } else if (cp < 0x800) {
        out += static_cast<char>(0xC0 | (cp >> 6));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    } else if (cp < 0x10000) {
        out += static_cast<char>(0xE0 | (cp >> 12));
        out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    } else {
        out += static_cast<char>(0xF0 | (cp >> 18));
        out += static_cast<char>(0x80 | ((cp >> 12) & 0x3F));
        out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    }
    return true;
}

// Strict UTF-8 check (no overlong forms, no surrogates): skins are converted to UTF-16 later and
// a broken byte there would silently become a replacement character.
bool IsValidUtf8(std::string_view s, size_t* badOffset) {
    size_t i = 0;
    while (i < s.size()) {
        const auto c = static_cast<unsigned char>(s[i]);
        size_t len = 0;
        uint32_t cp = 0;
        if (c < 0x80) {
            ++i;
            continue;
        } else if ((c & 0xE0) == 0xC0) {
            len = 2, cp = c & 0x1F;
        } else if ((c & 0xF0) == 0xE0) {
            len = 3, cp = c & 0x0F;
        } else if ((c & 0xF8) == 0xF0) {
            len = 4, cp = c & 0x07;
        } else {
            *badOffset = i;
            return false;
        }
        if (i + len > s.size()) {
            *badOffset = i;
            return false;
        }
        for (size_t k = 1; k < len; ++k) {
            const auto d = static_cast<unsigned char>(s[i + k]);
            if ((d & 0xC0) != 0x80) {
                *badOffset = i;
                return false;
            }
            cp = (cp << 6) | (d & 0x3F);
        }
        const bool overlong = (len == 2 && cp < 0x80) || (len == 3 && cp < 0x800) || (len == 4 && cp < 0x10000);
        if (overlong || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) {
            *badOffset = i;
            return false;
        }
        i += len;
    }
    return true;
}

class Reader {
public:
    explicit Reader(std::string_view text) : s_(text) {}

    XmlParseResult Run() {
        XmlParseResult result;
        if (s_.size() > kXmlMaxInput) return Fail(result, "document larger than 4 MiB");
        if (s_.substr(0, 3) == "\xEF\xBB\xBF") pos_ = 3;
        size_t bad = 0;
        if (!IsValidUtf8(s_, &bad)) {
            pos_ = bad;
            return Fail(result, "not valid UTF-8");
        }
        if (!SkipMisc(true)) return Fail(result, error_);
        if (pos_ >= s_.size() || s_[pos_] != '<') return Fail(result, "no root element");
        if (!ParseElement(result.root, 1)) return Fail(result, error_);
        if (!SkipMisc(false)) return Fail(result, error_);
        if (pos_ != s_.size()) return Fail(result, "content after the root element");
        result.ok = true;
        return result;
    }

private:
    XmlParseResult& Fail(XmlParseResult& r, const std::string& what) {
        r.ok = false;
        r.root = XmlElement{};
        r.error = "line " + std::to_string(LineAt(pos_)) + ": " + what;
        return r;
    }

    int LineAt(size_t at) const {
        int line = 1;
        for (size_t i = 0; i < at && i < s_.size(); ++i) line += s_[i] == '\n';
        return line;
    }

    bool Error(const char* what) {
        error_ = what;
        return false;
    }

    bool StartsWith(std::string_view p) const { return s_.substr(pos_, p.size()) == p; }

    void SkipSpace() {
        while (pos_ < s_.size() && IsSpace(s_[pos_])) ++pos_;
    }

    bool SkipComment() {
        const size_t end = s_.find("-->", pos_ + 4);
        if (end == std::string_view::npos) return Error("unterminated comment");
        pos_ = end + 3;
        return true;
    }

    // Whitespace, comments and (before the root only) the declaration.
    bool SkipMisc(bool prolog) {
        for (;;) {
            SkipSpace();
            if (StartsWith("<!--")) {
                if (!SkipComment()) return false;
            } else if (StartsWith("<?")) {
                if (!prolog) return Error("processing instruction after the root element");
                const size_t end = s_.find("?>", pos_ + 2);
                if (end == std::string_view::npos) return Error("unterminated declaration");
                pos_ = end + 2;
            } else if (StartsWith("<!")) {
                return Error("document type declarations are not supported");
            } else {
                return true;
            }
        }
    }

    bool ParseName(std::string& out) {
        if (pos_ >= s_.size() || !IsNameStart(s_[pos_])) return Error("expected a name");
        const size_t start = pos_;
        while (pos_ < s_.size() && IsNameChar(s_[pos_])) ++pos_;
        out.assign(s_.substr(start, pos_ - start));
        return true;
    }

    bool DecodeEntity(std::string& out) {
        const size_t end = s_.find(';', pos_);
        if (end == std::string_view::npos || end - pos_ > 12) return Error("unterminated character reference");
        const std::string_view ref = s_.substr(pos_ + 1, end - pos_ - 1);
        pos_ = end + 1;
        if (ref == "lt") return out += '<', true;
        if (ref == "gt") return out += '>', true;
        if (ref == "amp") return out += '&', true;
        if (ref == "quot") return out += '"', true;
        if (ref == "apos") return out += '\'', true;
        if (ref.size() >= 2 && ref[0] == '#') {
            const bool hex = ref[1] == 'x';
            const std::string_view digits = ref.substr(hex ? 2 : 1);
            if (digits.empty() || digits.size() > 8) return Error("bad character reference");
            uint32_t cp = 0;
            for (char c : digits) {
                int v;
                if (c >= '0' && c <= '9') v = c - '0';
                else if (hex && c >= 'a' && c <= 'f') v = c - 'a' + 10;
                else if (hex && c >= 'A' && c <= 'F') v = c - 'A' + 10;
                else return Error("bad character reference");
                cp = cp * (hex ? 16 : 10) + static_cast<uint32_t>(v);
                if (cp > 0x10FFFF) return Error("bad character reference");
            }
            if (!AppendUtf8(out, cp)) return Error("bad character reference");
            return true;
        }
        return Error("unknown entity");
    }

    bool ParseAttributeValue(std::string& out) {
        if (pos_ >= s_.size() || (s_[pos_] != '"' && s_[pos_] != '\'')) return Error("expected a quoted value");
        const char quote = s_[pos_++];
        for (;;) {
            if (pos_ >= s_.size()) return Error("unterminated attribute value");
            const char c = s_[pos_];
            if (c == quote) {
                ++pos_;
                return true;
            }
            if (c == '<') return Error("'<' inside an attribute value");
            if (c == '&') {
                if (!DecodeEntity(out)) return false;
                continue;
            }
            // Line breaks and tabs in values are normalised to spaces, as XML does.
            out += (c == '\n' || c == '\r' || c == '\t') ? ' ' : c;
            ++pos_;
        }
    }

    bool ParseElement(XmlElement& el, int depth) {
        if (depth > kXmlMaxDepth) return Error("elements nested too deeply");
        el.line = LineAt(pos_);
        ++pos_;  // '<'
        if (!ParseName(el.name)) return false;
        for (;;) {
            const size_t before = pos_;
            SkipSpace();
            if (pos_ >= s_.size()) return Error("unterminated start tag");
            if (StartsWith("/>")) {
                pos_ += 2;
                return true;
            }
            if (s_[pos_] == '>') {
                ++pos_;
                break;
            }
            if (before == pos_) return Error("expected whitespace between attributes");
            std::string key;
            if (!ParseName(key)) return false;
            SkipSpace();
            if (pos_ >= s_.size() || s_[pos_] != '=') return Error("expected '=' after an attribute name");
            ++pos_;
            SkipSpace();
            std::string value;
            if (!ParseAttributeValue(value)) return false;
            if (el.Find(key)) return Error("duplicate attribute");
            el.attributes.emplace_back(std::move(key), std::move(value));
        }
        // Content: child elements, comments, and text (ignored, but must be well formed).
        for (;;) {
            if (pos_ >= s_.size()) return Error("missing end tag");
            if (StartsWith("</")) {
                pos_ += 2;
                std::string endName;
                if (!ParseName(endName)) return false;
                if (endName != el.name) return Error("end tag does not match the start tag");
                SkipSpace();
                if (pos_ >= s_.size() || s_[pos_] != '>') return Error("unterminated end tag");
                ++pos_;
                return true;
            }
            if (StartsWith("<!--")) {
                if (!SkipComment()) return false;
                continue;
            }
            if (StartsWith("<![CDATA[")) return Error("CDATA sections are not supported");
            if (StartsWith("<?") || StartsWith("<!")) return Error("unexpected markup in element content");
            if (s_[pos_] == '<') {
                el.children.emplace_back();
                if (!ParseElement(el.children.back(), depth + 1)) return false;
                continue;
            }
            if (s_[pos_] == '&') {
                std::string ignored;
                if (!DecodeEntity(ignored)) return false;
                continue;
            }
            ++pos_;
        }
    }

    std::string_view s_;
    size_t pos_ = 0;
    std::string error_;
};

}  // namespace

XmlParseResult ParseXml(std::string_view text) { return Reader(text).Run(); }

}  // namespace uifeature
