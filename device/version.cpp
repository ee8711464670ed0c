// Dotted version strings packed into 64-bit numbers, 16 bits per part.
#include "device/version.h"

#include <cstdint>

namespace TVSP {
namespace {

template <typename Char>
bool IsAsciiSpace(Char c) {
    return c == Char(' ') || c == Char('\t') || c == Char('\n') || c == Char('\v') ||
           c == Char('\f') || c == Char('\r');
}

// atoi-like, but defined for every input: leading white space and one sign are taken, then ASCII
// digits up to the first other character; no digits gives 0; values beyond the int range saturate.
template <typename Char>
std::int32_t ParsePiece(std::basic_string_view<Char> piece) {
    std::size_t i = 0;
    while (i < piece.size() && IsAsciiSpace(piece[i])) ++i;
    bool negative = false;
    if (i < piece.size() && (piece[i] == Char('+') || piece[i] == Char('-'))) {
        negative = piece[i] == Char('-');
        ++i;
    }
    std::int64_t magnitude = 0;
    const std::int64_t limit = negative ? -static_cast<std::int64_t>(INT32_MIN) : INT32_MAX;
    for (; i < piece.size() && piece[i] >= Char('0') && piece[i] <= Char('9'); ++i) {
        magnitude = magnitude * 10 + static_cast<std::int64_t>(piece[i] - Char('0'));
        if (magnitude > limit) return negative ? INT32_MIN : INT32_MAX;
    }
    return static_cast<std::int32_t>(negative ? -magnitude : magnitude);
}

// Calls part(value) for every non-empty piece in order; value is the piece's low 16 bits (so a
// part can never spill into its neighbour; a negative part keeps its two's-complement low bits).
template <typename Char, typename PartFn>
void ForEachPart(std::basic_string_view<Char> version, PartFn part) {
    std::size_t start = 0;
    while (start <= version.size()) {
        std::size_t dot = version.find(Char('.'), start);
        if (dot == std::basic_string_view<Char>::npos) dot = version.size();
        if (dot > start) {
            const auto piece = static_cast<std::uint32_t>(ParsePiece(version.substr(start, dot - start)));
            part(static_cast<std::uint64_t>(piece & 0xFFFFu));
        }
        start = dot + 1;
    }
}

template <typename Char>
std::uint64_t Parse(std::basic_string_view<Char> version) {
    std::uint64_t result = 0;
    ForEachPart(version, [&](std::uint64_t part) { result = (result << 16) | part; });
    return result;
}

template <typename Char>
std::uint64_t ParseAligned(std::basic_string_view<Char> version) {
    std::uint64_t result = 0;
    int parts = 0;
    ForEachPart(version, [&](std::uint64_t part) {
        if (parts < 4) result |= part << (16 * (3 - parts));
        ++parts;
    });
    return result;
}

}  // namespace

std::uint64_t ParseVersion(std::wstring_view version) { return Parse(version); }
std::uint64_t ParseVersion(std::string_view version) { return Parse(version); }

std::uint64_t ParseVersionAligned(std::wstring_view version) { return ParseAligned(version); }
std::uint64_t ParseVersionAligned(std::string_view version) { return ParseAligned(version); }

}  // namespace TVSP
