// The automation pipe's line protocol: request lines, their parsing, and the JSON replies.
#include "companions/skin-engine/core/automation_protocol.h"

#include <cstdio>

namespace uifeature::automation {

namespace {

bool IsBlank(char c) { return c == ' ' || c == '\t'; }

std::string_view Trim(std::string_view s) {
    while (!s.empty() && IsBlank(s.front())) s.remove_prefix(1);
    while (!s.empty() && IsBlank(s.back())) s.remove_suffix(1);
    return s;
}

// A reason quotes at most this much of what the client sent.
std::string Quote(std::string_view s) {
    constexpr size_t kMaxQuoted = 80;
    return "'" + std::string(s.substr(0, kMaxQuoted)) + (s.size() > kMaxQuoted ? "...'" : "'");
}

// Length of the valid UTF-8 sequence at the start of s, or 0 when its first byte does not begin one.
size_t Utf8SequenceLength(std::string_view s) {
    const auto b = [&](size_t i) { return static_cast<unsigned char>(s[i]); };
    const unsigned char c = b(0);
    if (c < 0x80) return 1;
    size_t n;
    unsigned char lo = 0x80, hi = 0xBF;  // allowed range of the second byte
    if (c >= 0xC2 && c <= 0xDF) {
        n = 2;
    } else if (c >= 0xE0 && c <= 0xEF) {
        n = 3;
        if (c == 0xE0) lo = 0xA0;  // no overlong forms
        if (c == 0xED) hi = 0x9F;  // no UTF-16 surrogates
    } else if (c >= 0xF0 && c <= 0xF4) {
        n = 4;
        if (c == 0xF0) lo = 0x90;
        if (c == 0xF4) hi = 0x8F;  // nothing past U+10FFFF
    } else {
        return 0;
    }
    if (s.size() < n || b(1) < lo || b(1) > hi) return 0;
    for (size_t i = 2; i < n; ++i) {
        if ((b(i) & 0xC0) != 0x80) return 0;
    }
    return n;
}

void AppendBool(std::string* out, const char* key, bool value) {
    *out += ",\"";
    *out += key;
    *out += value ? "\":true" : "\":false";
}

void AppendRect(std::string* out, const int (&r)[4]) {
    *out += ",\"rect\":[" + std::to_string(r[0]) + "," + std::to_string(r[1]) + "," + std::to_string(r[2]) + "," +
            std::to_string(r[3]) + "]";
}

std::string Hex(std::uint64_t value) {
    char text[24];
    std::snprintf(text, sizeof text, "0x%llx", static_cast<unsigned long long>(value));
    return text;
}

void AppendControl(std::string* out, const ControlInfo& c) {
    *out += "{\"name\":";
    AppendJsonString(out, c.name);
    *out += ",\"class\":";
    AppendJsonString(out, c.kind);
    AppendBool(out, "visible", c.visible);
    AppendBool(out, "enabled", c.enabled);
    AppendBool(out, "checked", c.checked);
    *out += ",\"text\":";
    AppendJsonString(out, c.text);
    *out += ",\"value\":" + std::to_string(c.value);
    AppendRect(out, c.rect);
    *out += ",\"children\":[";
    for (size_t i = 0; i < c.children.size(); ++i) {
        if (i) *out += ",";
        AppendControl(out, c.children[i]);
    }
    *out += "]}";
}

std::string WindowsReply(unsigned long pid, const std::vector<WindowInfo>& windows, bool full) {
    std::string out = "{\"ok\":true,\"pid\":" + std::to_string(pid) + ",\"windows\":[";
    for (size_t i = 0; i < windows.size(); ++i) {
        const WindowInfo& w = windows[i];
        if (i) out += ",";
        out += "{\"name\":";
        AppendJsonString(&out, w.name);
        out += ",\"hwnd\":";
        AppendJsonString(&out, Hex(w.hwnd));
        if (full) {
            AppendBool(&out, "visible", w.visible);
            AppendRect(&out, w.rect);
            out += ",\"controls\":[";
            for (size_t k = 0; k < w.controls.size(); ++k) {
                if (k) out += ",";
                AppendControl(&out, w.controls[k]);
            }
            out += "]";
        }
        out += "}";
    }
    out += "]}";
    return out;
}

}  // namespace

bool ParseRequest(std::string_view line, Request* request, std::string* error) {
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    line = Trim(line);
    if (line.empty()) return *error = "empty request", false;
    size_t cut = 0;
    while (cut < line.size() && !IsBlank(line[cut])) ++cut;
    const std::string_view verb = line.substr(0, cut);
    const std::string_view argument = Trim(line.substr(cut));

    if (verb == "hello" || verb == "snapshot") {
        if (!argument.empty()) return *error = std::string(verb) + " takes no argument", false;
        *request = Request{verb == "hello" ? Verb::Hello : Verb::Snapshot, {}, {}};
        return true;
    }
    Verb v;
    if (verb == "click") {
        v = Verb::Click;
    } else if (verb == "choose") {
        v = Verb::Choose;
    } else if (verb == "toggle") {
        v = Verb::Toggle;
    } else {
        return *error = "unknown request " + Quote(verb), false;
    }
    const size_t slash = argument.find('/');
    bool good = slash != std::string_view::npos && slash > 0 && slash + 1 < argument.size() &&
                argument.find('/', slash + 1) == std::string_view::npos;
    for (char c : argument) good = good && !IsBlank(c);
    if (!good) return *error = std::string(verb) + " needs WINDOW/CONTROL, got " + Quote(argument), false;
    *request = Request{v, std::string(argument.substr(0, slash)), std::string(argument.substr(slash + 1))};
    return true;
}

LineReader::Result LineReader::Next(std::string* line) {
    const size_t lf = buffer_.find('\n', scanned_);
    if (lf == std::string::npos) {
        scanned_ = buffer_.size();
        return buffer_.size() > kMaxRequestLine ? Result::TooLong : Result::NeedMore;
    }
    if (lf > kMaxRequestLine) return Result::TooLong;
    line->assign(buffer_, 0, lf);
    if (!line->empty() && line->back() == '\r') line->pop_back();
    buffer_.erase(0, lf + 1);
    scanned_ = 0;
    return Result::Line;
}

void AppendJsonString(std::string* out, std::string_view text) {
    static const char kHex[] = "0123456789abcdef";
    out->push_back('"');
    while (!text.empty()) {
        const unsigned char c = static_cast<unsigned char>(text.front());
        if (c >= 0x80) {
            const size_t n = Utf8SequenceLength(text);
            if (n == 0) {
                *out += "\xEF\xBF\xBD";  // U+FFFD for the byte that starts no valid sequence
                text.remove_prefix(1);
            } else {
                out->append(text.substr(0, n));
                text.remove_prefix(n);
            }
            continue;
        }
        text.remove_prefix(1);
        switch (c) {
            case '"': *out += "\\\""; break;
            case '\\': *out += "\\\\"; break;
            case '\b': *out += "\\b"; break;
            case '\f': *out += "\\f"; break;
            case '\n': *out += "\\n"; break;
            case '\r': *out += "\\r"; break;
            case '\t': *out += "\\t"; break;
            default:
                if (c < 0x20) {
                    *out += "\\u00";
                    out->push_back(kHex[c >> 4]);
                    out->push_back(kHex[c & 15]);
                } else {
                    out->push_back(static_cast<char>(c));
                }
        }
    }
    out->push_back('"');
}

std::string HelloReply(unsigned long pid, const std::vector<WindowInfo>& windows) {
    return WindowsReply(pid, windows, false);
}

std::string SnapshotReply(unsigned long pid, const std::vector<WindowInfo>& windows) {
    return WindowsReply(pid, windows, true);
}

std::string OkReply() { return "{\"ok\":true}"; }

std::string ErrorReply(std::string_view reason) {
    std::string out = "{\"ok\":false,\"error\":";
    AppendJsonString(&out, reason);
    out += "}";
    return out;
}

}  // namespace uifeature::automation
