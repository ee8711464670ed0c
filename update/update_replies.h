// The update server's answers as the tool reads them: the ROM check's JSON entry for a model,
// the client check's request URL.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace TVSP {

// The newest firmware of one model as the ROM check names it.
struct RomCheckEntry {
    std::string version;     // dotted numbers; empty when the entry has none
    std::string url;         // the package's absolute http URL
    std::uint32_t timestamp = 0;  // release time, seconds since 1970 UTC; 0 = none
    std::string note1;       // "logs" elements 0 and 1, UTF-8
    std::string note2;
};

// The entry of modelKey in a ROM check reply: members visited in byte order of their names
// (the last of duplicate names counting), each name lower-cased before it is compared, the first
// equal one winning. Not JSON, a top level that is no object, or no equal member: nullopt. A
// member whose value is no object is passed over; a field of the wrong type reads as absent.
[[nodiscard]] std::optional<RomCheckEntry> FindRomCheckEntry(std::string_view body, std::string_view modelKey);

// "<endpoint>?pid=<MD5 of the machine identifier, lower-case hex>&ver=<version>", or the bare
// endpoint when the machine identifier is empty.
[[nodiscard]] std::string BuildClientCheckUrl(std::string_view endpoint, std::string_view machineId,
                                              std::string_view ownVersion);

// "<secure base>/upgrade/query?imei=<IMEI>"; nullopt unless the IMEI is 14 to 17 ASCII digits, so
// whatever else a watch answers never reaches the query text.
[[nodiscard]] std::optional<std::string> BuildImeiQueryUrl(std::string_view secureBase, std::string_view imei);

}  // namespace TVSP
