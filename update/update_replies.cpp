// The update server's answers: the ROM check entry, the client check URL.
#include "update/update_replies.h"

#include <cmath>
#include <nlohmann/json.hpp>

#include "device/md5.h"

namespace TVSP {
namespace {

std::string LowerAscii(std::string text) {
    for (char& c : text) {
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    }
    return text;
}

std::string StringOrEmpty(const nlohmann::json& object, const char* key) {
    const auto it = object.find(key);
    return it != object.end() && it->is_string() ? it->get<std::string>() : std::string();
}

// An unsigned 32-bit number; anything else (negative, fractional beyond it, text) reads as 0.
std::uint32_t TimestampOrZero(const nlohmann::json& object) {
    const auto it = object.find("timestamp");
    if (it == object.end()) return 0;
    if (it->is_number_unsigned()) {
        const auto value = it->get<std::uint64_t>();
        return value <= UINT32_MAX ? static_cast<std::uint32_t>(value) : 0;
    }
    if (it->is_number_integer()) {
        const auto value = it->get<std::int64_t>();
        return value >= 0 && value <= static_cast<std::int64_t>(UINT32_MAX) ? static_cast<std::uint32_t>(value) : 0;
    }
    if (it->is_number_float()) {
        const double value = it->get<double>();
        return value >= 0 && value <= static_cast<double>(UINT32_MAX) ? static_cast<std::uint32_t>(value) : 0;
    }
    return 0;
}

std::string NoteOrEmpty(const nlohmann::json& object, std::size_t index) {
    const auto it = object.find("logs");
    if (it == object.end() || !it->is_array() || it->size() <= index) return {};
    const auto& note = (*it)[index];
    return note.is_string() ? note.get<std::string>() : std::string();
}

}  // namespace

std::optional<RomCheckEntry> FindRomCheckEntry(std::string_view body, std::string_view modelKey) {
    // Objects keep their members ordered by name, byte by byte, and a later duplicate replaces
    // an earlier one; an unparsable body is simply an empty document.
    const nlohmann::json document = nlohmann::json::parse(body.begin(), body.end(), nullptr, false);
    if (document.is_discarded() || !document.is_object()) return std::nullopt;
    for (const auto& [name, value] : document.items()) {
        if (LowerAscii(name) != modelKey) continue;
        if (!value.is_object()) continue;
        RomCheckEntry entry;
        entry.version = StringOrEmpty(value, "version");
        entry.url = StringOrEmpty(value, "url");
        entry.timestamp = TimestampOrZero(value);
        entry.note1 = NoteOrEmpty(value, 0);
        entry.note2 = NoteOrEmpty(value, 1);
        return entry;
    }
    return std::nullopt;
}

std::string BuildClientCheckUrl(std::string_view endpoint, std::string_view machineId, std::string_view ownVersion) {
    std::string url(endpoint);
    if (machineId.empty()) return url;
    url += "?pid=";
    url += Md5Hex(machineId);
    url += "&ver=";
    url += ownVersion;
    return url;
}

std::optional<std::string> BuildImeiQueryUrl(std::string_view secureBase, std::string_view imei) {
    if (imei.size() < 14 || imei.size() > 17) return std::nullopt;
    for (char c : imei) {
        if (c < '0' || c > '9') return std::nullopt;
    }
    std::string url(secureBase);
    url += "/upgrade/query?imei=";
    url += imei;
    return url;
}

}  // namespace TVSP
