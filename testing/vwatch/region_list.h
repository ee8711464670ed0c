// One item of the control channel's region list, written by the daemon and read by the client.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace tvsp::vwatch {

struct RegionSummary {
    std::string name;
    std::uint64_t address = 0;
    std::uint64_t length = 0;  // bytes held
    std::uint32_t sum32 = 0;   // of the bytes held
};

// "<name> 0x<address> <length> 0x<sum32>": the name escaped with spaces as \x20, so the item
// splits at spaces; address at least 8 hex digits, sum exactly 8.
std::string FormatRegionItem(const RegionSummary& region);
// nullopt for anything FormatRegionItem would not have written.
std::optional<RegionSummary> ParseRegionItem(std::string_view item);

}  // namespace tvsp::vwatch
