// HTTP/1.1 messages of the update client: URL split, the GET request's exact bytes, an incremental
// response parser with every size bounded, redirect targets and the status classification.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace TVSP {

struct HttpUrl {
    std::string host;          // as written in the URL, without brackets for an IPv6 literal
    unsigned port = 80;        // 80 when the URL names none
    std::string pathAndQuery;  // "/" when the URL has no path
};

// An absolute "http://host[:port][/path][?query]" URL; nullopt for another scheme, no host, a port
// outside 1..65535, or control characters and spaces (they would end up in the request line).
[[nodiscard]] std::optional<HttpUrl> SplitHttpUrl(std::string_view url);

// "GET <path and query> HTTP/1.1", Host with the bare host (never the port), the fixed User-Agent.
[[nodiscard]] std::string BuildGetRequest(const HttpUrl& url);

// The URL a "Location" value names, absolute or relative to base (a path from the root, or one
// relative to the base path's folder); nullopt when it is neither an http URL nor a path.
[[nodiscard]] std::optional<HttpUrl> ResolveLocation(const HttpUrl& base, std::string_view location);

enum class HttpStatusClass { Success, Redirect, Failure };
// 200..206, 304 and 305 succeed; 301, 302 and 303 are followed; everything else fails.
[[nodiscard]] HttpStatusClass ClassifyHttpStatus(int status);

// What one server may make the client hold: every size read from the network is bounded.
struct HttpLimits {
    std::size_t maxBodyBytes = std::size_t{256} << 20;  // well above any package
    std::size_t maxHeaderLineBytes = 16 << 10;
    std::size_t maxHeaderBytes = 64 << 10;             // status line, headers and trailers together
    std::size_t maxChunkSizeLineBytes = 1 << 10;
    unsigned maxRedirects = 10;
};

enum class HttpParseError {
    None,
    MalformedStatusLine,
    MalformedHeader,
    LineTooLong,
    HeadersTooLarge,
    BodyTooLarge,
    MalformedChunk,
    Truncated,  // the server closed before the announced end of the body
};

// Feeds on the bytes of one response as they arrive; the caller reads until Complete or Failed.
class HttpResponseParser {
public:
    enum class Progress { NeedMore, Complete, Failed };

    explicit HttpResponseParser(HttpLimits limits = {});

    // Takes the next bytes. Bytes after the end of the message are ignored.
    Progress Feed(const char* data, std::size_t length);
    // The server closed the connection: completes a body that runs until close.
    Progress Finish();

    // The status of the status line, or -1 before one arrived.
    int Status() const { return status_; }
    HttpParseError Error() const { return error_; }
    bool IsComplete() const { return state_ == State::Done; }
    // A header's value (the first of that name, names without case, value trimmed); nullopt when
    // absent or before the headers arrived.
    std::optional<std::string> Header(std::string_view name) const;
    const std::string& Body() const { return body_; }
    bool IsChunked() const { return chunked_; }

private:
    enum class State { StatusLine, Headers, Body, ChunkSize, ChunkData, ChunkDataEnd, Trailers, Done, Failed };

    Progress Fail(HttpParseError error);
    // Collects one line ending in LF into line_; true when it is complete (CR LF or LF removed).
    bool TakeLine(const char*& data, const char* end, std::size_t limit, bool countAsHeader);
    bool HandleStatusLine();
    bool HandleHeaderLine();
    void StartBody();
    bool AppendBody(const char* data, std::size_t length);

    HttpLimits limits_;
    State state_ = State::StatusLine;
    HttpParseError error_ = HttpParseError::None;
    int status_ = -1;
    std::vector<std::pair<std::string, std::string>> headers_;
    std::string line_;
    std::size_t headerBytes_ = 0;
    bool chunked_ = false;
    bool lengthKnown_ = false;
    std::uint64_t remaining_ = 0;  // of the announced length, or of the current chunk
    std::string body_;
};

// Content-Length as the progress report reads it: the C library's wide text-to-integer rule
// (leading blanks, a sign, digits until the first other character), 0 when there is no number,
// clamped to the 32-bit range.
[[nodiscard]] int ProgressTotalFromContentLength(std::string_view value);

}  // namespace TVSP
