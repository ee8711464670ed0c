// Byte-exact text escaping for the virtual watch's line-based control channel.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace tvsp::vwatch {

// Makes any bytes safe for one control line: printable ASCII stays, except '\' and the list
// delimiter '|'; CR, LF, tab and NUL become \r \n \t \0; every other byte becomes \xHH.
std::string Escape(std::string_view bytes);

// The inverse of Escape, also accepting \xHH in either case. nullopt on a dangling or unknown
// escape, so a typo in a scripted reply is refused rather than sent half-decoded.
std::optional<std::string> Unescape(std::string_view text);

// The separator between the items of a list reply; Escape never lets it through unescaped.
inline constexpr char kListDelimiter = '|';

// Splits a list reply's data at the delimiter (no unescaping); an empty text is an empty list.
std::vector<std::string> SplitList(std::string_view data);

}  // namespace tvsp::vwatch
