// Reading an HTTP request head: where it ends, which path it asks for, how long its body is.
#include "testing/update-server/request_head.h"

#include <cctype>
#include <charconv>

namespace tvsp::updsrv {

namespace {

bool EqualNoCase(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) return false;
    for (std::size_t i = 0; i < a.size(); ++i) {
        if (std::tolower(static_cast<unsigned char>(a[i])) != std::tolower(static_cast<unsigned char>(b[i]))) {
            return false;
        }
    }
    return true;
}

std::string_view Trim(std::string_view s) {
    while (!s.empty() && (s.front() == ' ' || s.front() == '\t')) s.remove_prefix(1);
    while (!s.empty() && (s.back() == ' ' || s.back() == '\t' || s.back() == '\r')) s.remove_suffix(1);
    return s;
}

}  // namespace

std::size_t HeadEnd(std::string_view bytes) {
    const std::size_t at = bytes.find("\r\n\r\n");
    return at == std::string_view::npos ? std::string_view::npos : at + 4;
}

std::string RequestPath(std::string_view head) {
    std::string_view line = head.substr(0, head.find('\n'));
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    const std::size_t first = line.find(' ');
    if (first == std::string_view::npos || first == 0) return {};
    const std::size_t second = line.find(' ', first + 1);
    if (second == std::string_view::npos || second == first + 1) return {};
    std::string_view target = line.substr(first + 1, second - first - 1);
    for (std::string_view scheme : {"http://", "https://"}) {
        if (target.size() >= scheme.size() && EqualNoCase(target.substr(0, scheme.size()), scheme)) {
            target.remove_prefix(scheme.size());
            const std::size_t slash = target.find('/');
            target = slash == std::string_view::npos ? std::string_view("/") : target.substr(slash);
            break;
        }
    }
    target = target.substr(0, target.find_first_of("?#"));
    return std::string(target);
}

std::optional<std::uint64_t> RequestBodyLength(std::string_view head) {
    std::optional<std::uint64_t> found;
    std::size_t start = head.find('\n');
    while (start != std::string_view::npos && start + 1 < head.size()) {
        const std::size_t end = head.find('\n', start + 1);
        const std::string_view line =
            head.substr(start + 1, end == std::string_view::npos ? std::string_view::npos : end - start - 1);
        start = end;
        const std::size_t colon = line.find(':');
        if (colon == std::string_view::npos || !EqualNoCase(Trim(line.substr(0, colon)), "Content-Length")) continue;
        const std::string_view value = Trim(line.substr(colon + 1));
        std::uint64_t n = 0;
        const auto [at, ec] = std::from_chars(value.data(), value.data() + value.size(), n);
        if (value.empty() || ec != std::errc{} || at != value.data() + value.size()) return std::nullopt;
        if (found && *found != n) return std::nullopt;
        found = n;
    }
    return found.value_or(0);
}

}  // namespace tvsp::updsrv
