// One item of the control channel's region list, written by the daemon and read by the client.
#include "testing/vwatch/region_list.h"

#include <charconv>
#include <cinttypes>
#include <cstdio>

#include "testing/vwatch/escape.h"

namespace tvsp::vwatch {

namespace {

std::string_view NextField(std::string_view& rest) {
    const std::size_t space = rest.find(' ');
    const std::string_view field = rest.substr(0, space);
    rest = space == std::string_view::npos ? std::string_view{} : rest.substr(space + 1);
    return field;
}

template <typename T>
bool ParseNumber(std::string_view text, int base, T* out) {
    if (text.empty()) return false;
    const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), *out, base);
    return ec == std::errc{} && end == text.data() + text.size();
}

bool ParseHex(std::string_view text, std::size_t minDigits, std::size_t maxDigits, std::uint64_t* out) {
    if (text.size() < 2 || text.substr(0, 2) != "0x") return false;
    text.remove_prefix(2);
    return text.size() >= minDigits && text.size() <= maxDigits && ParseNumber(text, 16, out);
}

}  // namespace

std::string FormatRegionItem(const RegionSummary& region) {
    std::string name;
    for (char c : Escape(region.name)) {
        if (c == ' ') {
            name += "\\x20";
        } else {
            name += c;
        }
    }
    char numbers[80];
    std::snprintf(numbers, sizeof numbers, " 0x%08" PRIx64 " %" PRIu64 " 0x%08" PRIx32, region.address, region.length,
                  region.sum32);
    return name + numbers;
}

std::optional<RegionSummary> ParseRegionItem(std::string_view item) {
    RegionSummary r;
    const auto name = Unescape(NextField(item));
    if (!name || name->empty()) return std::nullopt;
    r.name = *name;
    std::uint64_t sum = 0;
    if (!ParseHex(NextField(item), 8, 16, &r.address)) return std::nullopt;
    if (!ParseNumber(NextField(item), 10, &r.length)) return std::nullopt;
    if (!ParseHex(NextField(item), 8, 8, &sum) || !item.empty()) return std::nullopt;
    r.sum32 = static_cast<std::uint32_t>(sum);
    return r;
}

}  // namespace tvsp::vwatch
