// Word-level escaping of the update server's control lines, shared by the daemon and its client.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace tvsp::updsrv {

// Escapes bytes as one word of a control line: the virtual watch's escaping, and spaces as \x20
// because words are separated by single spaces.
std::string EscapeWord(std::string_view bytes);

// Splits a line at every single space; empty words (two spaces in a row, a trailing space) are kept,
// so an empty byte string can be given as an empty word.
std::vector<std::string_view> SplitWords(std::string_view line);

// The reply to "requests": "OK N" then N escaped lines. Parses the first line's count; nullopt when
// it is not that form.
std::optional<std::size_t> ParseRequestCount(std::string_view firstLine);

}  // namespace tvsp::updsrv
