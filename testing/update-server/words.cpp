// Word-level escaping of the update server's control lines, shared by the daemon and its client.
#include "testing/update-server/words.h"

#include <charconv>

#include "testing/vwatch/escape.h"

namespace tvsp::updsrv {

std::string EscapeWord(std::string_view bytes) {
    std::string out;
    for (char c : vwatch::Escape(bytes)) {
        if (c == ' ') {
            out += "\\x20";
        } else {
            out += c;
        }
    }
    return out;
}

std::vector<std::string_view> SplitWords(std::string_view line) {
    std::vector<std::string_view> words;
    std::size_t start = 0;
    for (;;) {
        const std::size_t space = line.find(' ', start);
        if (space == std::string_view::npos) {
            words.push_back(line.substr(start));
            return words;
        }
        words.push_back(line.substr(start, space - start));
        start = space + 1;
    }
}

std::optional<std::size_t> ParseRequestCount(std::string_view firstLine) {
    if (firstLine.substr(0, 3) != "OK ") return std::nullopt;
    const std::string_view digits = firstLine.substr(3);
    std::size_t count = 0;
    const auto [end, ec] = std::from_chars(digits.data(), digits.data() + digits.size(), count);
    if (digits.empty() || ec != std::errc{} || end != digits.data() + digits.size()) return std::nullopt;
    return count;
}

}  // namespace tvsp::updsrv
