// Reading an HTTP request head: where it ends, which path it asks for, how long its body is.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace tvsp::updsrv {

// Bounds on what one request may send before the server gives up on it.
inline constexpr std::size_t kMaxRequestHead = 64u << 10;
inline constexpr std::uint64_t kMaxRequestBody = 1u << 20;

// Offset just past the "\r\n\r\n" ending the head, or npos while it has not arrived.
std::size_t HeadEnd(std::string_view bytes);

// The request target's path: the query and fragment cut off; an absolute-form target
// ("http://host/p?q") gives its path ("/p"). Empty when the request line is malformed.
std::string RequestPath(std::string_view head);

// The value of Content-Length (name in any case): 0 when absent, nullopt when malformed or repeated
// with another value.
std::optional<std::uint64_t> RequestBodyLength(std::string_view head);

}  // namespace tvsp::updsrv
