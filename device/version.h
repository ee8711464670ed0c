// Dotted version strings packed into 64-bit numbers, 16 bits per part, for comparison.
#pragma once

#include <cstdint>
#include <string_view>

namespace TVSP {

// "1.2.3.4" -> 0x0001000200030004. Empty pieces are skipped, each piece is a signed decimal
// integer, and every piece shifts the result left by 16: more than four parts push the first out,
// fewer leave the number smaller ("1.2" -> 0x10002).
std::uint64_t ParseVersion(std::wstring_view version);
std::uint64_t ParseVersion(std::string_view version);

}  // namespace TVSP
