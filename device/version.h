// Dotted version strings packed into 64-bit numbers, 16 bits per part, for comparison.
#pragma once

#include <cstdint>
#include <string_view>

namespace TVSP {

// "1.2.3.4" -> 0x0001000200030004. Empty pieces are skipped, each piece is a signed decimal
// integer, and every piece shifts the result left by 16: more than four parts push the first out,
// fewer leave the number smaller ("1.2" -> 0x10002).
// A piece is read like atoi, but with defined behaviour for every input: leading white space and
// one "+" or "-" are accepted, ASCII digits are read up to the first other character (so "3a" is 3
// and "beta" is 0), and values beyond the 32-bit int range saturate. Only the low 16 bits of the
// piece are ORed in, so an oversized piece never disturbs its neighbours ("65537" counts as 1) and
// a negative piece counts as its two's-complement low bits ("-1" is 0xFFFF).
std::uint64_t ParseVersion(std::wstring_view version);
std::uint64_t ParseVersion(std::string_view version);

// The same parts, read the same way, but placed from the top: the first part always lands in the
// highest 16 bits, missing parts count as 0 and parts after the fourth are ignored ("9.3" ->
// 0x0009000300000000). Versions with different part counts then compare as people read them
// ("9.3" above "9.2.0"), which ParseVersion does not promise.
std::uint64_t ParseVersionAligned(std::wstring_view version);
std::uint64_t ParseVersionAligned(std::string_view version);

}  // namespace TVSP
